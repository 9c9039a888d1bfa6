// The terminal commands against the real program: how the options are read, the exit codes and outputs
// with no program running (nothing is started, nothing written, no display needed), --history and the
// last runs from the run journal, and the commands answered by a running program.
#include "SchedulerSides.h"
#include "model/LocalDateTime.h"
#include "model/StorageFile.h"
#include "platform/OwnershipLock.h"
#include "scheduler/RunJournal.h"
#include "terminal/CommandLine.h"
#include "terminal/JournalReport.h"
#include "terminal/TaskReport.h"
#include "terminal/TerminalText.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

// Where the program keeps them: this test program's own paths are in Qt's test mode.
QString StoragePath() {
    return qEnvironmentVariable("XDG_DATA_HOME") +
           QStringLiteral("/Zelkor-Vostal/ZelkorScheduler/storage.xml");
}

QString JournalPath() {
    return QFileInfo(StoragePath()).path() + QStringLiteral("/journal.sqlite");
}

TaskInfo Task(const std::wstring& name, TimePoint start) {
    TaskInfo task;
    task.name = name;
    task.starting_point = start;
    task.action = CommandAction{L"/bin/true", L"", L""};
    return task;
}

void Save(const std::vector<TaskInfo>& tasks) {
    QVERIFY(SaveStorageFile(StoragePath(), TaskPointers(tasks)));
}

// A task of --list --json that never ran as far as anyone knows: every key the manual page lists is
// there, so that a script can read any of them.
void CheckNeverRan(const QJsonObject& task) {
    QCOMPARE(task.keys(),
             QStringList({"last_end", "last_run", "last_success", "missed_count", "name", "next_run",
                          "paused", "queued", "result", "result_text", "schedule", "stale", "waiting"}));
    QCOMPARE(task.value(QStringLiteral("queued")), QJsonValue(false));
    QCOMPARE(task.value(QStringLiteral("paused")), QJsonValue(false));
    for (const char* key : {"last_run", "last_end", "result", "last_success", "stale", "waiting"}) {
        QVERIFY2(task.value(QLatin1String(key)).isNull(), key);
    }
    QCOMPARE(task.value(QStringLiteral("missed_count")), QJsonValue(0));
}

// Each task's pause as the storage file has it, and as --list --json reports it.
std::vector<bool> PausedInFile() {
    std::vector<bool> paused;
    for (const TaskInfo& task : LoadStorageFile(StoragePath())) {
        paused.push_back(task.options.paused);
    }
    return paused;
}

std::vector<bool> PausedInList() {
    std::vector<bool> paused;
    for (const QJsonValue& task : JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}))
                                      .value(QStringLiteral("tasks"))
                                      .toArray()) {
        paused.push_back(task.toObject().value(QStringLiteral("paused")).toBool());
    }
    return paused;
}

// Changes when the file is written anew (in one step, as a new file), not when it is only read.
ino_t StorageInode() {
    struct stat status {};
    return ::stat(QFile::encodeName(StoragePath()).constData(), &status) == 0 ? status.st_ino : 0;
}

QByteArray StorageBytes() {
    QFile file(StoragePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The error of a failed command, whether it printed it as text or as JSON.
QString ErrorOf(const Outcome& outcome) {
    const QJsonObject json = QJsonDocument::fromJson(outcome.err.toUtf8()).object();
    return json.isEmpty() ? outcome.err : json.value(QStringLiteral("error")).toString();
}

// The scheduler itself, headless, for the scope; SIGTERM ends it as its exit entry does.
class RunningProgram {
public:
    RunningProgram() {
        m_process.setProcessEnvironment(NoDisplay());
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral(ZELKOR_SCHEDULER_PATH), QStringList());
    }
    ~RunningProgram() { Stop(); }

    // Once it answers the commands.
    bool Answers() {
        return QTest::qWaitFor(
            [] {
                return JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}))
                    .value(QStringLiteral("program_running"))
                    .toBool();
            },
            30000);
    }

    int Stop() {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
            m_process.waitForFinished(30000);
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
};

} // namespace

class TerminalCommandTest : public QObject {
    Q_OBJECT

private slots:
    // The storage folder whole: the tasks, the journal and the roles' file.
    void initTestCase() { cleanup(); }
    void cleanup() { QDir(QFileInfo(StoragePath()).path()).removeRecursively(); }

