// SQLite's own way of testing faults: a file system layer over the real one that fails writes on
// demand, "disk full" or an I/O error, the way a filling disk or a failing one does.
#pragma once

#include <atomic>

class FailingVfs {
public:
    enum class Failure { None, DiskFull, IoError };

    // Registers itself as the process's default file system for SQLite (every connection opened
    // afterwards goes through it); unregistered when destroyed. One at a time.
    FailingVfs();
    ~FailingVfs();
    FailingVfs(const FailingVfs&) = delete;
    FailingVfs& operator=(const FailingVfs&) = delete;

    // From now on every write, truncation and sync fails this way (None: they work again).
    void Fail(Failure failure) { s_failure = failure; }
    // Writes refused so far.
    int Refused() const { return s_refused; }

    static std::atomic<Failure> s_failure;
    static std::atomic<int> s_refused;
};
