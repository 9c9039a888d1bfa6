// The texts of a run's log lines.
#include "execution/RunTexts.h"

#include <QCoreApplication>

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("TaskStorage", text);
}

} // namespace

namespace RunTexts {

QString Start() {
    return Tr("Начало выполнения задания.");
}

QString Finish() {
    return Tr("Завершение выполнения задания. Следующий запуск: %2.");
}

QString FinishWithoutNext() {
    return Tr("Завершение выполнения задания. Следующий запуск не запланирован.");
}

QString ToolSucceeded() {
    return Tr("Задание успешно выполнено.");
}

QString ToolFailed() {
    return Tr("Задание не выполнено:");
}

QString BadPath() {
    return Tr("Неверно задан путь %1\n");
}

QString NoConnection() {
    return Tr("Не удалось найти подключение к ХД по пути %1");
}

QString NotFound() {
    return Tr("Не найден файл %1");
}

QString RepositoryFailed() {
    return Tr("Ошибка хранилища данных: %1");
}

QString NoOutputFolder() {
    return Tr("Не удалось создать папку для выгрузки %1: %2");
}

QString NoRulesFile() {
    return Tr("Не удалось прочитать файл правил IDS %1: %2");
}

QString NoIfcSource() {
    return Tr("Не удалось прочитать файлы IFC %1: %2");
}

QString NoDocuments() {
    return Tr("В папке %1 нет документов: выгружать нечего.");
}

QString NoIfcFiles() {
    return Tr("В папке %1 нет файлов IFC: проверять нечего.");
}

QString LimitExceeded() {
    return Tr("Превышено время выполнения (%1 с), программа остановлена.");
}

QString TaskLimitExceeded() {
    return Tr("Превышено время выполнения задания (%1 с), программа остановлена на документе %2.");
}

QString StoppedOnDocument() {
    return Tr("Документ, на котором остановлена программа: %1");
}

QString Interrupted() {
    return Tr("Выполнение задания прервано: программа закрывается.");
}

QString Killed() {
    return Tr("Выполнение задания прервано: программа была остановлена до его окончания.");
}

QString RunNow() {
    return Tr("Запуск вручную.");
}

QString NotStarted() {
    return Tr("Не удалось запустить программу: %1");
}

QString ProgramExited() {
    return Tr("Программа завершилась с кодом %1.");
}

QString ProgramSignaled() {
    return Tr("Программа завершена сигналом %1.");
}

QString Missed() {
    return Tr("Пропущен запуск: %1 (программа не работала).");
}

QString MissedMore() {
    return Tr("Пропущен запуск: %1 и ещё %2 (программа не работала).");
}

QString CatchingUp() {
    return Tr("Выполняется пропущенный запуск.");
}

QString Retry() {
    return Tr("Повторная попытка %1 из %2.");
}

QString Waiting() {
    return Tr("Запуск %1 ожидает: %2.");
}

QString Skipped() {
    return Tr("Запуск %1 пропущен: %2.");
}

QString Unavailable() {
    return Tr("Запуск невозможен: %1 (%2).");
}

QString LineCut() {
    return Tr("Строка выше сокращена, пропущено байт: %1.");
}

QString OutputCut() {
    return Tr("Сообщения программы сокращены, пропущено байт: %1.");
}

} // namespace RunTexts
