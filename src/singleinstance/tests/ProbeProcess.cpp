// Starting and reading the test probe.
#include "ProbeProcess.h"

#include "singleinstance/InstanceKey.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcessEnvironment>

ProbeProcess::ProbeProcess(const QString& applicationName, int modes)
    : m_process(std::make_unique<QProcess>()), m_applicationName(applicationName), m_modes(modes) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process->setProcessEnvironment(environment);
}

// A test that failed half-way still lets a primary end normally, so that it takes its shared block
// with it instead of leaving it in the system.
ProbeProcess::~ProbeProcess() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(10000);
        }
    }
}

void ProbeProcess::SetEnvironment(const QString& name, const QString& value) {
    QProcessEnvironment environment = m_process->processEnvironment();
    environment.insert(name, value);
    m_process->setProcessEnvironment(environment);
}

bool ProbeProcess::Start() {
    QStringList arguments{m_applicationName};
    if (m_modes >= 0) {
        arguments << QString::number(m_modes);
    }
    m_process->start(Path(), arguments);
    return m_process->waitForStarted(10000);
}

QString ProbeProcess::NextLine(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process->canReadLine()) {
        if (deadline.hasExpired() ||
            !m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            // The process may have ended with its last line already buffered.
            if (m_process->canReadLine()) {
                break;
            }
            return {};
        }
    }
    return QString::fromUtf8(m_process->readLine()).trimmed();
}

bool ProbeProcess::Finish(int timeoutMs) {
    m_process->closeWriteChannel();
    return WaitForExit(timeoutMs);
}

bool ProbeProcess::WaitForExit(int timeoutMs) {
    return m_process->state() == QProcess::NotRunning || m_process->waitForFinished(timeoutMs);
}

void ProbeProcess::Kill() {
    m_process->kill();
    m_process->waitForFinished(10000);
}

int ProbeProcess::ExitCode() const {
    return m_process->exitCode();
}

QProcess::ExitStatus ProbeProcess::ExitStatus() const {
    return m_process->exitStatus();
}

QString ProbeProcess::StandardError() {
    return QString::fromUtf8(m_process->readAllStandardError());
}

QString ProbeProcess::RemainingOutput() {
    return QString::fromUtf8(m_process->readAllStandardOutput());
}

QString ProbeProcess::KeyFor(const QString& applicationName) {
    InstanceIdentity identity;
    identity.applicationName = applicationName;
    // Qt reports the executable through /proc/self/exe: the canonical path.
    identity.executablePath = QFileInfo(Path()).canonicalFilePath();
    return ComputeInstanceKey(identity, InstanceModes::NotifySecondary);
}

QString ProbeProcess::Path() {
    return QStringLiteral(ZELKOR_PROBE_PATH);
}
