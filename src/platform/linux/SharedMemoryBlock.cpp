// Linux: a System V segment holds the block; an advisory lock on a file in the user's runtime folder
// is the lock. Qt's own System V semaphore is not used: every QSharedMemory::create() call, including
// one that fails because the block exists, resets that semaphore to "free", so a second start could
// enter while the first one held the lock.
#include "platform/SharedMemoryBlock.h"

#include "platform/linux/UserRuntimeDir.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

struct SharedMemoryBlock::Handles {
    QString lockPath;
    key_t ipcKey = IPC_PRIVATE;
    qsizetype size = 0;
    int lockFile = -1;
    int segment = -1;
    void* address = nullptr;
    bool locked = false;
};

namespace {

// System V keys are one machine-wide namespace of 32-bit numbers. Hashing the lock file's path keeps
// the key stable for as long as the path is, and different for every user and installation.
key_t IpcKeyFor(const QString& path) {
    const QByteArray digest = QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha256);
    const auto key = static_cast<key_t>(qFromBigEndian<quint32>(digest.constData()) & 0x7fffffffU);
    return key == IPC_PRIVATE ? 1 : key;
}

bool LockFile(int file, int operation) {
    while (flock(file, operation) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Holds the cross-process lock for the duration of a structural change (create, attach, detach),
// unless the owner already holds it.
class StructureLock {
public:
    StructureLock(int file, bool alreadyHeld) : m_file(file), m_taken(!alreadyHeld) {
        if (m_taken) {
            m_ok = LockFile(m_file, LOCK_EX);
            m_error = errno;
            m_taken = m_ok;
        }
    }
    ~StructureLock() {
        if (m_taken) {
            LockFile(m_file, LOCK_UN);
        }
    }
    StructureLock(const StructureLock&) = delete;
    StructureLock& operator=(const StructureLock&) = delete;

    bool Ok() const { return m_ok; }
    int ErrorCode() const { return m_error; }

private:
    int m_file;
    bool m_taken;
    bool m_ok = true;
    int m_error = 0;
};

SharedMemoryBlock::Error ErrorForErrno(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return SharedMemoryBlock::Error::PermissionDenied;
    case EEXIST:
        return SharedMemoryBlock::Error::AlreadyExists;
    case ENOENT:
    case EIDRM:
        return SharedMemoryBlock::Error::NotFound;
    case EINVAL:
        return SharedMemoryBlock::Error::InvalidSize;
    case ENOMEM:
    case ENOSPC:
    case EMFILE:
    case ENFILE:
        return SharedMemoryBlock::Error::OutOfResources;
    default:
        return SharedMemoryBlock::Error::Unknown;
    }
}

} // namespace

SharedMemoryBlock::SharedMemoryBlock(const QString& key, qsizetype size)
    : m_handles(std::make_unique<Handles>()) {
    m_handles->size = size;
    const QString folder = UserRuntimeDir();
    if (!folder.isEmpty() && !key.isEmpty()) {
        m_handles->lockPath = folder + QLatin1Char('/') + key + QLatin1String(".lock");
        m_handles->ipcKey = IpcKeyFor(m_handles->lockPath);
    }
}

SharedMemoryBlock::~SharedMemoryBlock() {
    Detach();
    if (m_handles->lockFile >= 0) {
        // Closing the only descriptor also drops a lock still held.
        close(m_handles->lockFile);
    }
}

bool SharedMemoryBlock::Create() {
    constexpr const char* function = "SharedMemoryBlock::create";
    if (IsAttached()) {
        Fail(Error::AlreadyExists, function, QStringLiteral("already attached"));
        return false;
    }
    if (m_handles->size <= 0) {
        Fail(Error::InvalidSize, function, QStringLiteral("invalid size"));
        return false;
    }
    if (!OpenLockFile(function)) {
        return false;
    }
    const StructureLock guard(m_handles->lockFile, m_handles->locked);
    if (!guard.Ok()) {
        Fail(Error::LockError, function, QString::fromLocal8Bit(std::strerror(guard.ErrorCode())));
        return false;
    }
    if (!RemoveIfAbandoned(function)) {
        return false;
    }
    const int segment =
        shmget(m_handles->ipcKey, static_cast<size_t>(m_handles->size), IPC_CREAT | IPC_EXCL | 0600);
    if (segment < 0) {
        FailWithErrno(function, errno);
        return false;
    }
    void* address = shmat(segment, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        const int code = errno;
        shmctl(segment, IPC_RMID, nullptr);
        FailWithErrno(function, code);
        return false;
    }
    Attached(segment, address);
    return true;
}

