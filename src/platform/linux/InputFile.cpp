// Linux: a read-only descriptor opened with O_NOFOLLOW and read with pread.
#include "platform/InputFile.h"

#include "StatToEntryStatus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

InputFile::~InputFile() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

InputFile::InputFile(InputFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), opened_(other.opened_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
        opened_ = other.opened_;
    }
    return *this;
}

InputFile InputFile::Open(const std::string& path, std::error_code& error) {
    // O_NONBLOCK keeps a pipe put in place of the file from blocking the open; it changes nothing for
    // the regular files that are actually read.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        error.assign(errno, std::generic_category());
        return {};
    }
    InputFile file(descriptor);
    struct stat info {};
    if (fstat(descriptor, &info) != 0) {
        error.assign(errno, std::generic_category());
        return {};
    }
    if (S_ISDIR(info.st_mode)) {
        error = std::make_error_code(std::errc::is_a_directory);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        error = std::make_error_code(std::errc::invalid_argument);
        return {};
    }
    file.opened_ = StatToEntryStatus(info);
    posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    error.clear();
    return file;
}

std::size_t InputFile::ReadAt(std::uint64_t offset, std::byte* buffer, std::size_t size,
                              std::error_code& error) const {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count =
            pread(descriptor_, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            error.assign(errno, std::generic_category());
            return done;
        }
        if (count == 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    error.clear();
    return done;
}

EntryStatus InputFile::Status(std::error_code& error) const {
    return DescriptorStatus(descriptor_, error);
}

} // namespace platform
