// Linux: the systemd user unit "zelkor-scheduler.service" and logind's lingering, changed through
// systemctl and loginctl as the user would change them, found on the search path.
#include "platform/BackgroundService.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <unistd.h>

namespace {

const QString kUnit = QStringLiteral("zelkor-scheduler.service");
// Asking is quick or hangs (a manager that is not there); starting the service waits for its start job.
constexpr int kQueryMilliseconds = 3000;
constexpr int kChangeMilliseconds = 10000;

struct Command {
    QString program;
    QStringList arguments;

    QString Text() const { return (QStringList{program} + arguments).join(u' '); }
};

struct Outcome {
    ServiceCommandResult result;
    QString output;
};

Outcome Run(const Command& command, int milliseconds) {
    Outcome outcome;
    outcome.result.command = command.Text();
    const QString path = QStandardPaths::findExecutable(command.program);
    if (path.isEmpty()) {
        outcome.result.error = QStringLiteral("Команда «%1» не найдена.").arg(command.program);
        return outcome;
    }
    QProcess process;
    process.setProgram(path);
    process.setArguments(command.arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(milliseconds)) {
        outcome.result.error =
            QStringLiteral("Не удалось запустить «%1»: %2").arg(path, process.errorString());
        return outcome;
    }
    if (!process.waitForFinished(milliseconds)) {
        process.kill();
        process.waitForFinished(milliseconds);
        outcome.result.error =
            QStringLiteral("Команда не ответила за %1 с и была прервана.").arg(milliseconds / 1000);
        return outcome;
    }
    outcome.output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    const QString errorOutput = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit) {
        outcome.result.error = QStringLiteral("Команда завершилась аварийно.");
    } else if (process.exitCode() != 0) {
        // systemctl and loginctl say why on standard error; a few answers only on standard output.
        const QString said = !errorOutput.isEmpty() ? errorOutput : outcome.output;
        outcome.result.error =
            said.isEmpty() ? QStringLiteral("Команда завершилась с кодом %1.").arg(process.exitCode()) : said;
    } else {
        outcome.result.succeeded = true;
    }
    return outcome;
}

Command ServiceCommand(bool enable) {
    return {QStringLiteral("systemctl"),
            {QStringLiteral("--user"), enable ? QStringLiteral("enable") : QStringLiteral("disable"),
             QStringLiteral("--now"), kUnit}};
}

// Without a user name loginctl changes the caller's own lingering, which needs no administrator.
Command LingerChange(bool enable) {
    return {QStringLiteral("loginctl"),
            {enable ? QStringLiteral("enable-linger") : QStringLiteral("disable-linger")}};
}

} // namespace

QString BackgroundServiceCommand(bool enable) {
    return ServiceCommand(enable).Text();
}

QString LingerCommand(bool enable) {
    return LingerChange(enable).Text();
}

bool BackgroundServiceEnabled() {
    const Outcome outcome =
        Run({QStringLiteral("systemctl"), {QStringLiteral("--user"), QStringLiteral("is-enabled"), kUnit}},
            kQueryMilliseconds);
    // "static", "linked" and the like also answer with success, but do not start the unit with the manager.
    return outcome.result.succeeded && (outcome.output == QStringLiteral("enabled") ||
                                        outcome.output == QStringLiteral("enabled-runtime"));
}

bool UserLingers() {
    // show-user without a user shows the login manager itself, so the user is named by number.
    const Outcome outcome = Run({QStringLiteral("loginctl"),
                                 {QStringLiteral("show-user"), QString::number(getuid()),
                                  QStringLiteral("--property=Linger"), QStringLiteral("--value")}},
                                kQueryMilliseconds);
    return outcome.result.succeeded && outcome.output == QStringLiteral("yes");
}

ServiceCommandResult SetBackgroundService(bool enabled) {
    return Run(ServiceCommand(enabled), kChangeMilliseconds).result;
}

ServiceCommandResult SetUserLingers(bool enabled) {
    return Run(LingerChange(enabled), kChangeMilliseconds).result;
}
