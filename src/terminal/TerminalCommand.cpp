// A terminal command: asks the running program over its local socket, or reads the files (or, to pause or
// resume a task, edits the storage file) when none runs.
#include "TerminalCommand.h"

#include "ApplicationNames.h"
#include "JournalReport.h"
#include "TaskPause.h"
#include "TaskReport.h"
#include "TerminalOutput.h"
#include "TerminalRequests.h"
#include "TerminalText.h"
#include "execution/TaskLog.h"
#include "model/StorageFile.h"
#include "scheduler/RunJournal.h"
#include "singleinstance/RunningInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace {

// Long enough for a list of tens of thousands of tasks on a busy machine.
constexpr int kAnswerTimeoutMs = 10000;

enum ExitStatus { kDone = 0, kFailed = 1, kBadUsage = 2 };

QString tr(const char* text) {
    return QCoreApplication::translate("TerminalCommand", text);
}

int Fail(const TerminalOutput& output, const QString& reason) {
    output.Error(reason);
    return kFailed;
}

int PrintList(const TerminalOutput& output, const QJsonArray& tasks, bool programRunning) {
    if (output.Json()) {
        output.PrintJson(
            {{QStringLiteral("program_running"), programRunning}, {QStringLiteral("tasks"), tasks}});
    } else {
        output.Print(TaskListTable(tasks));
    }
    return kDone;
}

// The tasks of the storage file, read as it is: nothing is written, no copy of a damaged file is kept
// (the running program does that at its next start). None when it cannot be read; the reason is said.
std::optional<std::vector<TaskInfo>> TasksFromFile(const TerminalOutput& output) {
    const QString path = DefaultStorageFilePath();
    if (!QFileInfo::exists(path)) {
        return std::vector<TaskInfo>{};
    }
    StorageContents contents = InspectStorageFile(path);
    if (contents.damage) {
        const QString where = QDir::toNativeSeparators(path);
        if (contents.damage->kind != StorageDamage::Kind::TasksLeftOut) {
            Fail(output, tr("не удалось прочитать файл задач %1: %2").arg(where, contents.damage->detail));
            return std::nullopt;
        }
        output.Warn(tr("в файле задач %1 есть задачи, которые не удалось прочитать (%2): они пропущены")
                        .arg(where)
                        .arg(contents.damage->tasksLeftOut));
    }
    return std::move(contents.tasks);
}

int ListFromFiles(const TerminalOutput& output) {
    const std::optional<std::vector<TaskInfo>> tasks = TasksFromFile(output);
    if (!tasks) {
        return kFailed;
    }
    QString journalError;
    const std::vector<std::optional<TaskStatus>> statuses =
        JournalStatuses(RunJournal::DefaultPath(), *tasks, journalError);
    if (!journalError.isEmpty()) {
        output.Warn(journalError);
    }
    QJsonArray list;
    for (std::size_t i = 0; i < tasks->size(); ++i) {
        const TimePoint next =
            statuses[i] ? statuses[i]->next_run.value_or(kNever) : ExpectedNextRun((*tasks)[i]);
        list.append(TaskReportJson((*tasks)[i], next, statuses[i]));
    }
    return PrintList(output, list, false);
}

// The task's log file is named after it, shortened when the name is too long for a file name: the
// history says where it is.
int PrintHistory(const TerminalOutput& output, const QString& name, const QJsonArray& runs,
                 bool programRunning) {
    const QString log =
        QDir::toNativeSeparators(TaskLog::PathFor(TaskLog::DefaultFolder(), name.toStdWString()));
    if (output.Json()) {
        output.PrintJson({{QStringLiteral("program_running"), programRunning},
                          {QStringLiteral("task"), name},
                          {QStringLiteral("runs"), runs},
                          {QStringLiteral("log"), log}});
    } else {
        output.Print(HistoryTable(runs) + tr("Журнал задачи: %1\n").arg(TerminalText(log)));
    }
    return kDone;
}

int HistoryFromFiles(const TerminalOutput& output, const QString& argument) {
    const std::optional<std::vector<TaskInfo>> tasks = TasksFromFile(output);
    if (!tasks) {
        return kFailed;
    }
    std::vector<std::wstring> names;
    for (const TaskInfo& task : *tasks) {
        names.push_back(task.name);
    }
    const auto history = TaskHistory(RunJournal::DefaultPath(), argument, names);
    if (const QString* error = std::get_if<QString>(&history)) {
        return Fail(output, *error);
    }
    const auto& [runs, name] = std::get<std::pair<QJsonArray, QString>>(history);
    return PrintHistory(output, name, runs, false);
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
    case CommandLine::Command::Pause:
    case CommandLine::Command::Resume:
        request[QStringLiteral("command")] = command.command == CommandLine::Command::Pause
                                                 ? QStringLiteral("pause")
                                                 : QStringLiteral("resume");
        request[QStringLiteral("task")] = command.taskName;
        break;
    default:
        request[QStringLiteral("command")] = QStringLiteral("list");
        break;
    }
    return request;
}

bool ChangesPause(const CommandLine& command) {
    return command.command == CommandLine::Command::Pause || command.command == CommandLine::Command::Resume;
}

