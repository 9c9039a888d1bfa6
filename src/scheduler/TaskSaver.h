// Keeps the storage file up to date from a thread of its own: one save for a burst of changes, and a
// save that failed (a full disk, a folder made read-only) tried again until one succeeds, so that the
// tasks reach the file once writing works again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TaskSaver {
public:
    // `save` writes the list as it is when called, and says whether it reached the file (the reason
    // why not is its own to tell). The thread starts at once.
    TaskSaver(std::function<bool()> save, std::chrono::milliseconds retryInterval);
    // Stops, unless stopped already.
    ~TaskSaver();

    TaskSaver(const TaskSaver&) = delete;
    TaskSaver& operator=(const TaskSaver&) = delete;

    // Asks for a save of the list as it will be then. Any thread. Once stopped, saves on the calling
    // thread: nothing saves later.
    void Request();
    // Ends the thread after the save under way, then saves once more when a change has not reached the
    // file (or the last save failed); false when that last save failed too.
    bool Stop();

private:
    void Run();

    const std::function<bool()> m_save;
    const std::chrono::milliseconds m_retryInterval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_due = false;        // a change has not been saved yet
    bool m_lastFailed = false; // tried again after the retry interval
    bool m_stopping = false;
    std::jthread m_thread; // last: started when everything above exists
};
