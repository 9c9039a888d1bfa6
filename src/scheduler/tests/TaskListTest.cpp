// The task list on its own: a task is found again only under the identity it was stored with, and a
// status is published together with its next run.
#include "scheduler/TaskList.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

TEST(TaskListTest, ARemovedTaskIsNotFoundUnderItsOldIdentityEvenAtTheSameAddress) {
    TaskList list;
    TaskInfo task;
    task.name = L"первая";
    const TaskInfo* first = list.Add(task);
    const auto firstId = *list.IdOf(first);
    EXPECT_TRUE(list.Remove(first));
    EXPECT_FALSE(list.Remove(first)); // gone already
    task.name = L"вторая";
    const TaskInfo* second = list.Add(task); // the allocator may well give it the same address
    EXPECT_NE(*list.IdOf(second), firstId);
    EXPECT_FALSE(list.NameIfStored(second, firstId));
    EXPECT_FALSE(list.CopyIfStored(second, firstId));
    EXPECT_EQ(list.NameIfStored(second, *list.IdOf(second)), L"вторая");
    EXPECT_EQ(list.CopyIfStored(second)->name, L"вторая");
}

TEST(TaskListTest, APublishedStatusComesWithItsNextRunAndIsToldOnTheListenersThread) {
    TaskList list;
    const TaskInfo* record = list.Add(TaskInfo{});
    QObject receiver;
    std::vector<const TaskInfo*> told;
    list.SetListener(&receiver, [&](const TaskInfo* changed) { told.push_back(changed); });
    TaskStatus status;
    status.outcome = RunOutcome::Succeeded;
    const TimePoint next = TimePointFromTicks(42);
    list.Publish(record, *list.IdOf(record), status, next);
    list.Publish(record, *list.IdOf(record) + 1, TaskStatus{}, std::nullopt); // another task's: ignored
    EXPECT_TRUE(told.empty()); // queued, not called on the publishing thread
    QCoreApplication::processEvents();
    EXPECT_EQ(told, std::vector<const TaskInfo*>{record});
    list.IfStored(record, std::nullopt, [&](const TaskInfo&, const TaskList::Shared& shared) {
        EXPECT_EQ(shared.status.outcome, RunOutcome::Succeeded);
        EXPECT_EQ(shared.expiry, next);
    });
    list.SetListener(nullptr, {});
    list.Notify(nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(told.size(), 1U);
}
