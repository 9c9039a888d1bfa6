// The window's program's side of sharing the tasks with the background engine: the window role it holds
// for its whole life, the engine role it runs the tasks under, and its way out.
#pragma once

#include "model/TimePoint.h"
#include "platform/OwnershipLock.h"

#include <QTimer>

#include <functional>
#include <optional>

class QObject;
class TaskStorage;

class WindowSide {
public:
    // Takes the window role (a background engine that runs the tasks then ends its runs under way and
    // gives up the engine role; slots that pass meanwhile are this program's to run), then the engine
    // role if it is free. `lockPath`: the roles' file.
    explicit WindowSide(const QString& lockPath);
    WindowSide(const WindowSide&) = delete;
    WindowSide& operator=(const WindowSide&) = delete;

    // Whether this program ran the tasks from its start; else its engine stands by until it has them.
    bool OwnsTasks() const { return m_engine.Held(); }
    // Owning from the start while a background engine waits for the tasks: another window's program let
    // them go a moment ago, before the background engine could take them, and what fell due since is owed.
    bool OwedSinceRelease() const { return m_owedSinceRelease; }

    // Calls `owned` in the event loop of the calling thread once this program runs the tasks: at once
    // when it did from its start (with none), else when it has taken the engine role (with the time it
    // took the window role: the slots since are its to run).
    void WhenOwned(QObject* context, std::function<void(std::optional<TimePoint> claimedAt)> owned);

    // With a background engine waiting to take the tasks back, the runs under way end before this program
    // does (out of sight, within the whole-run limit), as the background engine lets its own end before a
    // window takes the tasks: none is cut off. Without one they are ended as at any exit. After the event
    // loop has ended; `leaveScreen` hides the window meanwhile.
    void LetRunsEnd(TaskStorage& storage, const std::function<void()>& leaveScreen);

    // Lets the window role go first, so that a background engine told by the engine role's release is
    // free to take the tasks at once; then the engine role. After the last save.
    void Release();

private:
    platform::OwnershipLock m_window;
    platform::OwnershipLock m_engine;
    const TimePoint m_claimedAt;
    bool m_owedSinceRelease = false;
    QTimer m_claim;
};
