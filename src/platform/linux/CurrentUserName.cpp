// Linux: the effective user's entry in the password database, else the USER variable.
#include "platform/CurrentUserName.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

QString CurrentUserName() {
    const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::size_t size = hint > 0 ? static_cast<std::size_t>(hint) : 1024;
    // Entries served by a directory service can exceed the hint; grow the buffer a few times.
    while (size <= (std::size_t{1} << 20)) {
        std::vector<char> buffer(size);
        passwd entry{};
        passwd* found = nullptr;
        const int status = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (status == ERANGE) {
            size *= 2;
            continue;
        }
        if (status == 0 && found != nullptr && found->pw_name != nullptr && *found->pw_name != '\0') {
            return QString::fromLocal8Bit(found->pw_name);
        }
        break;
    }
    // A user id without an entry (a container started with a bare numeric id, for instance).
    return qEnvironmentVariable("USER");
}
