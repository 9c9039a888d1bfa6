// A message bus of a test's own, standing in for the system bus while it lives.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <cstdlib>

class PrivateSystemBus {
public:
    // Starts the bus and names it as the system bus; Address() is empty when no dbus-daemon can start.
    PrivateSystemBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            return;
        }
        m_process.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000)) {
            return;
        }
        m_address = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLocal8Bit().constData(), 1);
    }

    ~PrivateSystemBus() {
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    const QString& Address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
};
