// Linux: fdatasync.
#include "platform/FileSync.h"

#include <cerrno>

#include <unistd.h>

bool SyncFileData(int descriptor) {
    int result = 0;
    do {
        result = fdatasync(descriptor);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}
