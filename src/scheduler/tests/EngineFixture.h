// An engine over temporary files with a runner that records what it is asked to do.
#pragma once

#include "WaitUntil.h"
#include "execution/TaskLog.h"
#include "scheduler/TaskStorage.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <boost/asio/post.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The system's alarm, which a test can also tell that the wall clock was set, as the system does.
class ClockSetting {
public:
    AlarmMaker Maker() {
        return [this](boost::asio::io_context& context, std::function<void(bool)> onWake) {
            std::lock_guard lock(m_mutex);
            m_context = &context;
            m_onWake = onWake;
            return WallClockAlarms()(context, std::move(onWake));
        };
    }
    // Told on the engine's worker, as the alarm tells it.
    void Tell() {
        std::lock_guard lock(m_mutex);
        boost::asio::post(*m_context, [wake = m_onWake] { wake(true); });
    }

private:
    std::mutex m_mutex;
    boost::asio::io_context* m_context = nullptr;
    std::function<void(bool)> m_onWake;
};

struct RecordedRun {
    std::wstring name;
    TimePoint started;
    TimePoint finished;
};

class RecordingRunner {
public:
    // What a run does besides being recorded; runs on the worker thread.
    std::function<void(TaskInfo&, const std::function<void()>&)> behaviour;

    TaskRunner Runner() {
        return [this](const TaskInfo*, TaskInfo& task, TaskLog*, RunResult&,
                      const std::function<void()>& saveChanges) {
            RecordedRun run{task.name, CurrentTime(), {}};
            if (behaviour) {
                behaviour(task, saveChanges);
            }
            run.finished = CurrentTime();
            std::lock_guard lock(m_mutex);
            m_runs.push_back(run);
        };
    }

    std::vector<RecordedRun> Runs() const {
        std::lock_guard lock(m_mutex);
        return m_runs;
    }

    std::size_t CountOf(const std::wstring& name) const {
        std::lock_guard lock(m_mutex);
        std::size_t count = 0;
        for (const auto& run : m_runs) {
            count += run.name == name ? 1 : 0;
        }
        return count;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<RecordedRun> m_runs;
};

class EngineTest : public testing::Test {
protected:
    EngineTest() {
        // The engine's runs at normal priority: beside a busy machine's work the idle class may keep the
        // tool from starting for longer than a test waits. The classes are tested where they are set.
        QSettings("Zelkor-Vostal", "ZelkorScheduler").setValue(QStringLiteral("Runs/lowPriority"), false);
    }

    QTemporaryDir m_dir;
    RecordingRunner m_runner;
    std::atomic<std::int64_t> m_clockOffset{0}; // ticks added to the real clock
    ClockSetting m_clockSetting;

    QString StoragePath() const { return m_dir.filePath(QStringLiteral("storage.xml")); }
    QString LogFolder() const { return m_dir.filePath(QStringLiteral("logs")); }
    QString JournalPath() const { return m_dir.filePath(QStringLiteral("journal.sqlite")); }
    void RemoveJournal() const {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            QFile::remove(JournalPath() + QLatin1String(suffix));
        }
    }

    std::unique_ptr<TaskStorage> MakeEngine() {
        TaskStorage::Settings settings{StoragePath(), LogFolder(), m_runner.Runner(),
                                       [this] { return CurrentTime() + Ticks{m_clockOffset.load()}; }};
        settings.alarm = m_clockSetting.Maker();
        return std::make_unique<TaskStorage>(std::move(settings));
    }

    QString LogText(const std::wstring& name) const {
        QFile file(LogFolder() + QStringLiteral("/") + TaskLog::FileNameFor(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The log's lines without their stamps.
    QStringList Messages(const std::wstring& name) const {
        QStringList lines = LogText(name).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.replaceInStrings(QRegularExpression(QStringLiteral(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d )")),
                               {});
        return lines;
    }

    static TaskInfo Task(const std::wstring& name, TimePoint start, Trigger trigger = DailyTrigger{1}) {
        TaskInfo task;
        task.name = name;
        task.starting_point = start;
        task.trigger = std::move(trigger);
        task.action = CommandAction{L"/bin/true", L"", L""};
        return task;
    }

    static TimePoint In(std::chrono::milliseconds delay) {
        return CurrentTime() + std::chrono::duration_cast<Ticks>(delay);
    }
};
