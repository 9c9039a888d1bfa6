// Answering the terminal's requests in the running program.
#include "TerminalRequests.h"

#include "JournalReport.h"
#include "RunNowRefusal.h"
#include "TaskAddress.h"
#include "TaskPause.h"
#include "TaskReport.h"
#include "TerminalText.h"
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>
#include <variant>
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

struct Named {
    TaskInfo* record;
    QString name;
};

// The one task of the list the argument names (by name or by place), or the reply that says why there is
// none.
std::variant<Named, QByteArray> Find(const TaskStorage& storage, const QString& argument) {
    const auto& records = storage.Tasks();
    std::vector<std::wstring> names;
    names.reserve(records.size());
    for (const auto& record : records) {
        names.push_back(storage.Copy(record.get()).name);
    }
    const std::variant<std::size_t, QString> found = FindTask(names, argument);
    if (const QString* refused = std::get_if<QString>(&found)) {
        return Error(*refused);
    }
    const std::size_t index = std::get<std::size_t>(found);
    return Named{records[index].get(), QString::fromStdWString(names[index])};
}

// The task a command that changes what it does names, or the reply that refuses it: an engine that
// stands by while another runs the tasks, or hands them over to a window's program (which loads the
// storage file anew), takes no such command.
std::variant<Named, QByteArray> FindToChange(const TaskStorage& storage, const QString& argument) {
    auto found = Find(storage, argument);
    if (std::holds_alternative<Named>(found) && (storage.InStandby() || storage.StartingStopped())) {
        return Error(tr("задачи передаются окну планировщика; повторите команду, когда окно их примет"));
    }
    return found;
}

QByteArray Run(TaskStorage& storage, const QString& argument) {
    const auto found = FindToChange(storage, argument);
    if (const QByteArray* refused = std::get_if<QByteArray>(&found)) {
        return *refused;
    }
    const Named& named = std::get<Named>(found);
    if (const QString refused = RunNowRefusal(storage.RunNow(named.record), named.name); !refused.isEmpty()) {
        return Error(refused);
    }
    return Reply({{QStringLiteral("task"), named.name}, {QStringLiteral("started"), true}});
}

// An edit of the task as the window's pause makes it: stored, re-armed and saved by the engine.
QByteArray SetPaused(TaskStorage& storage, const QString& argument, bool paused) {
    const auto found = FindToChange(storage, argument);
    if (const QByteArray* refused = std::get_if<QByteArray>(&found)) {
        return *refused;
    }
    const Named& named = std::get<Named>(found);
    TaskInfo edited = storage.Copy(named.record);
    const PauseChange change{named.name, paused, edited.options.paused != paused};
    if (change.changed) {
        edited.options.paused = paused;
        storage.UpdateTask(named.record, edited);
    }
    return Reply(PauseChangeJson(change));
}

QByteArray History(const TaskStorage& storage, const QString& argument) {
    const auto found = Find(storage, argument);
    if (const QByteArray* refused = std::get_if<QByteArray>(&found)) {
        return *refused;
    }
    const Named& named = std::get<Named>(found);
    // Read through a connection of its own, beside the engine's writes. A task the worker has not
    // opened yet has no runs to show.
    const std::optional<JournalTaskId> id = storage.JournalId(named.record);
    const auto runs =
        id ? JournalRuns(storage.JournalPath(), *id) : std::variant<QJsonArray, QString>(QJsonArray());
    if (const QString* error = std::get_if<QString>(&runs)) {
        return Error(*error);
    }
    return Reply(
        {{QStringLiteral("task"), named.name}, {QStringLiteral("runs"), std::get<QJsonArray>(runs)}});
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
    if (command == QStringLiteral("pause") || command == QStringLiteral("resume")) {
        return SetPaused(storage, object.value(QStringLiteral("task")).toString(),
                         command == QStringLiteral("pause"));
    }
    return Error(tr("запущенный планировщик не знает команды «%1»").arg(TerminalText(command)));
}
