// Runs the commands through the platform's service layer. Each may wait a few seconds, so the wait
// cursor shows while they run, and the message box only once they are done.
#include "BackgroundRuns.h"

#include "dialogs/ModalMessage.h"
#include "platform/BackgroundService.h"
#include "scheduler/SettingKeys.h"

#include <QGuiApplication>
#include <QScopeGuard>
#include <QSettings>

namespace {

const QString& kLingerKey = setting_keys::kLingerEnabledByProgram;

struct Report {
    QMessageBox::Icon icon = QMessageBox::Information;
    QString text;
};

QString Paragraphs(const QStringList& paragraphs) {
    return paragraphs.join(QStringLiteral("\n\n"));
}

Report Failure(const QString& what, const ServiceCommandResult& result) {
    return {QMessageBox::Warning,
            Paragraphs({what, BackgroundRuns::tr("Команда: %1").arg(result.command) + u'\n' + result.error})};
}

Report TurnOn() {
    const bool lingeredBefore = UserLingers();
    const ServiceCommandResult service = SetBackgroundService(true);
    if (!service.succeeded) {
        return Failure(BackgroundRuns::tr("Не удалось включить службу планировщика."), service);
    }
    if (!lingeredBefore) {
        const ServiceCommandResult linger = SetUserLingers(true);
        if (!linger.succeeded) {
            // Without lingering the service stops at logout: half of what the box promises, so none of
            // it is left on.
            SetBackgroundService(false);
            return Failure(BackgroundRuns::tr("Не удалось включить режим linger; служба планировщика снова "
                                              "отключена."),
                           linger);
        }
    }
    // Turned on again after the service alone was disabled by hand: the lingering is still the program's.
    QSettings settings;
    const bool lingeringOurs = settings.value(kLingerKey, false).toBool() || !lingeredBefore;
    settings.setValue(kLingerKey, lingeringOurs);

    QStringList text{BackgroundRuns::tr(
        "Служба zelkor-scheduler.service включена и запущена. Она стартует вместе с диспетчером служб "
        "пользователя и выполняет задания, пока окно программы не открыто; открытое окно берёт задания на "
        "себя и возвращает их службе, когда закрывается.")};
    QStringList undo{BackgroundServiceCommand(false)};
    if (lingeringOurs) {
        text << BackgroundRuns::tr(
            "Для пользователя включён режим linger: его диспетчер служб запускается при "
            "загрузке компьютера и продолжает работать после выхода из системы, поэтому "
            "задания выполняются и тогда, когда вы не в системе.");
        undo << LingerCommand(false);
    } else {
        text << BackgroundRuns::tr(
            "Режим linger (диспетчер служб пользователя работает без входа в систему и "
            "запускается при загрузке компьютера) был включён и раньше; программа его "
            "не меняла и при отключении оставит включённым.");
    }
    text << BackgroundRuns::tr("Чтобы отменить, снимите флажок «Выполнять задания, когда я не в системе» или "
                               "выполните:") +
                u'\n' + undo.join(u'\n');
    return {QMessageBox::Information, Paragraphs(text)};
}

Report TurnOff() {
    const ServiceCommandResult service = SetBackgroundService(false);
    if (!service.succeeded) {
        return Failure(BackgroundRuns::tr("Не удалось отключить службу планировщика."), service);
    }
    QStringList text{BackgroundRuns::tr("Служба zelkor-scheduler.service остановлена и отключена: задания "
                                        "выполняются, только пока работает окно программы.")};
    QSettings settings;
    if (settings.value(kLingerKey, false).toBool()) {
        const ServiceCommandResult linger = SetUserLingers(false);
        if (!linger.succeeded) {
            return Failure(Paragraphs(text << BackgroundRuns::tr("Но режим linger отключить не удалось.")),
                           linger);
        }
        settings.remove(kLingerKey);
        text << BackgroundRuns::tr("Режим linger, который включила программа, отключён.");
    } else if (UserLingers()) {
        text << BackgroundRuns::tr(
                    "Режим linger был включён не этой программой и оставлен как был; отключить "
                    "его можно командой:") +
                    u'\n' + LingerCommand(false);
    }
    return {QMessageBox::Information, Paragraphs(text)};
}

} // namespace

bool BackgroundRuns::Enabled() {
    return BackgroundServiceEnabled();
}

void BackgroundRuns::Set(QWidget* parent, bool on) {
    Report report;
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
        report = on ? TurnOn() : TurnOff();
    }
    ShowModalMessage(parent, report.icon, tr("Настройки"), report.text);
}
