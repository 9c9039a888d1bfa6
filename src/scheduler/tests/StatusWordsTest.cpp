// The words of run statuses: one of its own for each outcome, none for a task that never ran, the order
// of the result column's words, and the stale and retry dates in the local zone.
#include "scheduler/StatusWords.h"

#include "ScopedTimeZone.h"
#include "TimeHelpers.h"

#include <gtest/gtest.h>

#include <set>

TEST(StatusWordsTest, EveryOutcomeButNoneHasAWordOfItsOwn) {
    std::set<QString> words;
    for (const RunOutcome outcome :
         {RunOutcome::Running, RunOutcome::Succeeded, RunOutcome::Warnings, RunOutcome::Failed,
          RunOutcome::Missed, RunOutcome::Interrupted, RunOutcome::LimitExceeded}) {
        const QString word = OutcomeText(outcome);
        EXPECT_FALSE(word.isEmpty()) << static_cast<int>(outcome);
        EXPECT_TRUE(words.insert(word).second) << word.toStdString();
    }
    EXPECT_TRUE(OutcomeText(RunOutcome::None).isEmpty());
    EXPECT_EQ(OutcomeText(RunOutcome::LimitExceeded), QStringLiteral("Превышено время"));
}

TEST(StatusWordsTest, TheResultColumnSaysStaleBeforeQueuedBeforeWaitingBeforeARetryBeforeTheOutcome) {
    const ScopedTimeZone zone("Europe/Berlin");
    TaskStatus status;
    status.outcome = RunOutcome::Failed;
    EXPECT_EQ(StatusText(status), OutcomeText(RunOutcome::Failed));
    status.retry_at = Utc(2030, 1, 2, 7, 5, 0);
    EXPECT_EQ(StatusText(status), QStringLiteral("Ошибка, повтор 02.01 в 08:05"));
    status.waiting = L"папка назначения недоступна";
    EXPECT_EQ(StatusText(status), QStringLiteral("Ожидает: папка назначения недоступна"));
    status.queued = true;
    EXPECT_EQ(StatusText(status), QStringLiteral("В очереди"));
    status.stale_since = Utc(2025, 3, 1, 10, 0, 0);
    EXPECT_EQ(StatusText(status), StaleText(*status.stale_since));
}

TEST(StatusWordsTest, ARetryOnTheLocalDayOfNowSaysOnlyItsTime) {
    const ScopedTimeZone zone("Asia/Vladivostok");
    // 13:50 UTC is 23:50 in Vladivostok (UTC+10); 14:10 UTC is already the next local day.
    const TimePoint now = Utc(2025, 3, 1, 13, 0, 0);
    EXPECT_EQ(RetryText(RunOutcome::Failed, Utc(2025, 3, 1, 13, 50, 0), now),
              QStringLiteral("Ошибка, повтор в 23:50"));
    EXPECT_EQ(RetryText(RunOutcome::LimitExceeded, Utc(2025, 3, 1, 14, 10, 0), now),
              QStringLiteral("Превышено время, повтор 02.03 в 00:10"));
    EXPECT_EQ(PausedText(), QStringLiteral("Приостановлена"));
}

TEST(StatusWordsTest, StaleSinceTheLocalDay) {
    const ScopedTimeZone zone("Asia/Vladivostok");
    // 20:30 UTC is already the next day in Vladivostok (UTC+10).
    EXPECT_EQ(StaleText(Utc(2025, 3, 1, 20, 30, 0)), QStringLiteral("Нет успешных запусков с 02.03.2025"));
}
