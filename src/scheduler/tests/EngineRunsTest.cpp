// What runs leave behind through the engine: outcome lines after the designed ones, the status the
// window reads, the tool's time limit, the end of runs when the engine closes, and runs missed while it
// was not running.
#include "EngineFixture.h"

#include "ConnectionsFile.h"
#include "FolderTree.h"
#include "execution/LogLine.h"
#include "model/StorageFile.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>

#include <boost/uuid/uuid_io.hpp>

#include <cstdlib>
#include <future>

using namespace std::chrono_literals;

namespace {

constexpr Ticks kDay{kTicksPerDay};
constexpr Ticks kHour{kTicksPerSecond * 3600};
const QString kStart = QStringLiteral("Начало выполнения задания.");
const QString kFailed = QStringLiteral("Задание не выполнено:");
const QString kFinish = QStringLiteral("Завершение выполнения задания.");

// Undoes a change to the program's settings or to the environment the stand-in tool reads.
class Scoped {
public:
    explicit Scoped(std::function<void()> undo) : m_undo(std::move(undo)) {}
    ~Scoped() { m_undo(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

private:
    std::function<void()> m_undo;
};

Scoped RunSetting(const QString& key, const QVariant& value) {
    const auto store = [] { return std::make_unique<QSettings>("Zelkor-Vostal", "ZelkorScheduler"); };
    store()->setValue(key, value);
    return Scoped([=] { store()->remove(key); });
}

Scoped ToolEnv(const char* name, const QString& value) {
    setenv(name, value.toUtf8().constData(), 1);
    return Scoped([=] { unsetenv(name); });
}

class EngineRunsTest : public EngineTest {
protected:
    // An engine with the real actions and the tool's stand-in.
    std::unique_ptr<TaskStorage> MakeRealEngine() {
        WriteConnectionsFile(m_files.Path("connections.xml"), {{TestId(1), "Проекты", m_repo.Path(), ""}});
        TaskStorage::Settings settings{StoragePath(), LogFolder(), {}};
        settings.connectionsFile = QString::fromStdString(m_files.Path("connections.xml"));
        settings.cliPath = [] { return QStringLiteral(ZELKOR_FAKECLI_DIR "/ZelkorCLI.exe").toStdWString(); };
        return std::make_unique<TaskStorage>(settings);
    }

    // An export of the changed documents of the repository's "Объект" into "out", due soon.
    TaskInfo ExportTask(const std::wstring& name) const {
        TaskInfo task = Task(name, In(100ms));
        ExportAction action;
        action.connection_id = TestId(1);
        action.project_path = L"arkon://Проекты/Объект";
        action.output_path = m_files.WidePath("out");
        task.action = action;
        return task;
    }

    // Whether the log has `count` lines, the finish line `after` lines before the end.
    bool Finished(const std::wstring& name, int count, int after = 0) const {
        const QStringList lines = Messages(name);
        return lines.size() == count && lines[count - 1 - after].startsWith(kFinish);
    }

    void WriteLog(const std::wstring& name, const std::vector<std::pair<TimePoint, QString>>& lines) {
        QDir().mkpath(LogFolder());
        QFile file(TaskLog::PathFor(LogFolder(), name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (const auto& [time, message] : lines) {
            file.write(FormatLogLine(time, message).toUtf8());
        }
    }

    FolderTree m_repo;
    FolderTree m_files;
};

} // namespace

TEST_F(EngineRunsTest, BackupAndCommandOutcomesFollowTheDesignedLinesAndSetTheStatus) {
    m_repo.Write("Архив/документ.txt", "содержимое");
    auto engine = MakeRealEngine();
    struct Case {
        std::wstring name;
        Action action;
        QString line;
        int lineAt; // after the finish line for a copy, which runs beside the worker
        RunOutcome outcome;
    } cases[] = {
        {L"копия", BackupAction{TestId(1), L"arkon://Проекты/Архив", m_files.WidePath("копия")},
         QStringLiteral("Резервное копирование завершено: скопировано документов: 1 (0.0 МБ)."), 2,
         RunOutcome::Succeeded},
        {L"неизвестное подключение",
         BackupAction{TestId(9), L"arkon://Проекты/Архив", m_files.WidePath("нет")},
         QStringLiteral("Резервное копирование не выполнено: подключение с идентификатором %1 не найдено.")
             .arg(QString::fromStdString(boost::uuids::to_string(TestId(9)))),
         2, RunOutcome::Failed},
        {L"команда", CommandAction{L"/bin/true", m_files.WidePath("нет папки"), L""},
         QStringLiteral("Не удалось запустить программу: нет доступа к папке %1: No such file or directory")
             .arg(QString::fromStdString(m_files.Path("нет папки"))),
         1, RunOutcome::Failed},
    };
    const TimePoint start = In(200ms);
    std::vector<const TaskInfo*> records;
    for (const Case& c : cases) {
        TaskInfo task = Task(c.name, start);
        task.action = c.action;
        records.push_back(engine->AddTask(task));
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const TaskInfo* record = records[i];
        SCOPED_TRACE(c.line.toStdString());
        ASSERT_TRUE(WaitUntil([&] { return Finished(c.name, 3, c.lineAt == 2 ? 1 : 0); }));
        EXPECT_EQ(Messages(c.name).value(0), kStart);
        EXPECT_EQ(Messages(c.name).value(c.lineAt), c.line);
        ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).outcome == c.outcome; }));
        const TaskStatus status = engine->Status(record);
        EXPECT_EQ(status.first_error, c.outcome == RunOutcome::Failed ? c.line.toStdWString() : L"");
        ASSERT_TRUE(status.last_start && status.last_end);
        EXPECT_LE(*status.last_start, *status.last_end);
        EXPECT_EQ(status.next_run, start + kDay);
    }
    EXPECT_EQ(m_files.Read("копия/документ.txt"), "содержимое");
}

