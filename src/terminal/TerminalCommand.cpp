// A terminal command: asks the running program over its local socket, or reads the files when none runs.
#include "TerminalCommand.h"

#include "ApplicationNames.h"
#include "JournalReport.h"
#include "TaskReport.h"
#include "TerminalRequests.h"
#include "TerminalText.h"
#include "execution/TaskLog.h"
#include "model/StorageFile.h"
#include "scheduler/RunJournal.h"
#include "singleinstance/RunningInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

// Long enough for a list of tens of thousands of tasks on a busy machine.
constexpr int kAnswerTimeoutMs = 10000;

enum ExitStatus { kDone = 0, kFailed = 1, kBadUsage = 2 };

QString tr(const char* text) {
    return QCoreApplication::translate("TerminalCommand", text);
}

// UTF-8 whatever the locale says: JSON must be, and the program's other texts (logs, files) are.
void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void Warn(const QString& text) {
    Print(stderr, QStringLiteral("zelkor-scheduler: %1\n").arg(text));
}

int Fail(const QString& reason) {
    Warn(reason);
    return kFailed;
}

void PrintJson(const QJsonObject& object) {
    Print(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

int PrintList(const QJsonArray& tasks, bool programRunning, bool json) {
    if (json) {
        PrintJson({{QStringLiteral("program_running"), programRunning}, {QStringLiteral("tasks"), tasks}});
    } else {
        Print(stdout, TaskListTable(tasks));
    }
    return kDone;
}

// The tasks of the storage file, read as it is: nothing is written, no copy of a damaged file is kept
// (the running program does that at its next start). None when it cannot be read; the reason is said.
std::optional<std::vector<TaskInfo>> TasksFromFile() {
    const QString path = DefaultStorageFilePath();
    if (!QFileInfo::exists(path)) {
        return std::vector<TaskInfo>{};
    }
    StorageContents contents = InspectStorageFile(path);
    if (contents.damage) {
        const QString where = QDir::toNativeSeparators(path);
        if (contents.damage->kind != StorageDamage::Kind::TasksLeftOut) {
            Fail(tr("не удалось прочитать файл задач %1: %2").arg(where, contents.damage->detail));
            return std::nullopt;
        }
        Warn(tr("в файле задач %1 есть задачи, которые не удалось прочитать (%2): они пропущены")
                 .arg(where)
                 .arg(contents.damage->tasksLeftOut));
    }
    return std::move(contents.tasks);
}

int ListFromFiles(bool json) {
    const std::optional<std::vector<TaskInfo>> tasks = TasksFromFile();
    if (!tasks) {
        return kFailed;
    }
    QString journalError;
    const std::vector<std::optional<TaskStatus>> statuses =
        JournalStatuses(RunJournal::DefaultPath(), *tasks, journalError);
    if (!journalError.isEmpty()) {
        Warn(journalError);
    }
    QJsonArray list;
    for (std::size_t i = 0; i < tasks->size(); ++i) {
        list.append(TaskReportJson((*tasks)[i], ExpectedNextRun((*tasks)[i]), statuses[i]));
    }
    return PrintList(list, false, json);
}

// The task's log file is named after it, shortened when the name is too long for a file name: the
// history says where it is.
int PrintHistory(const QString& name, const QJsonArray& runs, bool programRunning, bool json) {
    const QString log =
        QDir::toNativeSeparators(TaskLog::PathFor(TaskLog::DefaultFolder(), name.toStdWString()));
    if (json) {
        PrintJson({{QStringLiteral("program_running"), programRunning},
                   {QStringLiteral("task"), name},
                   {QStringLiteral("runs"), runs},
                   {QStringLiteral("log"), log}});
    } else {
        Print(stdout, HistoryTable(runs) + tr("Журнал задачи: %1\n").arg(TerminalText(log)));
    }
    return kDone;
}

int HistoryFromFiles(const QString& name, bool json) {
    const std::optional<std::vector<TaskInfo>> tasks = TasksFromFile();
    if (!tasks) {
        return kFailed;
    }
    std::vector<std::wstring> names;
    for (const TaskInfo& task : *tasks) {
        names.push_back(task.name);
    }
    const auto history = TaskHistory(RunJournal::DefaultPath(), name, names);
    if (const QString* error = std::get_if<QString>(&history)) {
        return Fail(*error);
    }
    return PrintHistory(name, std::get<QJsonArray>(history), false, json);
}

QJsonObject Request(const CommandLine& command) {
    QJsonObject request{{QStringLiteral("protocol"), kTerminalProtocol}};
    switch (command.command) {
    case CommandLine::Command::Run:
        request[QStringLiteral("command")] = QStringLiteral("run");
        request[QStringLiteral("task")] = command.taskName;
        break;
    case CommandLine::Command::History:
        request[QStringLiteral("command")] = QStringLiteral("history");
        request[QStringLiteral("task")] = command.taskName;
        break;
    default:
        request[QStringLiteral("command")] = QStringLiteral("list");
        break;
    }
    return request;
}

} // namespace

int RunTerminalCommand(int& argc, char* argv[], const CommandLine& command, InstanceModes::Modes guardModes) {
    switch (command.command) {
    case CommandLine::Command::Help:
        Print(stdout, UsageText());
        return kDone;
    case CommandLine::Command::Version:
        Print(stdout, QStringLiteral("zelkor-scheduler " ZELKOR_VERSION "\n"));
        return kDone;
    case CommandLine::Command::BadUsage:
        Print(stderr, QStringLiteral("zelkor-scheduler: %1\n\n%2").arg(command.error, UsageText()));
        return kBadUsage;
    default:
        break;
    }

    // Made before any name is set, as the scheduler's own guard is, so that the key comes out the same.
    QCoreApplication application(argc, argv);
    const InstanceAnswer answer = AskRunningInstance(
        QJsonDocument(Request(command)).toJson(QJsonDocument::Compact), guardModes, kAnswerTimeoutMs);
    SetApplicationNames(); // only now: the guard's key was computed without them
    switch (answer.status) {
    case InstanceAnswer::Status::NotRunning:
        if (command.command == CommandLine::Command::Run) {
            return Fail(tr("планировщик не запущен: задачу «%1» можно выполнить только в запущенном "
                           "планировщике")
                            .arg(TerminalText(command.taskName)));
        }
        return command.command == CommandLine::Command::History
                   ? HistoryFromFiles(command.taskName, command.json)
                   : ListFromFiles(command.json);
    case InstanceAnswer::Status::Refused:
        return Fail(
            tr("запущенный планировщик не принял запрос (возможно, это более старая версия программы)"));
    case InstanceAnswer::Status::NoAnswer:
        return Fail(tr("запущенный планировщик не ответил за %1 с").arg(kAnswerTimeoutMs / 1000));
    case InstanceAnswer::Status::Failed:
        return Fail(tr("не удалось связаться с запущенным планировщиком: %1").arg(answer.error));
    case InstanceAnswer::Status::Answered:
        break;
    }

    const QJsonObject reply = QJsonDocument::fromJson(answer.reply).object();
    const int protocol = reply.value(QStringLiteral("protocol")).toInt();
    if (protocol != kTerminalProtocol) {
        return Fail(tr("запущенный планировщик ответил в версии %1, эта программа понимает версию %2")
                        .arg(protocol)
                        .arg(kTerminalProtocol));
    }
    if (reply.contains(QStringLiteral("error"))) {
        // Made safe by the program that wrote it; escaping again changes nothing, and guards against
        // one that did not.
        return Fail(TerminalText(reply.value(QStringLiteral("error")).toString()));
    }
    if (command.command == CommandLine::Command::Run) {
        if (command.json) {
            PrintJson({{QStringLiteral("task"), reply.value(QStringLiteral("task"))},
                       {QStringLiteral("started"), reply.value(QStringLiteral("started"))}});
        } else {
            Print(stdout, tr("Задача «%1» запущена.\n").arg(TerminalText(command.taskName)));
        }
        return kDone;
    }
    if (command.command == CommandLine::Command::History) {
        return PrintHistory(command.taskName, reply.value(QStringLiteral("runs")).toArray(), true,
                            command.json);
    }
    return PrintList(reply.value(QStringLiteral("tasks")).toArray(), true, command.json);
}