    void optionsAreRead_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("json");
        using C = CommandLine::Command;
        const auto row = [](const char* tag, QStringList arguments, C command, QString name = {},
                            bool json = false) {
            QTest::newRow(tag) << arguments << static_cast<int>(command) << name << json;
        };
        row("none", {}, C::StartProgram);
        row("Qt's options are the application's", {"-platform", "offscreen", "-session", "1a2b", "-reverse"},
            C::StartProgram);
        row("list", {"--list", "--json"}, C::List, {}, true);
        row("run with the name after it", {"--run", "-минус"}, C::Run, "-минус");
        row("run with the name joined", {"--json", "--run=а=б"}, C::Run, "а=б", true);
        row("pause by place", {"--pause", "@2"}, C::Pause, "@2");
        row("resume with the name joined", {"--resume=-x", "--json"}, C::Resume, "-x", true);
        row("a name \"--json\" after --pause asks for no JSON", {"--pause", "--json"}, C::Pause, "--json");
        row("pause and resume at once", {"--pause", "a", "--resume", "a"}, C::BadUsage);
        row("help wins", {"--list", "--help"}, C::Help);
        row("short help", {"-h"}, C::Help);
        row("bad usage after --json answers in JSON", {"--json", "--bogus"}, C::BadUsage, {}, true);
        row("a name \"--json\" asks for no JSON", {"--run", "--json", "--bogus"}, C::BadUsage);
        row("version", {"--version"}, C::Version);
        row("background engine", {"--background"}, C::Background);
        row("background engine and another command", {"--background", "--list"}, C::BadUsage);
        row("background engine with json", {"--background", "--json"}, C::BadUsage, {}, true);
    }

    void optionsAreRead() {
        QFETCH(QStringList, arguments);
        QFETCH(int, command);
        QFETCH(QString, name);
        QFETCH(bool, json);
        const CommandLine read = ParseCommandLine(arguments);
        QCOMPARE(static_cast<int>(read.command), command);
        QCOMPARE(read.taskName, name);
        QCOMPARE(read.json, json);
    }

    void withoutAProgram_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Использование: zelkor-scheduler"
                              << "";
        QTest::newRow("short help") << QStringList{"-h"} << 0 << "@3"
                                    << "";
        QTest::newRow("bad usage in JSON") << QStringList{"--bogus", "--json"} << 2 << ""
                                           << "{\"error\":\"неизвестный параметр «--bogus»\"}\n";
        QTest::newRow("failure in JSON") << QStringList{"--json", "--run", "@1"} << 1 << ""
                                         << "{\"error\":\"планировщик не запущен: задачу «@1»";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "zelkor-scheduler " ZELKOR_VERSION "\n"
                                 << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << ""
                                        << "неизвестный параметр «--bogus»";
        QTest::newRow("value to a flag") << QStringList{"--list=x"} << 2 << ""
                                         << "неизвестный параметр «--list=x»";
        QTest::newRow("stray argument") << QStringList{"задача"} << 2 << ""
                                        << "лишний аргумент «задача»";
        QTest::newRow("run without a name") << QStringList{"--run"} << 2 << ""
                                            << "после --run нужно имя задачи";
        QTest::newRow("empty name") << QStringList{"--run="} << 2 << ""
                                    << "после --run нужно имя задачи";
        QTest::newRow("two commands") << QStringList{"--list", "--run", "x"} << 2 << ""
                                      << "только одно";
        QTest::newRow("json alone") << QStringList{"--json"} << 2 << ""
                                    << "--json относится";
        QTest::newRow("run needs the program") << QStringList{"--run", "x"} << 1 << ""
                                               << "планировщик не запущен: задачу «x» можно выполнить";
        QTest::newRow("pause without a name") << QStringList{"--pause"} << 2 << ""
                                              << "после --pause нужно имя задачи";
        QTest::newRow("resume without a storage file") << QStringList{"--resume", "@1"} << 1 << ""
                                                       << "нет задачи @1: задач в списке 0";
    }

    void withoutAProgram() {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString settings = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Zelkor-Vostal");
        QDir(settings).removeRecursively();
        const Outcome outcome = Command(arguments);
        QCOMPARE(outcome.code, code);
        QVERIFY2(out.isEmpty() ? outcome.out.isEmpty() : outcome.out.contains(out), qPrintable(outcome.out));
        QVERIFY2(err.isEmpty() ? outcome.err.isEmpty() : outcome.err.contains(err), qPrintable(outcome.err));
        // Bad usage shows a person the usage, a script one JSON line; nothing here started the scheduler,
        // which would have written its first launch.
        const bool json = arguments.contains(QStringLiteral("--json"));
        QCOMPARE(outcome.err.contains(QStringLiteral("Использование:")), code == 2 && !json);
        if (json && code != 0) {
            QCOMPARE(outcome.err.count(u'\n'), 1);
            QVERIFY(QJsonDocument::fromJson(outcome.err.toUtf8()).object().contains(QStringLiteral("error")));
        }
        QVERIFY(!QFileInfo::exists(settings));
        // Nor was the storage folder made for a lock, or anything in it.
        QVERIFY(!QFileInfo::exists(QFileInfo(StoragePath()).path()));
    }

    void listReadsTheFilesWhenNoProgramRuns() {
        const TimePoint start =
            std::chrono::floor<std::chrono::minutes>(CurrentTime()) + std::chrono::hours(50);
        // Started, and without a weekday: it never runs again.
        TaskInfo never = Task(L"без дней", CurrentTime() - std::chrono::hours(1));
        never.trigger = WeeklyTrigger{1, {}};
        Save({Task(L"копия", start), never});
        QFile file(StoragePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        const Outcome table = Command({QStringLiteral("--list")});
        QCOMPARE(table.code, 0);
        const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].startsWith(QStringLiteral("№  Название")) &&
                     lines[0].endsWith(QStringLiteral("Результат")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(QStringLiteral("1  копия")) &&
                     lines[1].endsWith(LocalDateTimeText(start, QStringLiteral("dd.MM.yyyy hh:mm"))),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].endsWith(QStringLiteral("не запланирован")), qPrintable(lines[2]));

        const QJsonObject json = JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}));
        QCOMPARE(json.value(QStringLiteral("program_running")), QJsonValue(false));
        const QJsonArray tasks = json.value(QStringLiteral("tasks")).toArray();
        QCOMPARE(tasks.size(), 2);
        QCOMPARE(tasks[0].toObject().value(QStringLiteral("next_run")).toString(), ReportTime(start));
        QVERIFY(tasks[1].toObject().value(QStringLiteral("next_run")).isNull());
        // As on a fresh install: no journal yet.
        QVERIFY(!QFileInfo::exists(JournalPath()));
        for (const QJsonValue& task : tasks) {
            CheckNeverRan(task.toObject());
        }

        // Read as it is: nothing written, and a damaged file is not set aside (the program does that).
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<config><tasks>");
        file.close();
        const Outcome damaged = Command({QStringLiteral("--list")});
        QCOMPARE(damaged.code, 1);
        QVERIFY2(damaged.err.contains(QStringLiteral("не удалось прочитать файл задач")),
                 qPrintable(damaged.err));
        QCOMPARE(QDir(QFileInfo(StoragePath()).path()).entryList(QDir::Files), QStringList{"storage.xml"});
    }

    void historyAndLastRunsFromTheJournal() {
        const TimePoint start =
            std::chrono::floor<std::chrono::seconds>(CurrentTime()) - std::chrono::hours(3);
        Save({Task(L"копия", start), Task(L"новая", start), Task(L"давняя", start)});
        // Daily, its last success five days ago: stale since then.
        const TimePoint lastSuccess = start - std::chrono::hours(5 * 24);
        {
            RunJournal journal(JournalPath());
            const JournalTaskId id = journal.AddTask(L"копия", start);
            const JournalTaskId old = journal.AddTask(L"давняя", lastSuccess - std::chrono::hours(24));
            journal.SetOrder({id, old});
            journal.RecordEnd(journal.RecordStart({0, old, RunStart::Timed, {}, lastSuccess, {}, {}, 0}),
                              lastSuccess, RunResult{RunOutcome::Succeeded, {}, 1});
            journal.RecordMissed(id, start, start - std::chrono::hours(1), 4);
            const JournalRunId timed = journal.RecordStart({0, id, RunStart::Timed, start, start, {}, {}, 0});
            journal.RecordEnd(timed, start + std::chrono::minutes(1),
                              RunResult{RunOutcome::Succeeded, {}, 3});
            const TimePoint now = start + std::chrono::hours(1);
            const JournalRunId manual = journal.RecordStart({0, id, RunStart::RunNow, {}, now, {}, {}, 0});
            journal.RecordEnd(manual, now + std::chrono::seconds(5),
                              RunResult{RunOutcome::Failed, L"нет доступа"});
        }

        const auto checkRuns = [&start](const QJsonObject& history, bool running) {
            QCOMPARE(history.value(QStringLiteral("program_running")).toBool(), running);
            const QJsonArray runs = history.value(QStringLiteral("runs")).toArray();
            QCOMPARE(runs.size(), 3);
            QStringList words;
            for (const QJsonValue& run : runs) {
                words << run.toObject().value(QStringLiteral("how")).toString() + u'/' +
                             run.toObject().value(QStringLiteral("result")).toString();
            }
            QCOMPARE(words, QStringList({"missed/missed", "timed/succeeded", "run-now/failed"}));
            QCOMPARE(runs[0].toObject().value(QStringLiteral("missed")).toInt(), 4);
            QCOMPARE(runs[1].toObject().value(QStringLiteral("start")).toString(), ReportTime(start));
            QCOMPARE(runs[1].toObject().value(QStringLiteral("done")).toInt(), 3);
            QCOMPARE(runs[2].toObject().value(QStringLiteral("first_error")).toString(),
                     QStringLiteral("нет доступа"));
        };
        checkRuns(
            JsonOf(Command({QStringLiteral("--history"), QStringLiteral("копия"), QStringLiteral("--json")})),
            false);
        const Outcome table = Command({QStringLiteral("--history=копия")});
        QCOMPARE(table.code, 0);
        const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QVERIFY2(lines[1].contains(QStringLiteral("пропущено запусков: 4")), qPrintable(lines[1]));
        QVERIFY2(lines[3].contains(QStringLiteral("вручную")) &&
                     lines[3].endsWith(QStringLiteral("нет доступа")),
                 qPrintable(lines[3]));
        // The table ends with where the task's log is; JSON names it too.
        const QString log = qEnvironmentVariable("XDG_CACHE_HOME") +
                            QStringLiteral("/Zelkor-Vostal/ZelkorScheduler/копия.log");
        QCOMPARE(lines[4], QStringLiteral("Журнал задачи: ") + log);
        QCOMPARE(JsonOf(Command({QStringLiteral("--history=копия"), QStringLiteral("--json")}))
                     .value(QStringLiteral("log"))
                     .toString(),
                 log);
        // A listed task the journal has not heard of has no runs yet; a name nobody has is an error.
        const Outcome fresh = Command({QStringLiteral("--history"), QStringLiteral("новая")});
        QCOMPARE(fresh.code, 0);
        QCOMPARE(fresh.out.count(u'\n'), 2);
        const Outcome unknown = Command({QStringLiteral("--history"), QStringLiteral("нет")});
        QCOMPARE(unknown.code, 1);
        QVERIFY2(unknown.err.contains(QStringLiteral("нет задачи «нет»")), qPrintable(unknown.err));

        // The list without a program takes each task's last run from the journal.
        const QJsonArray tasks = JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}))
                                     .value(QStringLiteral("tasks"))
                                     .toArray();
        QCOMPARE(tasks[0].toObject().value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
        QCOMPARE(tasks[0].toObject().value(QStringLiteral("last_run")).toString(),
                 ReportTime(start + std::chrono::hours(1)));
        QCOMPARE(tasks[0].toObject().value(QStringLiteral("first_error")).toString(),
                 QStringLiteral("нет доступа"));
        CheckNeverRan(tasks[1].toObject());
        QVERIFY(tasks[0].toObject().value(QStringLiteral("stale")).isNull());
        const auto checkStale = [&lastSuccess] {
            const QJsonArray tasks = JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}))
                                         .value(QStringLiteral("tasks"))
                                         .toArray();
            QCOMPARE(tasks[2].toObject().value(QStringLiteral("stale")).toString(), ReportTime(lastSuccess));
            const QString line = Command({QStringLiteral("--list")}).out.split(u'\n').at(3);
            QVERIFY2(line.endsWith(QStringLiteral("Успешно, устарела: нет успешных запусков с ") +
                                   LocalDateTimeText(lastSuccess, QStringLiteral("dd.MM.yyyy"))),
                     qPrintable(line));
        };
        checkStale();

        // The running program answers the same.
        RunningProgram program;
        QVERIFY(program.Answers());
        checkStale();
        checkRuns(
            JsonOf(Command({QStringLiteral("--history"), QStringLiteral("копия"), QStringLiteral("--json")})),
            true);
        QCOMPARE(program.Stop(), 0);
    }

    void listAndRunAskTheRunningProgram() {
        const TimePoint start = CurrentTime() + std::chrono::hours(24);
        Save({Task(L"команда", start), Task(L"дубль", start), Task(L"дубль", start)});
        RunningProgram program;
        QVERIFY(program.Answers());
        const auto list = [] {
            return JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}));
        };

        const Outcome run = Command({QStringLiteral("--run"), QStringLiteral("команда")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringLiteral("Задача «команда» запущена.\n"));
        // The engine's own status: the run is seen as the window sees it.
        const auto first = [&list] {
            return list().value(QStringLiteral("tasks")).toArray().at(0).toObject();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!first().value(QStringLiteral("last_run")).isNull(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(first().value(QStringLiteral("result")).toString(),
                                  QStringLiteral("succeeded"), 30000);
        QCOMPARE(first().value(QStringLiteral("result_text")).toString(), QStringLiteral("Успешно"));
        QCOMPARE(first().value(QStringLiteral("last_success")), first().value(QStringLiteral("last_end")));
        QCOMPARE(first().value(QStringLiteral("next_run")).toString(), ReportTime(start));

        const QJsonObject runJson =
            JsonOf(Command({QStringLiteral("--run"), QStringLiteral("команда"), QStringLiteral("--json")}));
        QCOMPARE(runJson.value(QStringLiteral("started")), QJsonValue(true));
        const Outcome unknown = Command({QStringLiteral("--run"), QStringLiteral("нет такой")});
        QCOMPARE(unknown.code, 1);
        QVERIFY2(unknown.err.contains(QStringLiteral("нет задачи «нет такой»")), qPrintable(unknown.err));
        const Outcome twice = Command({QStringLiteral("--run"), QStringLiteral("дубль")});
        QCOMPARE(twice.code, 1);
        QVERIFY2(twice.err.contains(QStringLiteral("несколько (2)")), qPrintable(twice.err));
        const Outcome jsonError =
            Command({QStringLiteral("--run"), QStringLiteral("нет"), QStringLiteral("--json")});
        QCOMPARE(jsonError.code, 1);
        QCOMPARE(jsonError.err, QStringLiteral("{\"error\":\"нет задачи «нет»\"}\n"));

        // A run by place runs that task, not its namesake.
        const Outcome third = Command({QStringLiteral("--run"), QStringLiteral("@3")});
        QCOMPARE(third.out, QStringLiteral("Задача «дубль» запущена.\n"));
        const auto lastRun = [&list](int place) {
            return list()
                .value(QStringLiteral("tasks"))
                .toArray()
                .at(place - 1)
                .toObject()
                .value(QStringLiteral("last_run"));
        };
        QTRY_VERIFY_WITH_TIMEOUT(!lastRun(3).isNull(), 30000);
        QVERIFY(lastRun(2).isNull());

        QCOMPARE(program.Stop(), 0);
    }

    void tasksAreAddressedByTheirPlace() {
        const TimePoint start =
            std::chrono::floor<std::chrono::seconds>(CurrentTime()) - std::chrono::hours(3);
        Save({Task(L"команда", start), Task(L"дубль", start), Task(L"дубль", start)});
        {
            RunJournal journal(JournalPath());
            std::vector<JournalTaskId> ids;
            for (const wchar_t* name : {L"команда", L"дубль", L"дубль"}) {
                ids.push_back(journal.AddTask(name, start));
            }
            journal.SetOrder(ids);
            for (const auto& [place, result] : {std::pair(1, RunResult{RunOutcome::Succeeded, {}, 1}),
                                                std::pair(2, RunResult{RunOutcome::Failed, L"третья"})}) {
                journal.RecordEnd(
                    journal.RecordStart({0, ids[place], RunStart::RunNow, {}, start, {}, {}, 0}),
                    start + std::chrono::seconds(1), result);
            }
        }
        // Each for a fault: a place off by one, a namesake taken for the task at the place, a place out of
        // range or malformed read as a name (or the other way round), a name shared without the places.
        struct Case {
            const char* argument;
            const char* task;   // the history's task; none: it fails
            const char* result; // of its newest run, or the error's words
        };
        const Case cases[] = {
            {"@2", "дубль", "succeeded"},
            {"@3", "дубль", "failed"},
            {"@003", "дубль", "failed"},
            {"@4", nullptr, "нет задачи @4: задач в списке 3"},
            {"@0", nullptr, "нет задачи @0:"},
            {"@18446744073709551617", nullptr, "нет задачи @18446744073709551617:"},
            {"@", nullptr, "нет задачи «@»"},
            {"@2x", nullptr, "нет задачи «@2x»"},
            {"дубль", nullptr, "несколько (2): укажите нужную по её номеру в --list (@2, @3)"},
        };
        const auto check = [&cases](bool running) {
            for (const Case& c : cases) {
                const QString tag =
                    QStringLiteral("%1 running=%2").arg(QString::fromUtf8(c.argument)).arg(running);
                const Outcome history = Command(
                    {QStringLiteral("--history"), QString::fromUtf8(c.argument), QStringLiteral("--json")});
                QCOMPARE(history.code, c.task ? 0 : 1);
                if (!c.task) {
                    const QString error = QJsonDocument::fromJson(history.err.toUtf8())
                                              .object()
                                              .value(QStringLiteral("error"))
                                              .toString();
                    QVERIFY2(error.contains(QString::fromUtf8(c.result)),
                             qPrintable(tag + u' ' + history.err));
                    continue;
                }
                const QJsonObject json = JsonOf(history);
                QCOMPARE(json.value(QStringLiteral("task")).toString(), QString::fromUtf8(c.task));
                const QJsonArray runs = json.value(QStringLiteral("runs")).toArray();
                QVERIFY2(!runs.isEmpty() &&
                             runs.last().toObject().value(QStringLiteral("result")).toString() ==
                                 QString::fromUtf8(c.result),
                         qPrintable(tag));
            }
        };
        check(false);
        RunningProgram program;
        QVERIFY(program.Answers());
        check(true);
        QCOMPARE(program.Stop(), 0);
    }

    void terminalTextEscapesWhatChangesALine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* tag, const QString& text, const QString& shown) {
            QTest::newRow(tag) << text << shown;
        };
        row("plain, a backslash kept", QStringLiteral("Копия C:\\n 😀"), QStringLiteral("Копия C:\\n 😀"));
        row("line breaks and tab", QStringLiteral("a\nb\r\tc"), QStringLiteral("a\\nb\\r\\tc"));
        row("C0 ends before the space", QStringLiteral("\x1b[31m\x1f "),
            QStringLiteral("\\u001B[31m\\u001F "));
        row("NUL", QString(QChar(0)) + u'x', QStringLiteral("\\u0000x"));
        row("DEL and C1, not what follows", QStringLiteral("\u007F\u0085\u009F\u00A0"),
            QStringLiteral("\\u007F\\u0085\\u009F\u00A0"));
        row("embeddings and overrides, not their neighbours", QStringLiteral("\u2029\u202A\u202E\u202F"),
            QStringLiteral("\u2029\\u202A\\u202E\u202F"));
        row("isolates, not their neighbours", QStringLiteral("\u2065\u2066\u2069\u206A"),
            QStringLiteral("\u2065\\u2066\\u2069\u206A"));
        row("marks", QStringLiteral("\u200E\u200F\u061C"), QStringLiteral("\\u200E\\u200F\\u061C"));
    }

    void terminalTextEscapesWhatChangesALine() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(TerminalText(text), shown);
        QCOMPARE(TerminalText(shown), shown);
    }

    void namesAreEscapedInEveryCommand() {
        const QString name = QStringLiteral("две\nстроки \u202Eпрочитано наоборот");
        const QString shown = QStringLiteral("две\\nстроки \\u202Eпрочитано наоборот");
        const QString unknown = QStringLiteral("нет\tтакой");
        Save({Task(name.toStdWString(), CurrentTime() + std::chrono::hours(24))});
        // Each message is one line with the escaped name, and nothing of the name is raw.
        const auto says = [](const QString& text, const QString& expected) {
            return text.contains(expected) && text.count(u'\n') == 1 && !text.contains(QChar(0x202E)) &&
                   !text.contains(u'\t');
        };
        const auto checkCommands = [&](bool running) {
            const Outcome table = Command({QStringLiteral("--list")});
            QCOMPARE(table.code, 0);
            const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 2);
            QVERIFY2(lines[1].startsWith(QStringLiteral("1  ") + shown + QStringLiteral("  ")),
                     qPrintable(lines[1]));
            QVERIFY(!table.out.contains(QChar(0x202E)));
            const QJsonObject json = JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}));
            QCOMPARE(json.value(QStringLiteral("program_running")).toBool(), running);
            QCOMPARE(
                json.value(QStringLiteral("tasks")).toArray().at(0).toObject().value(QStringLiteral("name")),
                QJsonValue(name));
            const Outcome history = Command({QStringLiteral("--history"), unknown});
            QCOMPARE(history.code, 1);
            QVERIFY2(says(history.err, QStringLiteral("нет задачи «нет\\tтакой»")), qPrintable(history.err));
            const Outcome run = Command({QStringLiteral("--run"), name});
            if (running) {
                QCOMPARE(run.code, 0);
                QCOMPARE(run.out, QStringLiteral("Задача «%1» запущена.\n").arg(shown));
            } else {
                QCOMPARE(run.code, 1);
                QVERIFY2(says(run.err, QStringLiteral("задачу «%1»").arg(shown)), qPrintable(run.err));
            }
        };
        checkCommands(false);
        const Outcome stray = Command({name});
        QCOMPARE(stray.code, 2);
        QVERIFY2(stray.err.contains(QStringLiteral("лишний аргумент «%1»").arg(shown)),
                 qPrintable(stray.err));

        RunningProgram program;
        QVERIFY(program.Answers());
        checkCommands(true);
        QCOMPARE(program.Stop(), 0);
    }

    // The same steps on the storage file alone and through the running program: each for a fault (the
    // namesake paused instead of the task at the place, a second pause reported as a change or written
    // again, a refusal that changes something anyway, JSON that names the argument instead of the task).
    void pauseAndResumeChangeTheTask() {
        struct Case {
            QStringList arguments;
            int code;
            QString said; // the output (JSON compared as an object), or words of the error
            std::vector<bool> paused;
        };
        const std::vector<Case> cases = {
            {{"--pause", "команда"}, 0, "Задача «команда» приостановлена.\n", {true, false, false}},
            {{"--pause", "команда"}, 0, "Задача «команда» уже приостановлена.\n", {true, false, false}},
            {{"--pause=@3", "--json"},
             0,
             R"({"task": "дубль", "paused": true, "changed": true})",
             {true, false, true}},
            {{"--pause", "дубль"},
             1,
             "несколько (2): укажите нужную по её номеру в --list (@2, @3)",
             {true, false, true}},
            {{"--resume", "@4"}, 1, "нет задачи @4: задач в списке 3", {true, false, true}},
            {{"--resume", "нет", "--json"}, 1, "нет задачи «нет»", {true, false, true}},
            {{"--resume", "@1"}, 0, "Задача «команда» возобновлена.\n", {false, false, true}},
            {{"--resume", "@2", "--json"},
             0,
             R"({"task": "дубль", "paused": false, "changed": false})",
             {false, false, true}},
        };
        const auto check = [&cases](bool running) {
            for (const Case& c : cases) {
                const QString tag = c.arguments.join(u' ') + QStringLiteral(" running=%1").arg(running);
                const std::vector<bool> before = PausedInFile();
                const ino_t file = StorageInode();
                const Outcome outcome = Command(c.arguments);
                QVERIFY2(outcome.code == c.code, qPrintable(tag + u' ' + outcome.err));
                if (c.code != 0) {
                    QVERIFY2(ErrorOf(outcome).contains(c.said), qPrintable(tag + u' ' + outcome.err));
                    QVERIFY(outcome.out.isEmpty());
                } else if (c.arguments.contains(QStringLiteral("--json"))) {
                    QCOMPARE(JsonOf(outcome), QJsonDocument::fromJson(c.said.toUtf8()).object());
                } else {
                    QCOMPARE(outcome.out, c.said);
                }
                QCOMPARE(PausedInList(), c.paused);
                if (!running) {
                    // No timed runs for it: the file says so before any engine does.
                    const QJsonArray tasks =
                        JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}))
                            .value(QStringLiteral("tasks"))
                            .toArray();
                    for (std::size_t i = 0; i < c.paused.size(); ++i) {
                        QCOMPARE(tasks.at(static_cast<int>(i))
                                     .toObject()
                                     .value(QStringLiteral("next_run"))
                                     .isNull(),
                                 c.paused[i]);
                    }
                }
                // The running program saves on a thread of its own, a moment later.
                QTRY_COMPARE_WITH_TIMEOUT(PausedInFile(), c.paused, 10000);
                if (!running) {
                    QVERIFY2((StorageInode() != file) == (before != c.paused), qPrintable(tag));
                }
                const QStringList lines =
                    Command({QStringLiteral("--list")}).out.split(u'\n', Qt::SkipEmptyParts);
                for (std::size_t i = 0; i < c.paused.size(); ++i) {
                    QCOMPARE(lines.at(static_cast<int>(i) + 1).contains(QStringLiteral("  Приостановлена")),
                             c.paused[i]);
                }
            }
        };
        const TimePoint start = CurrentTime() + std::chrono::hours(24);
        Save({Task(L"команда", start), Task(L"дубль", start), Task(L"дубль", start)});
        check(false);
        Save({Task(L"команда", start), Task(L"дубль", start), Task(L"дубль", start)});
        RunningProgram program;
        QVERIFY(program.Answers());
        check(true);
        QCOMPARE(program.Stop(), 0);
        QCOMPARE(PausedInFile(), cases.back().paused);
    }

    // Written back, a file read only in part would lose what could not be read: it is left as it is, with
    // no copy beside it (the program keeps that at its start).
    void pauseLeavesADamagedStorageFileAlone_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("said");
        const QByteArray task =
            "<task><name>команда</name><description/><starting_point>100</starting_point>"
            "<trigger><type>daily</type><repeat_interval>1</repeat_interval></trigger>"
            "<action><type>command</type><executable>/bin/true</executable></action></task>";
        const QByteArray noTrigger =
            "<task><name>другая</name><description/><starting_point>100</starting_point>"
            "<action><type>command</type><executable>/bin/true</executable></action>"
            "</task>";
        QTest::newRow("a task left out") << "<config><tasks>" + task + noTrigger + "</tasks></config>"
                                         << "есть задачи, которые не удалось прочитать (1): файл не изменён";
        QTest::newRow("cut off") << "<config><tasks>" + task << "не удалось прочитать файл задач";
        QTest::newRow("not UTF-8") << "<config><tasks>" + task + "<!-- \xff --></tasks></config>"
                                   << "не удалось прочитать файл задач";
        QTest::newRow("no task list")
            << QByteArray("<config><jobs/></config>") << "не удалось прочитать файл задач";
    }

    void pauseLeavesADamagedStorageFileAlone() {
        QFETCH(QByteArray, content);
        QFETCH(QString, said);
        QVERIFY(QDir().mkpath(QFileInfo(StoragePath()).path()));
        QFile file(StoragePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        for (const char* command : {"--pause", "--resume"}) {
            const Outcome outcome = Command({QString::fromLatin1(command), QStringLiteral("команда")});
            QCOMPARE(outcome.code, 1);
            QVERIFY2(outcome.err.contains(said), qPrintable(outcome.err));
            QCOMPARE(StorageBytes(), content);
        }
        const QStringList files = QDir(QFileInfo(StoragePath()).path()).entryList(QDir::Files);
        QVERIFY2(files.filter(QStringLiteral("damaged")).isEmpty(), qPrintable(files.join(u' ')));
    }

    // An engine that holds the tasks may write its list over the file at any moment: the command asks it
    // again until it answers, and does not write behind its back when it never does.
    void pauseLeavesTheFileToTheEngineThatHoldsIt() {
        Save({Task(L"команда", CurrentTime() + std::chrono::hours(24))});
        const QByteArray before = StorageBytes();
        {
            platform::OwnershipLock engine(QFileInfo(StoragePath()).path() + QStringLiteral("/engine.lock"),
                                           platform::OwnershipLock::Role::Engine);
            QVERIFY(engine.TryTake());
            const Outcome held = Command({QStringLiteral("--pause"), QStringLiteral("команда")});
            QCOMPARE(held.code, 1);
            QVERIFY2(held.err.contains(QStringLiteral("файл задач занят запущенным планировщиком")),
                     qPrintable(held.err));
            QCOMPARE(StorageBytes(), before);
        }
        QCOMPARE(Command({QStringLiteral("--pause"), QStringLiteral("команда")}).code, 0);
        QCOMPARE(PausedInFile(), std::vector<bool>{true});
    }

    // A background engine handing its tasks over to a window's program refuses the change (the window
    // loads the file anew); once the window has them, the pause goes through, whichever side makes it.
    void pauseWaitsForAHandOver() {
        MarkedTasks tasks;
        // Due a few seconds on: a slot that passes before a slow (sanitized, busy) engine has armed it is
        // not its to run.
        tasks.Save({{L"long", std::chrono::milliseconds(5000)}}, 10);
        Side background(true);
        QVERIFY(
            QTest::qWaitFor([&tasks] { return tasks.Marked().count(QStringLiteral("long")) == 1; }, 40000));
        Side window(false); // while the long run goes
        // Resuming a task that is not paused changes nothing wherever it is made: a safe probe.
        QTRY_VERIFY_WITH_TIMEOUT(Command({QStringLiteral("--resume"), QStringLiteral("long")})
                                     .err.contains(QStringLiteral("задачи передаются окну планировщика")),
                                 8000);
        QCOMPARE(PausedInFile(), std::vector<bool>{false});
        QTRY_COMPARE_WITH_TIMEOUT(Command({QStringLiteral("--pause"), QStringLiteral("long")}).code, 0,
                                  30000);
        // The window's program has the tasks, and the pause, whether it made it or read it from the file.
        QTRY_VERIFY_WITH_TIMEOUT(JsonOf(Command({QStringLiteral("--list"), QStringLiteral("--json")}))
                                     .value(QStringLiteral("program_running"))
                                     .toBool(),
                                 10000);
        QCOMPARE(PausedInList(), std::vector<bool>{true});
        // Said once its run has ended and the window has the tasks; a slow machine says it a little later.
        QTRY_VERIFY2_WITH_TIMEOUT(background.Errors().contains(QStringLiteral("handed over")),
                                  qPrintable(background.Errors()), 20000);
    }

    // Each for a fault: a pause that leaves the next run in the table or a staleness alarm, a waiting
    // reason lost, shown raw with its line break, or shown over a queued run's word.
    void reportShowsPauseAndWaiting() {
        const TimePoint next = CurrentTime() + std::chrono::hours(24);
        const QString nextShown = LocalDateTimeText(next, QStringLiteral("dd.MM.yyyy hh:mm"));
        const auto status = [](const wchar_t* waiting, bool queued = false) {
            TaskStatus status;
            status.outcome = RunOutcome::Succeeded;
            status.last_start = CurrentTime() - std::chrono::hours(48);
            status.stale_since = CurrentTime() - std::chrono::hours(24 * 10);
            status.waiting = waiting;
            status.queued = queued;
            return status;
        };
        const struct {
            bool paused;
            TaskStatus status;
            QJsonValue waiting;
            QStringList cells; // the next run's and the result's in the table
        } cases[] = {
            {true, status(L""), QJsonValue::Null, {"Приостановлена", "Успешно"}},
            {false, status(L"нет сети"), "нет сети", {nextShown, "Ожидает: нет сети, устарела"}},
            {false, status(L"нет сети", true), "нет сети", {nextShown, "В очереди, устарела"}},
            {false, status(L"папка «a\nb»"), "папка «a\nb»", {nextShown, "Ожидает: папка «a\\nb», устарела"}},
        };
        for (const auto& c : cases) {
            TaskInfo task = Task(L"задача", next);
            task.options.paused = c.paused;
            const QJsonObject json = TaskReportJson(task, next, c.status);
            QCOMPARE(json.value(QStringLiteral("paused")).toBool(), c.paused);
            QCOMPARE(json.value(QStringLiteral("waiting")), c.waiting);
            QCOMPARE(json.value(QStringLiteral("stale")).isNull(), c.paused);
            const QString line = TaskListTable(QJsonArray{json}).split(u'\n').at(1);
            const QStringList cells = line.split(QRegularExpression(QStringLiteral("  +")));
            QCOMPARE(cells.at(3), c.cells.at(0));
            QVERIFY2(cells.at(5).startsWith(c.cells.at(1)), qPrintable(line));
        }
    }

    // Retries and skipped slots in the history table; a skipped slot's reason is the engine's text less
    // the result's word it begins with.
    void historyTableShowsRetriesAndSkippedSlots() {
        const auto run = [](const char* how, const char* result, const QJsonValue& error) {
            return QJsonObject{{QStringLiteral("start"), QStringLiteral("2026-12-08T14:30:05+01:00")},
                               {QStringLiteral("end"), QStringLiteral("2026-12-08T14:30:07+01:00")},
                               {QStringLiteral("slot"), QStringLiteral("2026-12-08T14:30:00+01:00")},
                               {QStringLiteral("how"), QString::fromLatin1(how)},
                               {QStringLiteral("result_text"), QString::fromUtf8(result)},
                               {QStringLiteral("first_error"), error}};
        };
        const QString skipped = QStringLiteral("запуск в 08.12.2026 14:30:00 не дождался условий");
        const std::vector<std::pair<QJsonObject, QStringList>> cases = {
            {run("retry", "Ошибка", "нет доступа"), {"повторная попытка", "Ошибка", "нет доступа"}},
            {run("skipped", "Пропущен", "Пропущен: нет сети"),
             {"пропущен", "Пропущен", skipped + ": нет сети"}},
            {run("skipped", "Пропущен", QJsonValue::Undefined), {"пропущен", "Пропущен", skipped}},
        };
        QJsonArray runs;
        for (const auto& c : cases) {
            runs.append(c.first);
        }
        const QStringList lines = HistoryTable(runs).split(u'\n', Qt::SkipEmptyParts);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            // Columns stand two spaces apart at least; the times come first.
            QCOMPARE(
                lines.at(static_cast<int>(i) + 1).split(QRegularExpression(QStringLiteral("  +"))).mid(2),
                cases[i].second);
        }
    }
};

QObject* MakeTerminalCommandTest() {
    return new TerminalCommandTest;
}

#include "TerminalCommandTest.moc"