TEST_F(EngineRunsTest, FailedCommandsLastErrorLinesFollowItsEndLineAndGiveItsReason) {
    m_files.Write("fails.sh", "echo ход работы >&2\necho вывод\necho 'нет лицензии' >&2\nexit 3\n");
    auto engine = MakeRealEngine();
    TaskInfo task = Task(L"команда", In(100ms));
    task.action = CommandAction{L"/bin/sh", L"", m_files.WidePath("fails.sh")};
    const TaskInfo* record = engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return Messages(L"команда").size() == 5; }))
        << LogText(L"команда").toStdString();
    EXPECT_EQ(Messages(L"команда").mid(2),
              (QStringList{QStringLiteral("Программа завершилась с кодом 3."), QStringLiteral("ход работы"),
                           QStringLiteral("нет лицензии")}));
    ASSERT_TRUE(WaitUntil([&] { return engine->Status(record).outcome == RunOutcome::Failed; }));
    EXPECT_EQ(engine->Status(record).first_error, L"Программа завершилась с кодом 3. нет лицензии");
}

TEST_F(EngineRunsTest, HangingToolHoldsUpOnlyTheToolsOwnQueueAndIsEndedAtTheLimit) {
    const Scoped limit = RunSetting(QStringLiteral("Runs/toolTimeLimitSeconds"), 1);
    const Scoped hang = ToolEnv("ZELKOR_FAKECLI_SLEEP_MS", QStringLiteral("600000"));
    auto engine = MakeRealEngine();
    TaskInfo check = Task(L"зависает", In(100ms));
    const QString rules = m_dir.filePath(QStringLiteral("rules.ids"));
    const QString model = m_dir.filePath(QStringLiteral("model.ifc"));
    for (const QString& file : {rules, model}) {
        QFile made(file);
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    check.action = CheckAction{rules.toStdWString(), model.toStdWString(), false, false, false, {}};
    const TaskInfo* hanging = engine->AddTask(check);
    check.name = L"ждёт";
    check.starting_point = In(300ms);
    engine->AddTask(check);
    engine->AddTask(Task(L"следующая", In(300ms))); // runs /bin/true
    ASSERT_TRUE(WaitUntil([&] { return Finished(L"следующая", 3, 1); }, 30s));
    // On time, while the tool still hangs; the other check waits for the tool without a line yet.
    EXPECT_EQ(Messages(L"зависает"), QStringList{kStart});
    EXPECT_TRUE(Messages(L"ждёт").isEmpty());

    const QString limitLine = QStringLiteral("Превышено время выполнения (1 с), программа остановлена.");
    const QString documentLine = QStringLiteral("Документ, на котором остановлена программа: %1").arg(model);
    for (const std::wstring name : {L"зависает", L"ждёт"}) {
        ASSERT_TRUE(WaitUntil([&] { return Finished(name, 5); }, 30s));
        EXPECT_EQ(Messages(name).mid(0, 4), (QStringList{kStart, kFailed, limitLine, documentLine}));
    }
    EXPECT_EQ(engine->Status(hanging).outcome, RunOutcome::LimitExceeded);
    // What the list and the notice show: the limit and the document.
    EXPECT_EQ(engine->Status(hanging).first_error,
              (limitLine + QLatin1Char(' ') + documentLine).toStdWString());
}

TEST_F(EngineRunsTest, TaskTimeLimitEndsTheToolNamingItsDocumentAndTakesNoFurtherOne) {
    m_repo.Write("Объект/План.dwg", "a");
    m_repo.Write("Объект/Фасад.dwg", "b");
    const QString calls = QString::fromStdString(m_files.Path("calls"));
    const Scoped argumentsFile = ToolEnv("ZELKOR_FAKECLI_ARGS_FILE", calls);
    const Scoped hang = ToolEnv("ZELKOR_FAKECLI_SLEEP_MS", QStringLiteral("600000"));
    const Scoped runLimit = RunSetting(QStringLiteral("Runs/toolTimeLimitSeconds"), 0);
    // Long enough for the tool to have started and said its arguments on a busy machine.
    const Scoped taskLimit = RunSetting(QStringLiteral("Runs/taskTimeLimitSeconds"), 3);
    auto engine = MakeRealEngine();
    const TaskInfo* record = engine->AddTask(ExportTask(L"экспорт"));
    ASSERT_TRUE(WaitUntil([&] { return Finished(L"экспорт", 4); }, 30s)) << LogText(L"экспорт").toStdString();

    QFile file(calls);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> arguments = file.readAll().split('\0');
    EXPECT_EQ(arguments.count("--project-path"), 1); // the second document was not begun
    const QString document = QString::fromUtf8(arguments.value(arguments.indexOf("--project-path") + 1));
    EXPECT_EQ(
        Messages(L"экспорт").mid(0, 3),
        (QStringList{kStart, kFailed,
                     QStringLiteral("Превышено время выполнения задания (3 с), программа остановлена на "
                                    "документе %1.")
                         .arg(document)}));
    EXPECT_EQ(engine->Status(record).outcome, RunOutcome::LimitExceeded);
    engine.reset();
    // Neither document counts as exported: the next run takes both.
    EXPECT_TRUE(
        std::get<ExportAction>(LoadStorageFile(StoragePath()).at(0).action).modification_times.empty());
}

// A run writes its lines faster than the worker, which alone writes the log, takes them: the run waits
// for room, yet every line reaches the log in order, and closing the engine while the worker is held
// up and the run waits still ends the run.
TEST_F(EngineRunsTest, LinesWrittenFasterThanTheWorkerTakesThemAllReachTheLogAndClosingEndsTheRun) {
    std::atomic<bool> holdWorker = false;
    std::atomic<int> lines = 50'000; // 10 MB of text: more than may wait for the worker
    std::atomic<int> written = 0;
    const QString filler(100, QLatin1Char('x'));
    TaskStorage engine(
        TaskStorage::Settings{StoragePath(), LogFolder(),
                              [&](const TaskInfo*, TaskInfo& task, TaskLog* log, RunResult&, const auto&) {
                                  if (std::holds_alternative<CommandAction>(task.action)) {
                                      WaitUntil([&] { return !holdWorker.load(); }, 2min);
                                      return;
                                  }
                                  for (int i = 0; i < lines; ++i) {
                                      WriteLogLine(log, task.name, QString::number(i) + filler, false);
                                      ++written;
                                  }
                              }});
    TaskInfo check = Task(L"проверка", In(24h));
    check.action = CheckAction{};
    TaskInfo* checkRecord = engine.AddTask(check);
    TaskInfo* commandRecord = engine.AddTask(Task(L"команда", In(24h)));
    const auto expectLinesInOrder = [&](int count) {
        const QStringList messages = Messages(L"проверка");
        ASSERT_EQ(messages.size(), count + 1);
        EXPECT_EQ(messages[0], QStringLiteral("Запуск вручную."));
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(messages[i + 1], QString::number(i) + filler) << i;
        }
    };

    engine.RunNow(checkRecord);
    ASSERT_TRUE(WaitUntil([&] { return Messages(L"проверка").size() == lines + 1; }, 2min));
    expectLinesInOrder(lines);
    ASSERT_TRUE(QFile::remove(LogFolder() + QStringLiteral("/проверка.log")));

    // Another run holds the worker up, and then the worker has stopped: nothing takes the lines, and
    // the run waits for room until closing lets it go on.
    lines = 100'000;
    written = 0;
    holdWorker = true;
    engine.RunNow(checkRecord);
    ASSERT_TRUE(WaitUntil([&] { return written > 0; }));
    engine.RunNow(commandRecord);
    ASSERT_TRUE(WaitUntil([&] { return engine.Status(commandRecord).outcome == RunOutcome::Running; }));
    auto closed = std::async(std::launch::async, [&engine] { engine.Close(); });
    holdWorker = false;
    ASSERT_EQ(closed.wait_for(2min), std::future_status::ready);
    expectLinesInOrder(lines);
}

