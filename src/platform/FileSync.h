// Making what was written to a file reach the disk.
#pragma once

// Waits until the data written through the open file descriptor is on the disk. False on failure (errno
// says why).
bool SyncFileData(int descriptor);
