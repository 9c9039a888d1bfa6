// One thread keeps adding, editing, running and removing tasks while dozens of tasks fire every few
// milliseconds and their runs save the file. Built with ThreadSanitizer in CI.
#include "EngineFixture.h"

#include "model/StorageFile.h"

#include <map>
#include <random>

using namespace std::chrono_literals;

TEST_F(EngineTest, ConcurrentChangesAndRunsStayConsistent) {
    auto engine = MakeEngine();
    m_runner.behaviour = [](TaskInfo& task, const std::function<void()>& saveChanges) {
        if (auto* action = std::get_if<ExportAction>(&task.action)) {
            action->modification_times[action->project_path + L"/doc"] = CurrentTime();
            saveChanges();
        }
    };

    std::mt19937 random(12345);
    const auto soon = [&] { return In(std::chrono::milliseconds(1 + random() % 15)); };
    int made = 0;
    std::map<std::wstring, TaskInfo*> live;
    std::map<std::wstring, TimePoint> removedAt;
    const auto add = [&] {
        const std::wstring name = L"task " + std::to_wstring(made++);
        TaskInfo task = Task(name, soon());
        if (made % 2 == 0) {
            ExportAction action;
            action.project_path = L"arkon://P/" + name;
            task.action = action;
        }
        live[name] = engine->AddTask(task);
    };
    for (int i = 0; i < 40; ++i) {
        add();
    }

    // Until a hundred runs have happened (a sanitizer build is several times slower), within bounds.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < start + 1500ms ||
           (m_runner.Runs().size() < 100 && std::chrono::steady_clock::now() < start + 15s)) {
        auto it = live.begin();
        std::advance(it, static_cast<long>(random() % live.size()));
        switch (random() % 6) {
        case 0:
            add();
            break;
        case 1:
        case 2: {
            TaskInfo edited = engine->Copy(it->second);
            edited.starting_point = soon();
            edited.description = L"edit " + std::to_wstring(random());
            if (auto* action = std::get_if<ExportAction>(&edited.action); action && random() % 3 == 0) {
                action->project_path += L"x";
            }
            engine->UpdateTask(it->second, edited);
            break;
        }
        case 3:
            engine->RunNow(it->second);
            break;
        case 4:
            if (live.size() > 20) {
                engine->RemoveTask(it->second);
                removedAt[it->first] = CurrentTime();
                live.erase(it);
            }
            break;
        default:
            for (const auto& task : engine->Tasks()) {
                ASSERT_FALSE(task->name.empty());
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    }
    // Quiet down: nothing due any more, and whatever was queued has run.
    for (const auto& [name, record] : live) {
        TaskInfo edited = engine->Copy(record);
        edited.starting_point = CurrentTime() + Ticks{kTicksPerDay};
        engine->UpdateTask(record, edited);
    }
    std::size_t seen = 0;
    ASSERT_TRUE(WaitUntil([&] {
        const std::size_t now = m_runner.Runs().size();
        const bool still = now == seen;
        seen = now;
        std::this_thread::sleep_for(100ms);
        return still && m_runner.Runs().size() == now;
    }));
    std::vector<TaskInfo> expected;
    for (const auto& task : engine->Tasks()) {
        expected.push_back(engine->Copy(task.get()));
    }
    engine.reset();

    EXPECT_GE(m_runner.Runs().size(), 100u);
    // The last save holds the list exactly as it was left, modification times included.
    EXPECT_EQ(LoadStorageFile(StoragePath()), expected);
    // A removed task does not start again (one already under way at the removal may finish).
    for (const RecordedRun& run : m_runner.Runs()) {
        if (const auto removed = removedAt.find(run.name); removed != removedAt.end()) {
            EXPECT_LT(run.started, removed->second + Ticks{kTicksPerMillisecond * 50})
                << std::string(run.name.begin(), run.name.end());
        }
    }
    for (const auto& [name, when] : removedAt) {
        EXPECT_FALSE(QFile::exists(LogFolder() + QStringLiteral("/") + TaskLog::FileNameFor(name)));
    }
}
