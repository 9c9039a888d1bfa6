// Starts the write-back of finished files on a thread of its own. Starting it waits for room in the
// disk's queue, which stays full while a large copy is written: done by the copy itself, that wait
// took as long as the whole flush it was meant to spare. Here the copy goes on meanwhile.
#pragma once

#include "OutputFile.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace platform {

class WriteBackThread {
public:
    WriteBackThread() = default;
    // Files still waiting are let go without a start: the kernel writes them back in its own time.
    ~WriteBackThread() = default;
    WriteBackThread(const WriteBackThread&) = delete;
    WriteBackThread& operator=(const WriteBackThread&) = delete;

    // Starts the write-back of what was written to `file` so far, once a few files have gathered; the
    // file stays the caller's, to close as it likes. Waits while many files wait already, each of them
    // holding a descriptor. When no second descriptor can be had, the write-back is started here.
    // Add and Discard are called from one thread, the one writing the files.
    void Add(OutputFile& file);

    // Lets go of the files still waiting and returns when none is being started: for a flush of the
    // whole file system, which writes them anyway.
    void Discard();

private:
    void Work(std::stop_token stop);

    // Gathered by the writer and handed over together: one turn of the lock and one wake-up for them all.
    static constexpr std::size_t kBatch = 16;
    // Each file holds a descriptor while it is gathered, waits and is started: at most a batch and twice
    // this many.
    static constexpr std::size_t kMaxWaiting = 32;

    std::vector<OutputFile> gathered_; // the writer's own: not handed over yet
    std::mutex mutex_;
    std::condition_variable_any work_; // for the thread: files are waiting
    std::condition_variable_any room_; // for the writer: room in the queue, or a start is over
    std::vector<OutputFile> waiting_;
    bool starting_ = false;               // files taken from the queue are being started
    std::atomic<bool> discarding_{false}; // those not started yet are to be let go
    std::jthread thread_;                 // started with the first file, and last, after what it uses
};

} // namespace platform
