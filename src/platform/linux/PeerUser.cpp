// Linux: the peer's credentials as the kernel recorded them when it connected (SO_PEERCRED).
#include "platform/PeerUser.h"

#include <sys/socket.h>
#include <unistd.h>

bool IsPeerOfThisUser(qintptr socketDescriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0 ||
        getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials) {
        return false;
    }
    return credentials.uid == geteuid();
}
