// Which process of the user's installation holds a role: the kernel keeps the record, so a role held by a
// process that was killed is free at once.
#pragma once

#include <QString>

#include <chrono>

namespace platform {

// One role in a lock file shared by every process of the installation. The roles are independent: a
// process may hold several. Held until released, destroyed or the process ends.
class OwnershipLock {
public:
    enum class Role {
        Engine,     // runs the tasks and writes the storage file
        Window,     // a window's program runs: the background engine keeps out
        Background, // a background engine runs (one is enough)
    };

    OwnershipLock(QString path, Role role);
    ~OwnershipLock();
    OwnershipLock(const OwnershipLock&) = delete;
    OwnershipLock& operator=(const OwnershipLock&) = delete;

    // Takes the role if nobody holds it; never waits. True when this object holds it (also when it did
    // already). A lock file that cannot be made or opened is said on standard error once and leaves the
    // role untaken.
    bool TryTake();
    // The same, tried again every 20 ms for up to `patience`: for a role others may hold only for the
    // moment of a look.
    bool TakeWithin(std::chrono::milliseconds patience);
    // Letting the engine role go also touches the file, which tells a watcher of the file at once.
    void Release();
    bool Held() const { return m_held; }

private:
    QString m_path;
    Role m_role;
    int m_descriptor = -1;
    bool m_held = false;
    bool m_openFailed = false;
};

} // namespace platform
