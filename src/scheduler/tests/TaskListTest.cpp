// The task list on its own: a task is found again only under the identity it was stored with, and a
// status is published together with its next run.
#include "scheduler/TaskList.h"

#include "scheduler/NameMark.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

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

TEST(TaskListTest, ACopyOfTheWholeListIsTheListAtOneMomentWhileTasksComeAndGo) {
    // Long enough to be copied in several slices; a task comes and goes at the front all the while, so
    // a copy that went on after it came or went would hold a task twice or miss one.
    constexpr int kTasks = 3000;
    TaskList list;
    for (int i = 0; i < kTasks; ++i) {
        TaskInfo task;
        task.name = std::to_wstring(i);
        list.Add(task);
    }
    std::atomic<bool> stop = false;
    std::thread changer([&] {
        TaskInfo front;
        front.name = L"впереди";
        while (!stop) {
            const TaskInfo* added = list.Add(front, 0);
            std::this_thread::sleep_for(std::chrono::microseconds(100)); // some copies get through whole
            list.Remove(added);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    for (int copy = 0; copy < 50; ++copy) {
        const std::vector<TaskInfo> tasks = list.Copies();
        const bool withFront = tasks.size() == kTasks + 1;
        ASSERT_TRUE(withFront || tasks.size() == kTasks) << tasks.size();
        if (withFront) {
            ASSERT_EQ(tasks.front().name, L"впереди");
        }
        for (int i = 0; i < kTasks; ++i) {
            ASSERT_EQ(tasks[static_cast<std::size_t>(i + (withFront ? 1 : 0))].name, std::to_wstring(i));
        }
    }
    stop = true;
    changer.join();
}

TEST(TaskListTest, AHugeNameIsHandedOutCutForRunsAndTracesAndToldApartByItsMark) {
    TaskList list;
    TaskInfo task;
    task.name = std::wstring(2'000'000, L'я');
    task.action = CommandAction{L"/bin/true", L"", L""};
    const TaskInfo* record = list.Add(task);
    const auto id = *list.IdOf(record);
    const std::wstring cut = std::wstring(1000, L'я') + L"…";
    EXPECT_EQ(list.TraceNameIfStored(record, id), cut);
    const std::optional<TaskInfo> run = list.RunCopyIfStored(record, id);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->name, cut);
    EXPECT_EQ(RenamedCopy(*run, task.name), task);
    EXPECT_EQ(list.NameIfStored(record, id), task.name); // a rename still compares the whole name

    struct Case {
        std::wstring a, b;
        bool same;
    };
    const std::wstring huge = task.name;
    const std::wstring differsAtTheEnd = huge.substr(0, huge.size() - 1) + L"ю";
    for (const Case& c :
         {Case{L"Экспорт", L"Экспорт", true}, Case{L"Экспорт", L"экспорт", false}, Case{huge, huge, true},
          Case{huge, differsAtTheEnd, false}, Case{huge, huge + L"я", false}, Case{cut, huge, false}}) {
        EXPECT_EQ(NameMark(c.a).Marks(c.b), c.same) << c.a.size() << " " << c.b.size();
    }
}
