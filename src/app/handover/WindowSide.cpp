// Taking the window and engine roles, waiting for the tasks, and ending after the runs under way when a
// background engine waits.
#include "WindowSide.h"

#include "BackgroundEngine.h"
#include "scheduler/TaskStorage.h"

#include <QEventLoop>

#include <chrono>
#include <iostream>

namespace {

// The window role is free but for the moments a background engine looks at it (up to 5 s); said on
// standard error when it could not be taken.
void TakeWindowRole(platform::OwnershipLock& role) {
    if (!role.TakeWithin(std::chrono::seconds(5))) {
        std::cerr << "The window's role could not be taken: a background engine may go on running tasks.\n";
    }
}

} // namespace

WindowSide::WindowSide(const QString& lockPath)
    : m_window(lockPath, platform::OwnershipLock::Role::Window),
      m_engine(lockPath, platform::OwnershipLock::Role::Engine), m_claimedAt(CurrentTime()) {
    TakeWindowRole(m_window);
    m_owedSinceRelease = m_engine.TryTake() && BackgroundEngineWaits();
}

void WindowSide::WhenOwned(QObject* context, std::function<void(std::optional<TimePoint> claimedAt)> owned) {
    if (OwnsTasks()) {
        owned(std::nullopt);
        return;
    }
    m_claim.setInterval(250);
    QObject::connect(&m_claim, &QTimer::timeout, context, [this, owned = std::move(owned)] {
        if (m_engine.TryTake()) {
            m_claim.stop();
            owned(m_claimedAt);
        }
    });
    m_claim.start();
}

void WindowSide::LetRunsEnd(TaskStorage& storage, const std::function<void()>& leaveScreen) {
    if (storage.InStandby() || !BackgroundEngineWaits() || storage.RunningTasks().empty()) {
        return;
    }
    storage.StopStartingRuns();
    leaveScreen();
    std::cerr << "The runs under way end before the program does; the background engine then takes the "
                 "tasks.\n";
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (storage.Idle()) { // or the whole-run limit has passed
            loop.quit();
        }
    });
    poll.start(200);
    loop.exec();
}

void WindowSide::Release() {
    m_claim.stop();
    m_window.Release();
    m_engine.Release();
}