bool SharedMemoryBlock::Attach() {
    constexpr const char* function = "SharedMemoryBlock::attach";
    if (IsAttached()) {
        return true;
    }
    if (!OpenLockFile(function)) {
        return false;
    }
    const StructureLock guard(m_handles->lockFile, m_handles->locked);
    if (!guard.Ok()) {
        Fail(Error::LockError, function, QString::fromLocal8Bit(std::strerror(guard.ErrorCode())));
        return false;
    }
    const int segment = shmget(m_handles->ipcKey, 0, 0);
    if (segment < 0) {
        FailWithErrno(function, errno);
        return false;
    }
    shmid_ds status{};
    if (!StatOwnSegment(segment, status, function)) {
        return false;
    }
    void* address = shmat(segment, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        FailWithErrno(function, errno);
        return false;
    }
    Attached(segment, address);
    return true;
}

// Only a segment of this user and of the expected size is ever used or removed: the key may be taken
// by another program's segment.
bool SharedMemoryBlock::StatOwnSegment(int segment, shmid_ds& status, const char* function) {
    if (shmctl(segment, IPC_STAT, &status) != 0) {
        FailWithErrno(function, errno);
        return false;
    }
    if (status.shm_perm.uid != geteuid() || status.shm_segsz != static_cast<size_t>(m_handles->size)) {
        Fail(Error::KeyError, function, QStringLiteral("the key belongs to a segment of another program"));
        return false;
    }
    return true;
}

void SharedMemoryBlock::Attached(int segment, void* address) {
    m_handles->segment = segment;
    m_handles->address = address;
    m_error = Error::None;
    m_errorString.clear();
}

bool SharedMemoryBlock::IsAttached() const {
    return m_handles->address != nullptr;
}

bool SharedMemoryBlock::Lock() {
    constexpr const char* function = "SharedMemoryBlock::lock";
    if (m_handles->locked) {
        return true;
    }
    if (!OpenLockFile(function)) {
        return false;
    }
    if (!LockFile(m_handles->lockFile, LOCK_EX)) {
        Fail(Error::LockError, function, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_handles->locked = true;
    return true;
}

bool SharedMemoryBlock::Unlock() {
    constexpr const char* function = "SharedMemoryBlock::unlock";
    if (!m_handles->locked) {
        Fail(Error::LockError, function, QStringLiteral("not locked"));
        return false;
    }
    if (!LockFile(m_handles->lockFile, LOCK_UN)) {
        Fail(Error::LockError, function, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_handles->locked = false;
    return true;
}

void* SharedMemoryBlock::Data() const {
    return m_handles->address;
}

qsizetype SharedMemoryBlock::Size() const {
    return IsAttached() ? m_handles->size : 0;
}

SharedMemoryBlock::Error SharedMemoryBlock::LastError() const {
    return m_error;
}

QString SharedMemoryBlock::ErrorString() const {
    return m_errorString;
}

bool SharedMemoryBlock::OpenLockFile(const char* function) {
    if (m_handles->lockFile >= 0) {
        return true;
    }
    if (m_handles->lockPath.isEmpty()) {
        Fail(Error::KeyError, function, QStringLiteral("no key or no runtime folder for this user"));
        return false;
    }
    // Close-on-exec: a started task must not keep the lock (or the file) alive after we release it.
    const int file =
        open(QFile::encodeName(m_handles->lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0) {
        FailWithErrno(function, errno);
        return false;
    }
    m_handles->lockFile = file;
    return true;
}

// A segment stays in the system after the process that made it was killed. Nobody attached means
// nobody can be using it: its content describes a process that no longer exists.
bool SharedMemoryBlock::RemoveIfAbandoned(const char* function) {
    const int segment = shmget(m_handles->ipcKey, 0, 0);
    if (segment < 0) {
        if (errno == ENOENT) {
            return true;
        }
        FailWithErrno(function, errno);
        return false;
    }
    shmid_ds status{};
    if (!StatOwnSegment(segment, status, function)) {
        return false;
    }
    if (status.shm_nattch != 0) {
        Fail(Error::AlreadyExists, function, QStringLiteral("already exists"));
        return false;
    }
    if (shmctl(segment, IPC_RMID, nullptr) != 0) {
        FailWithErrno(function, errno);
        return false;
    }
    return true;
}

void SharedMemoryBlock::Detach() {
    if (!IsAttached()) {
        return;
    }
    const StructureLock guard(m_handles->lockFile, m_handles->locked);
    shmdt(m_handles->address);
    m_handles->address = nullptr;
    // The last one out removes the block, as named memory on other systems goes with its last handle.
    shmid_ds status{};
    if (shmctl(m_handles->segment, IPC_STAT, &status) == 0 && status.shm_nattch == 0) {
        shmctl(m_handles->segment, IPC_RMID, nullptr);
    }
    m_handles->segment = -1;
}

void SharedMemoryBlock::Fail(Error error, const char* function, const QString& reason) {
    m_error = error;
    m_errorString = QLatin1String(function) + QLatin1String(": ") + reason;
}

void SharedMemoryBlock::FailWithErrno(const char* function, int code) {
    Fail(ErrorForErrno(code), function, QString::fromLocal8Bit(std::strerror(code)));
}
