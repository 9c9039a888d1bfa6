// A fixed-size block of memory shared by the processes of one user, with a lock between them.
#pragma once

#include <QString>

#include <memory>

// The block exists while at least one process is attached to it and goes away with its last
// attachment, whether that process ends normally or is killed. Create, Attach and the destructor are
// serialised across processes; Lock and Unlock guard the block's content.
class SharedMemoryBlock {
public:
    // The numeric codes reported in the program's critical log lines.
    enum class Error {
        None = 0,
        PermissionDenied = 1,
        InvalidSize = 2,
        KeyError = 3,
        AlreadyExists = 4,
        NotFound = 5,
        LockError = 6,
        OutOfResources = 7,
        Unknown = 8,
    };

    SharedMemoryBlock(const QString& key, qsizetype size);
    ~SharedMemoryBlock();
    SharedMemoryBlock(const SharedMemoryBlock&) = delete;
    SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

    // Creates the block, zero-filled, and attaches to it read-write. Fails with AlreadyExists while a
    // live process is attached to a block of this key; a block left behind with nobody attached (its
    // last process was killed) is removed first.
    bool Create();
    // Attaches read-write to the existing block; NotFound when there is none.
    bool Attach();
    bool IsAttached() const;

    // Blocks until this object holds the lock. The lock is released by Unlock, by the destructor, or by
    // the system when the process dies.
    bool Lock();
    bool Unlock();

    void* Data() const;
    qsizetype Size() const;

    Error LastError() const;
    QString ErrorString() const;

private:
    struct Handles;

    bool OpenLockFile(const char* function);
    bool RemoveIfAbandoned(const char* function);
    bool StatOwnSegment(int segment, struct shmid_ds& status, const char* function);
    void Attached(int segment, void* address);
    void Detach();
    void Fail(Error error, const char* function, const QString& reason);
    void FailWithErrno(const char* function, int code);

    std::unique_ptr<Handles> m_handles;
    Error m_error = Error::None;
    QString m_errorString;
};
