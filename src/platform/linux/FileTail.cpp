// Linux: the size from fstat and positioned reads, which leave the shared offset alone.
#include "platform/FileTail.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

FileTail ReadFileTail(int descriptor, std::size_t maxBytes) {
    FileTail tail;
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || info.st_size <= 0) {
        return tail;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t start = size - std::min<std::uint64_t>(size, maxBytes);
    tail.bytes.resize(static_cast<std::size_t>(size - start));
    std::size_t done = 0;
    while (done < tail.bytes.size()) {
        const ssize_t count = ::pread(descriptor, tail.bytes.data() + done, tail.bytes.size() - done,
                                      static_cast<off_t>(start + done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break; // shorter than it was a moment ago, or unreadable: what was read stays
        }
        done += static_cast<std::size_t>(count);
    }
    tail.bytes.resize(done);
    tail.leftOut = start;
    return tail;
}