TEST_F(EngineRunsTest, ClosingEndsTheRunningToolAndTakesNoFurtherDocument) {
    m_repo.Write("Объект/План.dwg", "a");
    m_repo.Write("Объект/Фасад.dwg", "b");
    const QString calls = QString::fromStdString(m_files.Path("calls"));
    const Scoped record = ToolEnv("ZELKOR_FAKECLI_ARGS_FILE", calls);
    const Scoped hang = ToolEnv("ZELKOR_FAKECLI_SLEEP_MS", QStringLiteral("600000"));
    const Scoped stubborn =
        ToolEnv("ZELKOR_FAKECLI_IGNORE_TERM", QStringLiteral("1")); // only SIGKILL ends it
    auto engine = MakeRealEngine();
    engine->AddTask(ExportTask(L"экспорт"));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(calls); })); // the tool runs for the first document

    engine->Close(); // would wait ten minutes for the tool

    QFile file(calls);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("--project-path"), 1); // the second document was not begun
    ASSERT_TRUE(Finished(L"экспорт", 4)) << LogText(L"экспорт").toStdString();
    EXPECT_EQ(Messages(L"экспорт").mid(0, 3),
              (QStringList{kStart, kFailed,
                           QStringLiteral("Выполнение задания прервано: программа закрывается.")}));
    // The document the tool did not finish is taken again by the next run.
    EXPECT_TRUE(
        std::get<ExportAction>(LoadStorageFile(StoragePath()).at(0).action).modification_times.empty());
}

