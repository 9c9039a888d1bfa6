// The pause of a task as the terminal commands change and report it.
#include "TaskPause.h"

#include "TaskAddress.h"
#include "TerminalText.h"
#include "model/StorageFile.h"
#include "platform/OwnershipLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("TaskPause", text);
}

} // namespace

QJsonObject PauseChangeJson(const PauseChange& change) {
    return {{QStringLiteral("task"), change.name},
            {QStringLiteral("paused"), change.paused},
            {QStringLiteral("changed"), change.changed}};
}

PauseChange PauseChangeFromJson(const QJsonObject& object, const QString& argument) {
    return {object.value(QStringLiteral("task")).toString(argument),
            object.value(QStringLiteral("paused")).toBool(),
            object.value(QStringLiteral("changed")).toBool()};
}

QString PauseChangeText(const PauseChange& change) {
    QString text;
    if (change.paused) {
        text = change.changed ? tr("Задача «%1» приостановлена.\n") : tr("Задача «%1» уже приостановлена.\n");
    } else {
        text =
            change.changed ? tr("Задача «%1» возобновлена.\n") : tr("Задача «%1» не была приостановлена.\n");
    }
    return text.arg(TerminalText(change.name));
}

std::variant<PauseChange, QString, EngineHoldsTasks>
SetPausedInFile(const QString& storagePath, const QString& lockPath, const QString& argument, bool paused) {
    // No file, no tasks: the refusal says so without making the folder for a lock.
    if (!QFileInfo::exists(storagePath)) {
        return std::get<QString>(FindTask({}, argument));
    }
    platform::OwnershipLock engine(lockPath, platform::OwnershipLock::Role::Engine);
    if (!engine.TryTake()) {
        return EngineHoldsTasks{};
    }
    StorageContents contents = InspectStorageFile(storagePath);
    if (contents.damage) {
        const QString where = QDir::toNativeSeparators(storagePath);
        if (contents.damage->kind == StorageDamage::Kind::TasksLeftOut) {
            return tr("в файле задач %1 есть задачи, которые не удалось прочитать (%2): файл не изменён, "
                      "чтобы они не пропали")
                .arg(where)
                .arg(contents.damage->tasksLeftOut);
        }
        return tr("не удалось прочитать файл задач %1: %2; файл не изменён")
            .arg(where, contents.damage->detail);
    }
    std::vector<std::wstring> names;
    names.reserve(contents.tasks.size());
    for (const TaskInfo& task : contents.tasks) {
        names.push_back(task.name);
    }
    const std::variant<std::size_t, QString> found = FindTask(names, argument);
    if (const QString* refused = std::get_if<QString>(&found)) {
        return *refused;
    }
    TaskInfo& task = contents.tasks[std::get<std::size_t>(found)];
    PauseChange change{QString::fromStdWString(task.name), paused, task.options.paused != paused};
    if (!change.changed) {
        return change;
    }
    task.options.paused = paused;
    // The writer says why it failed on standard error; the previous file stays.
    if (!SaveStorageFile(storagePath, TaskPointers(contents.tasks))) {
        return tr("не удалось записать файл задач %1").arg(QDir::toNativeSeparators(storagePath));
    }
    return change;
}
