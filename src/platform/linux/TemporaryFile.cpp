// Linux: an unnamed file in the temporary folder, close-on-exec from its first moment, which
// std::tmpfile() is not: a program started by another thread in between would inherit it.
#include "platform/TemporaryFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

std::string TemporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

} // namespace

std::FILE* OpenAnonymousTemporaryFile() {
    const std::string folder = TemporaryFolder();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A file system without unnamed files: a named one, removed at once.
        std::string name = folder + "/zelkor-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        ::unlink(name.c_str());
    }
    std::FILE* file = ::fdopen(fd, "w+");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}
