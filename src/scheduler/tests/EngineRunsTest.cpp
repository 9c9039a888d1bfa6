// What runs leave behind through the engine: outcome lines after the designed ones, the status the
// window reads, the tool's time limit, the end of runs when the engine goes, and runs missed while it
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

using namespace std::chrono_literals;

namespace {

constexpr Ticks kDay{kTicksPerDay};
constexpr Ticks kHour{kTicksPerSecond * 3600};
const QString kStart = QStringLiteral("Начало выполнения задания.");
const QString kFailed = QStringLiteral("Задание не выполнено:");
const QString kFinish = QStringLiteral("Завершение выполнения задания.");

QSettings ProgramSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Zelkor-Vostal"),
                     QStringLiteral("ZelkorScheduler"));
}

// A key of the program's settings and an environment variable the stand-in tool reads, for one test.
class ScopedRunSetting {
public:
    ScopedRunSetting(const char* key, const QVariant& value) : m_key(QString::fromLatin1(key)) {
        ProgramSettings().setValue(m_key, value);
    }
    ~ScopedRunSetting() { ProgramSettings().remove(m_key); }
    ScopedRunSetting(const ScopedRunSetting&) = delete;
    ScopedRunSetting& operator=(const ScopedRunSetting&) = delete;

private:
    QString m_key;
};

class ScopedToolEnv {
public:
    ScopedToolEnv(const char* name, const char* value) : m_name(name) { setenv(name, value, 1); }
    ~ScopedToolEnv() { unsetenv(m_name); }
    ScopedToolEnv(const ScopedToolEnv&) = delete;
    ScopedToolEnv& operator=(const ScopedToolEnv&) = delete;

private:
    const char* m_name;
};

QString LocalText(TimePoint time) {
    return QDateTime::fromMSecsSinceEpoch(time.time_since_epoch().count() / kTicksPerMillisecond)
        .toString(QStringLiteral("dd.MM.yyyy в hh:mm:ss"));
}

class EngineRunsTest : public EngineTest {
protected:
    void SetUp() override {
        WriteConnectionsFile(m_files.Path("ConnectionsConfig.xml"),
                             {{TestId(1), "Проекты", m_repo.Path(), ""}});
    }

    // An engine with the real actions and the tool's stand-in.
    std::unique_ptr<TaskStorage> MakeRealEngine() {
        TaskStorage::Settings settings{StoragePath(), LogFolder(), {}};
        settings.connectionsFile = QString::fromStdString(m_files.Path("ConnectionsConfig.xml"));
        settings.cliPath = [] { return QStringLiteral(ZELKOR_FAKECLI_DIR "/ZelkorCLI.exe").toStdWString(); };
        return std::make_unique<TaskStorage>(settings);
    }

