// Answering list and run requests in the running program.
#include "TerminalRequests.h"

#include "JournalReport.h"
#include "TaskReport.h"
#include "scheduler/RunJournal.h"
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("TerminalRequests", text);
}

QByteArray Reply(QJsonObject reply) {
    reply[QStringLiteral("protocol")] = kTerminalProtocol;
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

QByteArray Error(const QString& text) {
    return Reply({{QStringLiteral("error"), text}});
}

QByteArray List(const TaskStorage& storage) {
    QJsonArray tasks;
    for (const auto& record : storage.Tasks()) {
        // A copy: the worker may be adding modification times to the record meanwhile.
        const TaskInfo task = storage.Copy(record.get());
        const TaskStatus status = storage.Status(record.get());
        tasks.append(TaskReportJson(task, status.next_run.value_or(kNever), status));
    }
    return Reply({{QStringLiteral("tasks"), tasks}});
}

QByteArray Run(TaskStorage& storage, const QString& name) {
    std::vector<TaskInfo*> found;
    const std::wstring wanted = name.toStdWString();
    for (const auto& record : storage.Tasks()) {
        if (storage.Copy(record.get()).name == wanted) {
            found.push_back(record.get());
        }
    }
    if (found.empty()) {
        return Error(tr("нет задачи «%1»").arg(name));
    }
    // Which one was meant cannot be told; they also share their log.
    if (found.size() > 1) {
        return Error(
            tr("задач с именем «%1» несколько (%2); чтобы выполнить одну из них, дайте ей другое имя")
                .arg(name)
                .arg(found.size()));
    }
    storage.RunNow(found.front());
    return Reply({{QStringLiteral("task"), name}, {QStringLiteral("started"), true}});
}

QByteArray History(const TaskStorage& storage, const QString& name) {
    std::vector<std::wstring> names;
    for (const auto& record : storage.Tasks()) {
        names.push_back(storage.Copy(record.get()).name);
    }
    // Read through a connection of its own, beside the engine's writes.
    auto history = TaskHistory(RunJournal::DefaultPath(), name, names);
    if (const QString* error = std::get_if<QString>(&history)) {
        return Error(*error);
    }
    return Reply({{QStringLiteral("task"), name}, {QStringLiteral("runs"), std::get<QJsonArray>(history)}});
}

} // namespace

QByteArray AnswerTerminalRequest(TaskStorage& storage, const QByteArray& request) {
    const QJsonObject object = QJsonDocument::fromJson(request).object();
    const int protocol = object.value(QStringLiteral("protocol")).toInt();
    if (protocol != kTerminalProtocol) {
        return Error(tr("запрос версии %1 не поддерживается: запущенный планировщик понимает версию %2")
                         .arg(protocol)
                         .arg(kTerminalProtocol));
    }
    const QString command = object.value(QStringLiteral("command")).toString();
    if (command == QStringLiteral("list")) {
        return List(storage);
    }
    if (command == QStringLiteral("history")) {
        return History(storage, object.value(QStringLiteral("task")).toString());
    }
    if (command == QStringLiteral("run")) {
        return Run(storage, object.value(QStringLiteral("task")).toString());
    }
    return Error(tr("запущенный планировщик не знает команды «%1»").arg(command));
}
