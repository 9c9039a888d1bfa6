// Linux: a descriptor opened with O_CREAT | O_EXCL, which refuses any existing name, links included.
#include "platform/OutputFile.h"

#include "StatToEntryStatus.h"
#include "platform/FileSync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <utility>

namespace platform {
namespace {

// A descriptor a call has just given, or -1 with the call's reason in `error`.
int Checked(int descriptor, std::error_code& error) {
    if (descriptor < 0) {
        error.assign(errno, std::generic_category());
    } else {
        error.clear();
    }
    return descriptor;
}

// A file without a name is given one through its link under /proc, unless the kernel lets the descriptor
// itself be linked, which is known only once tried; where /proc is not mounted (some containers), no
// such file is made, or it might never be given a name.
bool CanLinkUnnamedFiles() {
    static const bool can = access("/proc/self/fd", X_OK) == 0;
    return can;
}

} // namespace

OutputFile::~OutputFile() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

OutputFile::OutputFile(OutputFile&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

OutputFile OutputFile::CreateNew(const std::string& path, std::error_code& error, std::uint32_t permissions) {
    return CreateNewAt(AT_FDCWD, path, error, permissions);
}

OutputFile OutputFile::CreateNew(const OpenFolder& folder, const std::string& name, std::error_code& error,
                                 std::uint32_t permissions) {
    return CreateNewAt(folder.descriptor_, name, error, permissions);
}

OutputFile OutputFile::CreateNewAt(int folder, const std::string& path, std::error_code& error,
                                   std::uint32_t permissions) {
    return OutputFile(Checked(openat(folder, path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                     static_cast<mode_t>(permissions)),
                              error));
}

OutputFile OutputFile::CreateUnnamed(const OpenFolder& folder, std::error_code& error,
                                     std::uint32_t permissions) {
    if (!CanLinkUnnamedFiles()) {
        error = std::make_error_code(std::errc::operation_not_supported);
        return {};
    }
    return OutputFile(Checked(
        openat(folder.descriptor_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, static_cast<mode_t>(permissions)),
        error));
}

bool OutputFile::LinkAs(const OpenFolder& folder, const std::string& name, std::error_code& error) {
    // By the descriptor itself (AT_EMPTY_PATH) when the kernel lets an unprivileged program do so (Linux
    // 6.10 on, for a file it opened itself; before, it fails with ENOENT); otherwise through the
    // descriptor's link under /proc, which needs no privilege but walks a path of its own each time.
    static std::atomic<bool> by_descriptor{true};
    const bool tried = by_descriptor.load(std::memory_order_relaxed);
    if (tried && linkat(descriptor_, "", folder.descriptor_, name.c_str(), AT_EMPTY_PATH) == 0) {
        error.clear();
        return true;
    }
    if (tried && errno != ENOENT) {
        error.assign(errno, std::generic_category());
        return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor_);
    if (linkat(AT_FDCWD, self.c_str(), folder.descriptor_, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    // Refused by the descriptor only: this kernel wants the privilege, so it is not asked again.
    by_descriptor.store(false, std::memory_order_relaxed);
    error.clear();
    return true;
}

bool OutputFile::Write(const std::byte* data, std::size_t size, std::error_code& error) {
    while (size > 0) {
        const ssize_t written = write(descriptor_, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            error.assign(errno, std::generic_category());
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    error.clear();
    return true;
}

std::uint64_t OutputFile::CopyFrom(const InputFile& from, std::uint64_t offset, std::uint64_t size,
                                   std::error_code& error) {
    error.clear();
    std::uint64_t copied = 0;
    while (copied < size) {
        // The input's offset is given, as its other reads give theirs; the output's moves, as a write's.
        auto at = static_cast<off64_t>(offset + copied);
        const ssize_t count = copy_file_range(from.descriptor_, &at, descriptor_, nullptr, size - copied, 0);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            // EXDEV, ENOSYS, EINVAL, EOPNOTSUPP… or a real failure: the caller's own way finds out which.
            error.assign(errno, std::generic_category());
            break;
        }
        if (count == 0) {
            break; // the end of the input
        }
        copied += static_cast<std::uint64_t>(count);
    }
    return copied;
}

bool OutputFile::SetModified(std::int64_t modified_us, std::error_code& error) {
    // Rounded towards minus infinity, so that a time before 1970 keeps a non-negative part below a second.
    std::int64_t seconds = modified_us / 1'000'000;
    std::int64_t rest = modified_us % 1'000'000;
    if (rest < 0) {
        --seconds;
        rest += 1'000'000;
    }
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(rest * 1'000);
    if (futimens(descriptor_, times) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    error.clear();
    return true;
}

bool OutputFile::SetPermissions(std::uint32_t permissions, std::error_code& error) {
    if (fchmod(descriptor_, static_cast<mode_t>(permissions)) != 0) {
        error.assign(errno, std::generic_category());
        return false;
    }
    error.clear();
    return true;
}

void OutputFile::MarkInUse() {
    // A lock of the open file description: it goes with the last descriptor, also when the program is
    // killed, which is what tells an abandoned file from one being written.
    flock(descriptor_, LOCK_EX | LOCK_NB);
}

EntryStatus OutputFile::Status(std::error_code& error) const {
    return DescriptorStatus(descriptor_, error);
}

void OutputFile::StartWriteBack() {
    // Only a hint: a failure here is found again by whatever flushes the file system.
    sync_file_range(descriptor_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

OutputFile OutputFile::Duplicate(std::error_code& error) const {
    return OutputFile(Checked(fcntl(descriptor_, F_DUPFD_CLOEXEC, 0), error));
}

bool OutputFile::SyncData(std::error_code& error) {
    if (!SyncFileData(descriptor_)) {
        error.assign(errno, std::generic_category());
        return false;
    }
    error.clear();
    return true;
}

bool OutputFile::Close(std::error_code& error) {
    const int descriptor = std::exchange(descriptor_, -1);
    // Linux frees the descriptor even when close fails, so it is never closed twice.
    if (descriptor >= 0 && close(descriptor) != 0 && errno != EINTR) {
        error.assign(errno, std::generic_category());
        return false;
    }
    error.clear();
    return true;
}

} // namespace platform