    // The messages of a task's log without their stamps.
    QStringList Messages(const std::wstring& name) const {
        QStringList lines = LogText(name).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& line : lines) {
            line.remove(QRegularExpression(QStringLiteral(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d )")));
        }
        return lines;
    }

    // Whether the log ends with its finish line and `after` lines after it.
    bool Finished(const std::wstring& name, int after = 0) const {
        const QStringList lines = Messages(name);
        return lines.size() > after && lines[lines.size() - 1 - after].startsWith(kFinish);
    }

    static TaskInfo Check(const std::wstring& name, TimePoint start) {
        TaskInfo task = Task(name, start);
        CheckAction check;
        check.ifc_file = L"/data/model.ifc";
        check.ids_file = L"/data/rules.ids";
        check.only_changed_documents = false;
        task.action = check;
        return task;
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
    const TimePoint start = In(200ms);
    TaskInfo copied = Task(L"копия", start);
    copied.action = BackupAction{TestId(1), L"arkon://Проекты/Архив", m_files.WidePath("копия")};
    TaskInfo unknown = Task(L"неизвестное подключение", start);
    unknown.action = BackupAction{TestId(9), L"arkon://Проекты/Архив", m_files.WidePath("нет")};
    TaskInfo command = Task(L"команда", start);
    command.action = CommandAction{L"/bin/true", m_files.WidePath("нет такой папки"), L""};
    const TaskInfo* records[] = {engine->AddTask(copied), engine->AddTask(unknown), engine->AddTask(command)};
    ASSERT_TRUE(WaitUntil([&] {
        return Finished(L"копия", 1) && Finished(L"неизвестное подключение", 1) && Finished(L"команда");
    }));

    const QString noConnection =
        QStringLiteral("Резервное копирование не выполнено: подключение с идентификатором %1 "
                       "не найдено.")
            .arg(QString::fromStdString(boost::uuids::to_string(TestId(9))));
    const QString notStarted =
        QStringLiteral("Не удалось запустить программу: нет доступа к папке %1: No such file "
                       "or directory")
            .arg(QString::fromStdString(m_files.Path("нет такой папки")));
    struct Expected {
        QString outcomeLine; // after the start line, before or after the finish line
        bool afterFinish;
        RunOutcome outcome;
    };
    const Expected expected[] = {
        {QStringLiteral("Резервное копирование завершено: скопировано документов: 1 (0.0 МБ)."), true,
         RunOutcome::Succeeded},
        {noConnection, true, RunOutcome::Failed},
        {notStarted, false, RunOutcome::Failed},
    };
    const std::wstring names[] = {L"копия", L"неизвестное подключение", L"команда"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(QString::fromStdWString(names[i]).toStdString());
        const QStringList lines = Messages(names[i]);
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[0], kStart);
        EXPECT_EQ(lines[expected[i].afterFinish ? 2 : 1], expected[i].outcomeLine);
        EXPECT_TRUE(lines[expected[i].afterFinish ? 1 : 2].startsWith(kFinish));
        ASSERT_TRUE(WaitUntil([&] { return engine->Status(records[i]).outcome == expected[i].outcome; }));
        const TaskStatus status = engine->Status(records[i]);
        EXPECT_EQ(status.first_error,
                  expected[i].outcome == RunOutcome::Failed ? expected[i].outcomeLine.toStdWString() : L"");
        ASSERT_TRUE(status.last_start && status.last_end);
        EXPECT_LE(*status.last_start, *status.last_end);
        EXPECT_EQ(status.next_run, start + kDay);
    }
    EXPECT_EQ(m_files.Read("копия/документ.txt"), "содержимое");
}

TEST_F(EngineRunsTest, HangingToolIsEndedAtTheLimitAndTheNextTaskRuns) {
    const ScopedRunSetting limit("Runs/toolTimeLimitSeconds", 1);
    const ScopedToolEnv hang("ZELKOR_FAKECLI_SLEEP_MS", "600000");
    auto engine = MakeRealEngine();
    const TaskInfo* hanging = engine->AddTask(Check(L"зависает", In(100ms)));
    TaskInfo next = Task(L"следующая", In(300ms));
    next.action = CommandAction{L"/bin/true", L"", L""};
    engine->AddTask(next);
    ASSERT_TRUE(WaitUntil([&] { return Finished(L"следующая", 1); }, 30s));

    EXPECT_EQ(Messages(L"зависает"),
              (QStringList{kStart, kFailed,
                           QStringLiteral("Превышено время выполнения (1 с), программа остановлена."),
                           Messages(L"зависает").value(3)}));
    EXPECT_TRUE(Finished(L"зависает"));
    const TaskStatus status = engine->Status(hanging);
    EXPECT_EQ(status.outcome, RunOutcome::LimitExceeded);
    EXPECT_EQ(status.first_error, L"Превышено время выполнения (1 с), программа остановлена.");
}

TEST_F(EngineRunsTest, ClosingEndsTheRunningToolAndTakesNoFurtherDocument) {
    m_repo.Write("Объект/План.dwg", "a");
    m_repo.Write("Объект/Фасад.dwg", "b");
    const QString calls = QString::fromStdString(m_files.Path("calls"));
    const ScopedToolEnv record("ZELKOR_FAKECLI_ARGS_FILE", calls.toUtf8().constData());
    const ScopedToolEnv hang("ZELKOR_FAKECLI_SLEEP_MS", "600000");
    const ScopedToolEnv stubborn("ZELKOR_FAKECLI_IGNORE_TERM", "1"); // only SIGKILL ends it
    auto engine = MakeRealEngine();
    TaskInfo task = Task(L"экспорт", In(100ms));
    ExportAction action;
    action.connection_id = TestId(1);
    action.project_path = L"arkon://Проекты/Объект";
    action.output_path = m_files.WidePath("out");
    task.action = action;
    engine->AddTask(task);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(calls); })); // the tool runs for the first document

    engine.reset(); // would wait ten minutes for the tool

    QFile file(calls);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("--project-path"), 1); // the second document was not begun
    const QStringList lines = Messages(L"экспорт");
    ASSERT_EQ(lines.size(), 4) << LogText(L"экспорт").toStdString();
    EXPECT_EQ(lines.mid(0, 3),
              (QStringList{kStart, kFailed,
                           QStringLiteral("Выполнение задания прервано: программа закрывается.")}));
    EXPECT_TRUE(lines[3].startsWith(kFinish));
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
    const TaskInfo* record = engine->AddTask(Task(L"задача", CurrentTime() + kDay));
    QObject receiver;
    std::vector<std::pair<const TaskInfo*, RunOutcome>> seen;
    const auto mainThread = std::this_thread::get_id();
    bool elsewhere = false;
    engine->SetStatusListener(&receiver, [&](const TaskInfo* changed) {
        elsewhere |= std::this_thread::get_id() != mainThread;
        seen.emplace_back(changed, changed ? engine->Status(changed).outcome : RunOutcome::None);
    });
    const auto saw = [&](const TaskInfo* changed, RunOutcome outcome) {
        return WaitUntil([&] {
            QCoreApplication::processEvents();
            return std::find(seen.begin(), seen.end(), std::make_pair(changed, outcome)) != seen.end();
        });
    };
    engine->RunNow(const_cast<TaskInfo*>(record));
    EXPECT_TRUE(saw(record, RunOutcome::Running));
    release = true;
    EXPECT_TRUE(saw(record, RunOutcome::Succeeded));
    engine->RecheckDeadlines(); // as a setting of the wall clock does
    EXPECT_TRUE(saw(nullptr, RunOutcome::None));
    EXPECT_FALSE(elsewhere);
    engine->SetStatusListener(nullptr, {});
}

