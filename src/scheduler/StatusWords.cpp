// The words of run statuses.
#include "StatusWords.h"

#include "model/LocalDateTime.h"

#include <QCoreApplication>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("StatusWords", text);
}

} // namespace

QString OutcomeText(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::None:
        return {};
    case RunOutcome::Running:
        return tr("Выполняется…");
    case RunOutcome::Succeeded:
        return tr("Успешно");
    case RunOutcome::Warnings:
        return tr("Есть предупреждения");
    case RunOutcome::Failed:
        return tr("Ошибка");
    case RunOutcome::Missed:
        return tr("Пропущен");
    case RunOutcome::Interrupted:
        return tr("Прерван");
    case RunOutcome::LimitExceeded:
        return tr("Превышено время");
    }
    return {};
}

QString StatusText(const TaskStatus& status) {
    if (status.stale_since) {
        return StaleText(*status.stale_since);
    }
    if (status.queued) {
        return QueuedText();
    }
    if (!status.waiting.empty()) {
        return WaitingText(status.waiting);
    }
    if (status.retry_at) {
        return RetryText(status.outcome, *status.retry_at);
    }
    return OutcomeText(status.outcome);
}

QString QueuedText() {
    return tr("В очереди");
}

QString WaitingText(const std::wstring& reason) {
    return tr("Ожидает: %1").arg(QString::fromStdWString(reason));
}

QString RetryText(RunOutcome outcome, TimePoint at, TimePoint now) {
    const LocalDateTime when = ToLocalDateTime(at);
    const QString time = when.time.toString(QStringLiteral("hh:mm"));
    if (when.date == ToLocalDateTime(now).date) {
        return tr("%1, повтор в %2").arg(OutcomeText(outcome), time);
    }
    return tr("%1, повтор %2 в %3")
        .arg(OutcomeText(outcome), when.date.toString(QStringLiteral("dd.MM")), time);
}

QString PausedText() {
    return tr("Приостановлена");
}

QString StaleText(TimePoint since) {
    return tr("Нет успешных запусков с %1").arg(LocalDateTimeText(since, QStringLiteral("dd.MM.yyyy")));
}

QString NotScheduledText() {
    return tr("не запланирован");
}

QString NextRunTitle() {
    return tr("Следующий запуск");
}

QString LastRunTitle() {
    return tr("Последний запуск");
}

QString ResultTitle() {
    return tr("Результат");
}