int PrintPauseChange(const TerminalOutput& output, const PauseChange& change) {
    if (output.Json()) {
        output.PrintJson(PauseChangeJson(change));
    } else {
        output.Print(PauseChangeText(change));
    }
    return kDone;
}

// What the command learnt: the running engine's answer, or, for a pause or resume when none answers, what
// came of the storage file's edit.
struct Asked {
    InstanceAnswer answer;
    std::optional<std::variant<PauseChange, QString>> edited;
};

// A pause or resume goes to the storage file only while no engine holds the tasks: one that holds them
// and does not answer yet is starting or handing them over, and is asked again until it answers.
Asked Ask(const CommandLine& command, InstanceModes::Modes guardModes) {
    const QByteArray request = QJsonDocument(Request(command)).toJson(QJsonDocument::Compact);
    const QDeadlineTimer deadline(kAnswerTimeoutMs);
    for (;;) {
        Asked asked{AskRunningInstance(request, guardModes, kAnswerTimeoutMs), std::nullopt};
        if (asked.answer.status != InstanceAnswer::Status::NotRunning || !ChangesPause(command)) {
            return asked;
        }
        auto edited = SetPausedInFile(DefaultStorageFilePath(), EngineLockPath(), command.taskName,
                                      command.command == CommandLine::Command::Pause);
        if (auto* change = std::get_if<PauseChange>(&edited)) {
            asked.edited = *change;
            return asked;
        }
        if (auto* refused = std::get_if<QString>(&edited)) {
            asked.edited = *refused;
            return asked;
        }
        if (deadline.hasExpired()) {
            asked.edited = tr("файл задач занят запущенным планировщиком, который не отвечает на команды");
            return asked;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace

int RunTerminalCommand(int& argc, char* argv[], const CommandLine& command, InstanceModes::Modes guardModes) {
    const TerminalOutput output(command.json);
    switch (command.command) {
    case CommandLine::Command::Help:
        output.Print(UsageText());
        return kDone;
    case CommandLine::Command::Version:
        output.Print(QStringLiteral("zelkor-scheduler " ZELKOR_VERSION "\n"));
        return kDone;
    case CommandLine::Command::BadUsage:
        output.BadUsage(command.error);
        return kBadUsage;
    default:
        break;
    }

    // Made before any name is set, as the scheduler's own guard is, so that the key comes out the same.
    QCoreApplication application(argc, argv);
    const Asked asked = Ask(command, guardModes);
    SetApplicationNames(); // only now: the guard's key was computed without them
    if (asked.edited) {
        if (const QString* refused = std::get_if<QString>(&*asked.edited)) {
            return Fail(output, *refused);
        }
        return PrintPauseChange(output, std::get<PauseChange>(*asked.edited));
    }
    const InstanceAnswer& answer = asked.answer;
    switch (answer.status) {
    case InstanceAnswer::Status::NotRunning:
        if (command.command == CommandLine::Command::Run) {
            return Fail(output, tr("планировщик не запущен: задачу «%1» можно выполнить только в запущенном "
                                   "планировщике")
                                    .arg(TerminalText(command.taskName)));
        }
        return command.command == CommandLine::Command::History ? HistoryFromFiles(output, command.taskName)
                                                                : ListFromFiles(output);
    case InstanceAnswer::Status::Refused:
        return Fail(output, tr("запущенный планировщик не принял запрос (возможно, это более старая версия "
                               "программы)"));
    case InstanceAnswer::Status::NoAnswer:
        return Fail(output, tr("запущенный планировщик не ответил за %1 с").arg(kAnswerTimeoutMs / 1000));
    case InstanceAnswer::Status::Failed:
        return Fail(output, tr("не удалось связаться с запущенным планировщиком: %1").arg(answer.error));
    case InstanceAnswer::Status::Answered:
        break;
    }

    const QJsonObject reply = QJsonDocument::fromJson(answer.reply).object();
    const int protocol = reply.value(QStringLiteral("protocol")).toInt();
    if (protocol != kTerminalProtocol) {
        return Fail(output, tr("запущенный планировщик ответил в версии %1, эта программа понимает версию %2")
                                .arg(protocol)
                                .arg(kTerminalProtocol));
    }
    if (reply.contains(QStringLiteral("error"))) {
        // Made safe by the program that wrote it; escaping again changes nothing, and guards against
        // one that did not.
        return Fail(output, TerminalText(reply.value(QStringLiteral("error")).toString()));
    }
    // The task's own name: the command may have named it by its place.
    const QString name = reply.value(QStringLiteral("task")).toString(command.taskName);
    if (command.command == CommandLine::Command::Run) {
        if (output.Json()) {
            output.PrintJson({{QStringLiteral("task"), name},
                              {QStringLiteral("started"), reply.value(QStringLiteral("started"))}});
        } else {
            output.Print(tr("Задача «%1» запущена.\n").arg(TerminalText(name)));
        }
        return kDone;
    }
    if (ChangesPause(command)) {
        return PrintPauseChange(output, PauseChangeFromJson(reply, command.taskName));
    }
    if (command.command == CommandLine::Command::History) {
        return PrintHistory(output, name, reply.value(QStringLiteral("runs")).toArray(), true);
    }
    return PrintList(output, reply.value(QStringLiteral("tasks")).toArray(), true);
}
