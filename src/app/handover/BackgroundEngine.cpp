// The roles decide who runs the tasks: the engine role is held by whichever process runs them; a window's
// program holds the window role for its whole life and waits for the engine role, which this engine gives
// up (after its runs) as soon as it sees the window role taken, and takes again once it is free.
#include "BackgroundEngine.h"

#include "terminal/TerminalRequests.h"

#include <chrono>
#include <iostream>

bool BackgroundEngineWaits() {
    platform::OwnershipLock background(EngineLockPath(), platform::OwnershipLock::Role::Background);
    return !background.TryTake(); // held only for the look
}

BackgroundEngine::BackgroundEngine(const QString& lockPath, const QString& key,
                                   std::function<TaskStorage::Settings()> settings,
                                   std::chrono::milliseconds poll)
    : m_background(lockPath, platform::OwnershipLock::Role::Background),
      m_engine(lockPath, platform::OwnershipLock::Role::Engine),
      m_window(lockPath, platform::OwnershipLock::Role::Window), m_lockPath(lockPath), m_key(key),
      m_settings(std::move(settings)), m_waitingSince(CurrentTime()) {
    m_poll.setInterval(poll);
    QObject::connect(&m_poll, &QTimer::timeout, [this] { Poll(); });
    // Waiting, the tasks are taken the moment a window's program lets them go, not at the next look.
    QObject::connect(&m_released, &QFileSystemWatcher::fileChanged, [this](const QString&) {
        if (m_state == State::Waiting) {
            Poll();
        }
    });
}

BackgroundEngine::~BackgroundEngine() {
    m_server.reset();
    m_storage.reset(); // closes: runs under way are ended as at any exit
}

bool BackgroundEngine::Begin() {
    // A window's program starting holds the role for the moment of its look: only a role held longer
    // is another background engine's.
    if (!m_background.TakeWithin(std::chrono::milliseconds(200))) {
        return false;
    }
    m_released.addPath(m_lockPath); // made by the take above
    m_poll.start();
    Poll();
    return true;
}

bool BackgroundEngine::WindowRuns() {
    if (!m_window.TryTake()) {
        return true;
    }
    m_window.Release(); // held only for the look: a starting window must find it free
    return false;
}

void BackgroundEngine::Poll() {
    switch (m_state) {
    case State::Waiting:
        if (!WindowRuns() && m_engine.TryTake()) {
            TakeOver();
        }
        break;
    case State::Running:
        if (WindowRuns()) {
            std::cerr << "A window of the scheduler started: the runs under way end here, then it takes the "
                         "tasks.\n";
            m_waitingSince = CurrentTime();
            m_storage->StopStartingRuns();
            m_state = State::HandingOver;
            Poll();
        }
        break;
    case State::HandingOver:
        if (m_storage->Idle()) {
            FinishHandOver();
        }
        break;
    }
}

void BackgroundEngine::TakeOver() {
    TaskStorage::Settings settings = m_settings();
    settings.background = true;
    settings.owedSince = m_waitingSince;
    settings.owedSinceRelease = m_handedOver;
    m_storage = std::make_unique<TaskStorage>(std::move(settings));
    m_server = std::make_unique<RequestServer>(
        m_key, [this](const QByteArray& request) { return AnswerTerminalRequest(*m_storage, request); });
    if (!m_server->Listen()) {
        std::cerr << "The background engine cannot listen for the terminal commands.\n";
    }
    m_state = State::Running;
    std::cerr << "The background engine runs the tasks.\n";
}

void BackgroundEngine::FinishHandOver() {
    m_server.reset();
    m_storage->Close();
    m_storage.reset();
    m_engine.Release();
    m_handedOver = true;
    m_state = State::Waiting;
    std::cerr << "The tasks were handed over to the window; the background engine waits for it to end.\n";
}
