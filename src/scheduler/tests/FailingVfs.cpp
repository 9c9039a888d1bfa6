// Every call goes to the real file system; writes, truncations and syncs first ask whether to fail.
#include "FailingVfs.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>

std::atomic<FailingVfs::Failure> FailingVfs::s_failure{FailingVfs::Failure::None};
std::atomic<int> FailingVfs::s_refused{0};

namespace {

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;

struct File {
    sqlite3_file base;
    sqlite3_file* real; // allocated right behind this struct
};

sqlite3_file* Real(sqlite3_file* file) {
    return reinterpret_cast<File*>(file)->real;
}

int Refusal() {
    switch (FailingVfs::s_failure.load()) {
    case FailingVfs::Failure::None:
        return SQLITE_OK;
    case FailingVfs::Failure::DiskFull:
        ++FailingVfs::s_refused;
        return SQLITE_FULL;
    case FailingVfs::Failure::IoError:
        ++FailingVfs::s_refused;
        return SQLITE_IOERR_WRITE;
    }
    return SQLITE_OK;
}

int Close(sqlite3_file* file) {
    const int code = Real(file)->pMethods ? Real(file)->pMethods->xClose(Real(file)) : SQLITE_OK;
    return code;
}
int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}
int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    if (const int refused = Refusal()) {
        return refused;
    }
    return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    if (const int refused = Refusal()) {
        return refused == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_TRUNCATE;
    }
    return Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file* file, int flags) {
    if (const int refused = Refusal()) {
        return refused == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_FSYNC;
    }
    return Real(file)->pMethods->xSync(Real(file), flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xLock(Real(file), level);
}
int Unlock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
    return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}
int SectorSize(sqlite3_file* file) {
    return Real(file)->pMethods->xSectorSize(Real(file));
}
int DeviceCharacteristics(sqlite3_file* file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
    return Real(file)->pMethods->xShmMap(Real(file), page, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) {
    Real(file)->pMethods->xShmBarrier(Real(file));
}
int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    return Real(file)->pMethods->xShmUnmap(Real(file), deleteFlag);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    // Memory-mapped pages would go around the failing writes: none are handed out.
    (void)file;
    (void)offset;
    (void)amount;
    *out = nullptr;
    return SQLITE_OK;
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    (void)page;
    return Real(file)->pMethods->xUnfetch(Real(file), offset, nullptr);
}

const sqlite3_io_methods kMethods = {3,
                                     Close,
                                     Read,
                                     Write,
                                     Truncate,
                                     Sync,
                                     FileSize,
                                     Lock,
                                     Unlock,
                                     CheckReservedLock,
                                     FileControl,
                                     SectorSize,
                                     DeviceCharacteristics,
                                     ShmMap,
                                     ShmLock,
                                     ShmBarrier,
                                     ShmUnmap,
                                     Fetch,
                                     Unfetch};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* wrapper = reinterpret_cast<File*>(file);
    wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
    std::memset(wrapper->real, 0, static_cast<std::size_t>(g_real->szOsFile));
    const int code = g_real->xOpen(g_real, name, wrapper->real, flags, outFlags);
    // A file the real layer did not open has no methods of its own: close is then not called on it.
    wrapper->base.pMethods = wrapper->real->pMethods != nullptr ? &kMethods : nullptr;
    return code;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) {
    return g_real->xDelete(g_real, name, syncDir);
}
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
    return g_real->xAccess(g_real, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return g_real->xFullPathname(g_real, name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) {
    return g_real->xDlOpen(g_real, name);
}
void DlError(sqlite3_vfs*, int size, char* out) {
    g_real->xDlError(g_real, size, out);
}
void (*DlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
    return g_real->xDlSym(g_real, handle, symbol);
}
void DlClose(sqlite3_vfs*, void* handle) {
    g_real->xDlClose(g_real, handle);
}
int Randomness(sqlite3_vfs*, int size, char* out) {
    return g_real->xRandomness(g_real, size, out);
}
int Sleep(sqlite3_vfs*, int microseconds) {
    return g_real->xSleep(g_real, microseconds);
}
int CurrentTime(sqlite3_vfs*, double* out) {
    return g_real->xCurrentTime(g_real, out);
}
int GetLastError(sqlite3_vfs*, int size, char* out) {
    return g_real->xGetLastError(g_real, size, out);
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return g_real->xCurrentTimeInt64(g_real, out);
}

} // namespace

FailingVfs::FailingVfs() {
    if (g_real != nullptr) {
        throw std::logic_error("one failing file system at a time");
    }
    sqlite3_initialize();
    g_real = sqlite3_vfs_find(nullptr);
    s_failure = Failure::None;
    s_refused = 0;
    std::memset(&g_vfs, 0, sizeof g_vfs);
    g_vfs.iVersion = 2;
    g_vfs.szOsFile = static_cast<int>(sizeof(File)) + g_real->szOsFile;
    g_vfs.mxPathname = g_real->mxPathname;
    g_vfs.zName = "failing";
    g_vfs.xOpen = Open;
    g_vfs.xDelete = Delete;
    g_vfs.xAccess = Access;
    g_vfs.xFullPathname = FullPathname;
    g_vfs.xDlOpen = DlOpen;
    g_vfs.xDlError = DlError;
    g_vfs.xDlSym = DlSym;
    g_vfs.xDlClose = DlClose;
    g_vfs.xRandomness = Randomness;
    g_vfs.xSleep = Sleep;
    g_vfs.xCurrentTime = CurrentTime;
    g_vfs.xGetLastError = GetLastError;
    g_vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    sqlite3_vfs_register(&g_vfs, 1);
}

FailingVfs::~FailingVfs() {
    s_failure = Failure::None;
    sqlite3_vfs_unregister(&g_vfs);
    sqlite3_vfs_register(g_real, 1); // the real one is the default again
    g_real = nullptr;
}
