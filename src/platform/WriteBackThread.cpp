// The write-back thread: files are started in the order they were finished, all those waiting taken
// at once. The writer hands them over a few at once: handed over and woken for each, the thread cost
// the copy as much as the renames did.
#include "WriteBackThread.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace platform {

void WriteBackThread::Add(OutputFile& file) {
    std::error_code error;
    OutputFile second = file.Duplicate(error);
    if (!second.IsOpen()) {
        file.StartWriteBack();
        return;
    }
    gathered_.push_back(std::move(second));
    if (gathered_.size() < kBatch) {
        return;
    }
    {
        std::unique_lock lock(mutex_);
        if (!thread_.joinable()) {
            thread_ = std::jthread([this](std::stop_token stop) { Work(std::move(stop)); });
        }
        room_.wait(lock, [this] { return waiting_.size() + gathered_.size() <= kMaxWaiting; });
        std::move(gathered_.begin(), gathered_.end(), std::back_inserter(waiting_));
    }
    gathered_.clear();
    // Woken with the lock let go, the thread does not wait for it at once.
    work_.notify_one();
}

void WriteBackThread::Discard() {
    gathered_.clear();
    std::vector<OutputFile> dropped;
    std::unique_lock lock(mutex_);
    dropped.swap(waiting_);
    discarding_ = true;
    room_.notify_all();
    room_.wait(lock, [this] { return !starting_; });
    discarding_ = false;
}

void WriteBackThread::Work(std::stop_token stop) {
    std::vector<OutputFile> taken;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!work_.wait(lock, stop, [this] { return !waiting_.empty(); })) {
            return;
        }
        // All that waits is taken at once: one turn of the lock, and one wake-up of a full queue's
        // writer, for the lot rather than for each file.
        taken.swap(waiting_);
        starting_ = true;
        room_.notify_all();
        lock.unlock();
        for (OutputFile& file : taken) {
            if (discarding_.load(std::memory_order_relaxed) || stop.stop_requested()) {
                break;
            }
            file.StartWriteBack();
        }
        taken.clear();
        lock.lock();
        starting_ = false;
        room_.notify_all();
    }
}

} // namespace platform
