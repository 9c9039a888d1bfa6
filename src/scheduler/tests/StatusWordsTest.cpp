// The words of run statuses: one of its own for each outcome, none for a task that never ran, and the
// stale date in the local zone.
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

TEST(StatusWordsTest, TheResultColumnSaysStaleBeforeQueuedBeforeTheOutcome) {
    TaskStatus status;
    status.outcome = RunOutcome::Running;
    EXPECT_EQ(StatusText(status), OutcomeText(RunOutcome::Running));
    status.queued = true;
    EXPECT_EQ(StatusText(status), QStringLiteral("В очереди"));
    status.stale_since = Utc(2025, 3, 1, 10, 0, 0);
    EXPECT_EQ(StatusText(status), StaleText(*status.stale_since));
}

TEST(StatusWordsTest, StaleSinceTheLocalDay) {
    const ScopedTimeZone zone("Asia/Vladivostok");
    // 20:30 UTC is already the next day in Vladivostok (UTC+10).
    EXPECT_EQ(StaleText(Utc(2025, 3, 1, 20, 30, 0)), QStringLiteral("Нет успешных запусков с 02.03.2025"));
}