TEST_F(EngineRunsTest, MissedRunsAreNotedAtStartUpAndTheLastRunIsReadBack) {
    const TimePoint now = CurrentTime();
    const TimePoint start = now - 10 * kDay - kHour; // daily, an hour before now's time of day
    std::vector<TaskInfo> tasks = {Task(L"давно", start), Task(L"не запускалась", start),
                                   Task(L"без журнала", start), Task(L"недавно", start - kHour)};
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(tasks)));
    WriteLog(L"давно", {{now - 3 * kDay - 12 * kHour, kStart}, {now - 3 * kDay - 12 * kHour, kFinish}});
    WriteLog(L"не запускалась", {});
    QFile added(TaskLog::PathFor(LogFolder(), L"не запускалась")); // twenty hours ago
    ASSERT_TRUE(added.open(QIODevice::Append));
    ASSERT_TRUE(added.setFileTime(QDateTime::currentDateTime().addSecs(-20 * 3600),
                                  QFileDevice::FileModificationTime));
    added.close();
    WriteLog(
        L"недавно",
        {{now - kHour, kStart}, {now - kHour, kFailed}, {now - kHour, "ошибка"}, {now - kHour, kFinish}});

    // Before the engine starts: the C library's local time functions share state that the worker's own
    // use of them would race with in ThreadSanitizer's eyes.
    const QString latest = LocalText(now - kHour);
    auto engine = MakeEngine();
    const auto& stored = engine->Tasks();
    ASSERT_TRUE(WaitUntil([&] { return engine->ArmedExpiry(stored[3].get()).has_value(); }));
    // Since three and a half days ago: three days at this time of day less an hour, and today's.
    EXPECT_EQ(
        Messages(L"давно").value(2).toStdString(),
        QStringLiteral("Пропущен запуск: %1 и ещё 3 (программа не работала).").arg(latest).toStdString());
    EXPECT_EQ(Messages(L"не запускалась").join('|').toStdString(),
              QStringLiteral("Пропущен запуск: %1 (программа не работала).").arg(latest).toStdString());
    EXPECT_TRUE(Messages(L"без журнала").isEmpty());
    EXPECT_EQ(Messages(L"недавно").size(), 4);
    EXPECT_EQ(engine->Status(stored[0].get()).outcome, RunOutcome::Missed);
    EXPECT_EQ(engine->Status(stored[2].get()).outcome, RunOutcome::None);
    const TaskStatus recent = engine->Status(stored[3].get());
    EXPECT_EQ(recent.outcome, RunOutcome::Failed);
    EXPECT_EQ(recent.first_error, L"ошибка");
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(m_runner.Runs().empty()); // not caught up unless asked to
}

TEST_F(EngineRunsTest, MissedRunsAreCaughtUpOnceInListOrderWhenAskedTo) {
    const ScopedRunSetting catchUp("Runs/catchUpMissed", true);
    const TimePoint now = CurrentTime();
    const TimePoint start = now - 10 * kDay - kHour;
    std::vector<TaskInfo> tasks = {Task(L"второй", start), Task(L"вовремя", now + kHour),
                                   Task(L"первый", start)};
    ASSERT_TRUE(SaveStorageFile(StoragePath(), TaskPointers(tasks)));
    for (const wchar_t* name : {L"второй", L"первый"}) {
        WriteLog(name, {{now - 2 * kDay, kStart}, {now - 2 * kDay, kFinish}});
    }
    auto engine = MakeEngine();
    ASSERT_TRUE(WaitUntil([&] { return Messages(L"первый").size() == 6 && Finished(L"первый"); }));
    const auto runs = m_runner.Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].name, L"второй");
    EXPECT_EQ(runs[1].name, L"первый");
    const QStringList lines = Messages(L"второй");
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Пропущен запуск: ")));
    EXPECT_EQ(lines.mid(3, 2), (QStringList{kStart, QStringLiteral("Выполняется пропущенный запуск.")}));
    EXPECT_TRUE(lines[5].startsWith(kFinish));
}