TEST_F(EngineRunsTest, StatusChangesArePostedToTheListenersThread) {
    auto engine = MakeEngine();
    std::atomic<bool> release{false};
    m_runner.behaviour = [&](TaskInfo&, const std::function<void()>&) {
        WaitUntil([&] { return release.load(); });
    };
    TaskInfo* record = engine->AddTask(Task(L"задача", CurrentTime() + kDay));
    QObject receiver;
    std::vector<std::pair<const TaskInfo*, RunOutcome>> seen;
    bool elsewhere = false;
    engine->SetStatusListener(&receiver, [&, main = std::this_thread::get_id()](const TaskInfo* changed) {
        elsewhere |= std::this_thread::get_id() != main;
        seen.emplace_back(changed, changed ? engine->Status(changed).outcome : RunOutcome::None);
    });
    const auto saw = [&](const TaskInfo* changed, RunOutcome outcome) {
        return WaitUntil([&] {
            QCoreApplication::processEvents();
            return std::find(seen.begin(), seen.end(), std::make_pair(changed, outcome)) != seen.end();
        });
    };
    engine->RunNow(record);
    EXPECT_TRUE(saw(record, RunOutcome::Running));
    release = true;
    EXPECT_TRUE(saw(record, RunOutcome::Succeeded));
    m_clockSetting.Tell();
    EXPECT_TRUE(saw(nullptr, RunOutcome::None));
    EXPECT_FALSE(elsewhere);
    engine->SetStatusListener(nullptr, {});
}

