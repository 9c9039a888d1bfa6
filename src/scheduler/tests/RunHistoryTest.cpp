// What a task's log tells at start-up: the last run's outcome from at most the log's tail, and the runs
// missed while the program was not running.
#include "scheduler/LogHistory.h"
#include "scheduler/MissedRuns.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"
#include "execution/LogLine.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

const QString kStart = QStringLiteral("Начало выполнения задания.");
const QString kFinish =
    QStringLiteral("Завершение выполнения задания. Следующий запуск: 02.03.2026 в 10:00:00.");
const QString kFailed = QStringLiteral("Задание не выполнено:");
const QString kDone = QStringLiteral("Задание успешно выполнено.");
const TimePoint kBase = Utc(2026, 3, 1, 9, 0);
constexpr Ticks kMinute{kTicksPerSecond * 60};

class LogHistoryTest : public testing::Test {
protected:
    // Line i is written i minutes after the base time.
    LogHistory Read(const std::vector<QString>& messages, const QByteArray& before = {}) {
        QFile file(m_path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(before);
        for (std::size_t i = 0; i < messages.size(); ++i) {
            file.write(FormatLogLine(kBase + static_cast<int>(i) * kMinute, messages[i]).toUtf8());
        }
        file.close();
        return ReadLogHistory(m_path);
    }

    ScopedTimeZone m_zone{"Europe/Berlin"};
    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("task.log"));
};

} // namespace

TEST_F(LogHistoryTest, LastRunIsToldByItsLines) {
    struct Case {
        std::vector<QString> lines;
        RunOutcome outcome;
        std::wstring firstError;
        int startLine; // whose time is the last start; -1: none
        int endLine;
    };
    const QString backupFailed = QStringLiteral("Резервное копирование не выполнено: папка X не найдена.");
    const QString backupWarned =
        QStringLiteral("Резервное копирование завершено с предупреждениями: скопировано документов: 1 (0,0 "
                       "МБ), пропущено: 1 (не прочитаны: «a.dwg»).");
    const QString limit = QStringLiteral("Превышено время выполнения (5 с), программа остановлена.");
    const QString missed =
        QStringLiteral("Пропущен запуск: 03.03.2026 в 10:00:00 и ещё 2 (программа не работала).");
    const QString noFolder = QStringLiteral("Не удалось создать папку для выгрузки /out: Not a directory");
    const QString noDocuments = QStringLiteral("В папке arkon://П/О нет документов: выгружать нечего.");
    const QString noIfc = QStringLiteral("В папке /m нет файлов IFC: проверять нечего.");
    const std::vector<Case> cases = {
        {{kStart, kDone, kDone, kFinish}, RunOutcome::Succeeded, L"", 0, 3},
        {{kStart, kFailed, "ошибка 1", "ошибка 2", kDone, kFinish}, RunOutcome::Failed, L"ошибка 1", 0, 5},
        {{kStart, kFailed, "still", limit, kFinish}, RunOutcome::LimitExceeded, L"still", 0, 4},
        {{kStart, kFailed, QStringLiteral("Выполнение задания прервано: программа закрывается."), kFinish},
         RunOutcome::Interrupted,
         L"",
         0,
         3},
        {{kStart, QStringLiteral("Неверно задан путь P\n"), kFinish},
         RunOutcome::Failed,
         L"Неверно задан путь P",
         0,
         2},
        {{kStart, kDone, QStringLiteral("Ошибка хранилища данных: нет папки /srv"), kFinish},
         RunOutcome::Failed,
         L"Ошибка хранилища данных: нет папки /srv",
         0,
         3},
        {{kStart, QStringLiteral("Выполняется пропущенный запуск."), kDone, kFinish},
         RunOutcome::Succeeded,
         L"",
         0,
         3},
        // A copy's or a program's end comes after the finish line and ends the run.
        {{kStart, kFinish, backupFailed}, RunOutcome::Failed, backupFailed.toStdWString(), 0, 2},
        {{kStart, kFinish, backupWarned}, RunOutcome::Warnings, backupWarned.toStdWString(), 0, 2},
        {{kStart, kFinish, QStringLiteral("Программа завершилась с кодом 0.")},
         RunOutcome::Succeeded,
         L"",
         0,
         2},
        {{kStart, kFinish, QStringLiteral("Программа завершена сигналом 9.")},
         RunOutcome::Failed,
         L"Программа завершена сигналом 9.",
         0,
         2},
        // The program was killed during the run.
        {{kStart, kDone}, RunOutcome::Interrupted, L"", 0, -1},
        {{kStart, kFinish, missed}, RunOutcome::Missed, L"", 0, 1},
        // A run-now request after a timed run has no start line of its own.
        {{kStart, kFinish, kFailed, "x"}, RunOutcome::Failed, L"x", 2, 3},
        {{kStart, kFinish, noFolder}, RunOutcome::Failed, noFolder.toStdWString(), 2, 2},
        // A run that found nothing to work on did not succeed either.
        {{kStart, noDocuments, kFinish}, RunOutcome::Warnings, noDocuments.toStdWString(), 0, 2},
        {{kStart, noIfc, kFinish}, RunOutcome::Warnings, noIfc.toStdWString(), 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back().toStdString());
        const LogHistory history = Read(c.lines);
        const TaskStatus status = history.runs.Status();
        EXPECT_EQ(status.outcome, c.outcome);
        EXPECT_EQ(status.first_error, c.firstError);
        const auto at = [](int line) {
            return line < 0 ? std::nullopt : std::optional<TimePoint>(kBase + line * kMinute);
        };
        EXPECT_EQ(status.last_start, at(c.startLine));
        EXPECT_EQ(status.last_end, at(c.endLine));
        EXPECT_EQ(history.lastActivity, at(static_cast<int>(c.lines.size()) - 1));
    }
}

