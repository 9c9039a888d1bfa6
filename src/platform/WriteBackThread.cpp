// The write-back thread: files are taken in the order they were finished, one at a time. The thread is
// woken for a few files at once: woken for each, it cost the copy as much as the renames did.
#include "WriteBackThread.h"

#include <utility>

namespace platform {

void WriteBackThread::Add(OutputFile& file) {
    std::error_code error;
    OutputFile second = file.Duplicate(error);
    if (!second.IsOpen()) {
        file.StartWriteBack();
        return;
    }
    std::unique_lock lock(mutex_);
    if (!thread_.joinable()) {
        thread_ = std::jthread([this](std::stop_token stop) { Work(std::move(stop)); });
    }
    room_.wait(lock, [this] { return waiting_.size() < kMaxWaiting; });
    waiting_.push_back(std::move(second));
    if (waiting_.size() == kWakeAfter) {
        work_.notify_one();
    }
}

void WriteBackThread::Discard() {
    std::deque<OutputFile> dropped;
    std::unique_lock lock(mutex_);
    dropped.swap(waiting_);
    room_.notify_all();
    room_.wait(lock, [this] { return !starting_; });
}

void WriteBackThread::Work(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!work_.wait(lock, stop, [this] { return !waiting_.empty(); })) {
            return;
        }
        OutputFile file = std::move(waiting_.front());
        waiting_.pop_front();
        if (waiting_.size() + 1 == kMaxWaiting) {
            room_.notify_all();
        }
        starting_ = true;
        lock.unlock();
        file.StartWriteBack();
        file = OutputFile();
        lock.lock();
        starting_ = false;
        room_.notify_all();
    }
}

} // namespace platform
