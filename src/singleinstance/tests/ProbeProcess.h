// Runs the test probe (a process that starts like the scheduler) and reads its report lines.
#pragma once

#include <QProcess>
#include <QString>

#include <memory>

class ProbeProcess {
public:
    // Mode bits as the probe takes them; negative: the program's own (NotifySecondary).
    explicit ProbeProcess(const QString& applicationName, int modes = -1);
    ~ProbeProcess();
    ProbeProcess(const ProbeProcess&) = delete;
    ProbeProcess& operator=(const ProbeProcess&) = delete;

    // Changes one variable of the environment the probe will start with.
    void SetEnvironment(const QString& name, const QString& value);
    bool Start();
    // The next line of standard output without its line end; empty when none came within the time.
    QString NextLine(int timeoutMs = 10000);
    // Closes the primary's standard input, which makes it quit; true when it exited within the time.
    bool Finish(int timeoutMs = 10000);
    bool WaitForExit(int timeoutMs = 10000);
    void Kill();
    int ExitCode() const;
    QProcess::ExitStatus ExitStatus() const;
    QString StandardError();
    // Output left after the lines already taken.
    QString RemainingOutput();

    // The key the probe derives for this application name, to find its shared block.
    static QString KeyFor(const QString& applicationName);
    static QString Path();

private:
    std::unique_ptr<QProcess> m_process;
    QString m_applicationName;
    int m_modes;
};