TEST_F(LogHistoryTest, OnlyTheTailIsReadAndAStartLineBeyondItIsNotNeeded) {
    std::vector<QString> lines = {kStart, kFailed};
    for (int i = 0; i < 200; ++i) { // about 20 KiB: beyond the first read, within the longest
        lines.push_back(QStringLiteral("ошибка %1 ").arg(i) + QString(70, QLatin1Char('x')));
    }
    lines.push_back(kFinish);
    // A start line of an old successful run, 100 KiB ahead, is never reached.
    QByteArray old =
        FormatLogLine(kBase - 600 * kMinute, kStart).toUtf8() + QByteArray(100 * 1024, 'y') + '\n';
    TaskStatus status = Read(lines, old).runs.Status();
    EXPECT_EQ(status.outcome, RunOutcome::Failed);
    EXPECT_EQ(status.first_error.substr(0, 8), L"ошибка 0");
    EXPECT_EQ(status.last_start, kBase);

    // The failed run's own start line lies beyond the tail: its error lines still tell a failure.
    lines.insert(lines.begin() + 2, 800, QStringLiteral("ошибка ") + QString(90, QLatin1Char('z')));
    status = Read(lines).runs.Status();
    EXPECT_EQ(status.outcome, RunOutcome::Failed);
    EXPECT_FALSE(status.last_start);
}

TEST_F(LogHistoryTest, EmptyLogCarriesTheMomentItWasMadeAndAMissingOneNothing) {
    EXPECT_FALSE(ReadLogHistory(m_path).lastActivity);
    const LogHistory history = Read({});
    ASSERT_TRUE(history.lastActivity);
    EXPECT_LE(*history.lastActivity, CurrentTime());
    EXPECT_GT(*history.lastActivity, CurrentTime() - std::chrono::hours(1));
    EXPECT_EQ(history.runs.Status().outcome, RunOutcome::None);
}

TEST(MissedRunsTest, CountsTheScheduleBetweenTheLastActivityAndNow) {
    const TimePoint start = Utc(2026, 3, 1, 9, 0);
    constexpr Ticks kDay{kTicksPerDay};
    // Never ran before its start: the start itself was missed, then two more.
    MissedRuns missed =
        FindMissedRuns(start - kDay, start + 2 * kDay + kMinute, start, false, DailyTrigger{1});
    EXPECT_EQ(missed.count, 3);
    EXPECT_EQ(missed.latest, start + 2 * kDay);
    // Ran at a time of the schedule; the next one lies ahead.
    EXPECT_EQ(FindMissedRuns(start + kDay, start + 2 * kDay - kMinute, start, false, DailyTrigger{1}).count,
              0);
    // A schedule that never runs misses nothing.
    EXPECT_EQ(FindMissedRuns(start, start + 30 * kDay, start, false, WeeklyTrigger{1, {}}).count, 0);
}
