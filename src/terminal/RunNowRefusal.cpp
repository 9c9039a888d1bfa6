// The refusals of "Запустить сейчас" and of `--run`.
#include "RunNowRefusal.h"

#include <QCoreApplication>

QString RunNowRefusal(TaskStorage::RunNowAnswer answer, const QString& name) {
    const auto tr = [](const char* text) { return QCoreApplication::translate("RunNowRefusal", text); };
    switch (answer) {
    case TaskStorage::RunNowAnswer::Queued:
        return {};
    case TaskStorage::RunNowAnswer::AlreadyRunning:
        return tr("задача «%1» уже выполняется или ждёт своей очереди; второй запуск не нужен").arg(name);
    case TaskStorage::RunNowAnswer::AlreadyQueued:
        return tr("запуск задачи «%1» уже запрошен и ещё не начался; второй запуск не нужен").arg(name);
    case TaskStorage::RunNowAnswer::NotStored:
        return tr("задачи «%1» больше нет").arg(name);
    }
    return {};
}
