// The engine of `--background`: runs the tasks while no window's program runs, hands them over to one
// that starts (once the runs under way have ended) and takes them back when it ends.
#pragma once

#include "model/StorageFile.h" // EngineLockPath
#include "model/TimePoint.h"
#include "platform/OwnershipLock.h"
#include "scheduler/TaskStorage.h"
#include "singleinstance/RequestServer.h"

#include <QFileSystemWatcher>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// Whether a background engine runs (waiting for the tasks or running them).
bool BackgroundEngineWaits();

class BackgroundEngine {
public:
    // `settings` makes each engine's settings (one engine for each time the tasks are taken over);
    // `key` is the installation's, for the terminal commands' server. `lockPath`: the roles' file.
    BackgroundEngine(const QString& lockPath, const QString& key,
                     std::function<TaskStorage::Settings()> settings,
                     std::chrono::milliseconds poll = std::chrono::milliseconds(500));
    ~BackgroundEngine();
    BackgroundEngine(const BackgroundEngine&) = delete;
    BackgroundEngine& operator=(const BackgroundEngine&) = delete;

    // Starts watching the roles, in the event loop of the calling thread; false when another background
    // engine of the installation runs (this one then has nothing to do).
    bool Begin();

private:
    enum class State { Waiting, Running, HandingOver };

    void Poll();
    void TakeOver();
    void FinishHandOver();
    bool WindowRuns(); // a window's program holds its role

    platform::OwnershipLock m_background;
    platform::OwnershipLock m_engine;
    platform::OwnershipLock m_window;
    const QString m_lockPath;
    const QString m_key;
    const std::function<TaskStorage::Settings()> m_settings;
    State m_state = State::Waiting;
    // Since when slots may have passed that no engine ran: this process's start, or the moment it stopped
    // starting runs to hand over.
    TimePoint m_waitingSince;
    // Once it has handed over, every owner since let the tasks go with this one waiting: the release the
    // journal keeps (a slot the engine left unserved, or the window's close) is owed from too.
    bool m_handedOver = false;
    std::unique_ptr<TaskStorage> m_storage;
    std::unique_ptr<RequestServer> m_server;
    QTimer m_poll;
    QFileSystemWatcher m_released; // the roles' file: an engine that lets the tasks go touches it
};