TEST_F(EngineRunsTest, MissedRunsAreNotedAtStartUpAndCaughtUpInListOrderWhenAskedTo) {
    const TimePoint now = CurrentTime();
    const TimePoint start = now - 10 * kDay - kHour; // daily, an hour before now's time of day
    std::vector<TaskInfo> tasks = {Task(L"давно", start), Task(L"вовремя", now + kHour),
                                   Task(L"не запускалась", start)};
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(tasks)));
    // Made before the engine runs: the C library's local time functions share state that the worker's
    // own use of them would race with in ThreadSanitizer's eyes.
    const QString latest = QDateTime::fromMSecsSinceEpoch((now - kHour).time_since_epoch().count() / 10'000)
                               .toString(QStringLiteral("dd.MM.yyyy в hh:mm:ss"));
    const QDateTime added = QDateTime::currentDateTime().addSecs(-20 * 3600);

    for (const bool catchUp : {false, true}) {
        SCOPED_TRACE(catchUp);
        const Scoped setting = RunSetting(QStringLiteral("Runs/catchUpMissed"), catchUp);
        RemoveJournal(); // an installation from before the run journal: the logs tell the past
        WriteLog(L"давно", {{now - 3 * kDay - 12 * kHour, kStart}, {now - 3 * kDay - 12 * kHour, kFinish}});
        WriteLog(L"не запускалась", {});
        QFile log(TaskLog::PathFor(LogFolder(), L"не запускалась")); // empty since the task was added
        ASSERT_TRUE(log.open(QIODevice::Append) && log.setFileTime(added, QFileDevice::FileModificationTime));
        log.close();
        auto engine = MakeEngine();
        ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(engine->Tasks()[2].get()).has_value(); }));
        if (!catchUp) {
            // Since three and a half days ago: three days at this time of day less an hour, and today's.
            EXPECT_EQ(Messages(L"давно").value(2),
                      QStringLiteral("Пропущен запуск: %1 и ещё 3 (программа не работала).").arg(latest));
            EXPECT_EQ(
                Messages(L"не запускалась"),
                QStringList{QStringLiteral("Пропущен запуск: %1 (программа не работала).").arg(latest)});
            EXPECT_EQ(engine->Status(engine->Tasks()[0].get()).outcome, RunOutcome::Missed);
            std::this_thread::sleep_for(100ms);
            EXPECT_TRUE(m_runner.Runs().empty());
            continue;
        }
        ASSERT_TRUE(WaitUntil([&] { return m_runner.Runs().size() == 2; }));
        EXPECT_EQ(m_runner.Runs()[0].name, L"давно");
        EXPECT_EQ(m_runner.Runs()[1].name, L"не запускалась");
        ASSERT_TRUE(WaitUntil([&] { return Finished(L"не запускалась", 4); }));
        EXPECT_EQ(Messages(L"не запускалась").mid(1, 2),
                  (QStringList{kStart, QStringLiteral("Выполняется пропущенный запуск.")}));
    }
}
