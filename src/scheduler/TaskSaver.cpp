#include "TaskSaver.h"

#include "platform/LowPriority.h"

TaskSaver::TaskSaver(std::function<bool()> save, std::chrono::milliseconds retryInterval)
    : m_save(std::move(save)), m_retryInterval(retryInterval), m_thread([this] { Run(); }) {}

TaskSaver::~TaskSaver() {
    Stop();
}

void TaskSaver::Request() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopping) {
            m_due = true;
            m_wake.notify_one();
            return;
        }
    }
    m_save();
}

void TaskSaver::Run() {
    // Writing ten thousand tasks takes tens of milliseconds of a processor: the window, adding a task on
    // the other, keeps its frame time on a machine with few cores.
    platform::GiveThisThreadASmallerShare();
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto wanted = [this] { return m_stopping || m_due; };
        if (m_lastFailed) {
            // The tasks stay in memory and are written later.
            m_due |= !m_wake.wait_for(lock, m_retryInterval, wanted);
        } else {
            m_wake.wait(lock, wanted);
        }
        if (m_stopping) {
            return; // what is still due is saved by the stopping thread
        }
        // Every change made from here on asks for the next save; those made meanwhile share this one.
        m_due = false;
        lock.unlock();
        const bool saved = m_save();
        lock.lock();
        m_lastFailed = !saved;
    }
}

bool TaskSaver::Stop() {
    bool unsaved = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return true;
        }
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    {
        std::lock_guard lock(m_mutex);
        unsaved = m_due || m_lastFailed;
        m_due = false;
    }
    return !unsaved || m_save();
}
