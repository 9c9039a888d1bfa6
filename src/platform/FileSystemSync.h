// Puts on disk what was written to some file systems: one flush per file system, whatever the number of
// files written to it.
#pragma once

#include "OpenFolder.h"
#include "WriteBackThread.h"

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

class FileSystemSync {
public:
    FileSystemSync() = default;
    ~FileSystemSync();
    FileSystemSync(const FileSystemSync&) = delete;
    FileSystemSync& operator=(const FileSystemSync&) = delete;

    // Takes in the file system that holds `folder`, unless it is taken in already. A failure to write
    // back to it that happens from now on is reported by Sync, also for files closed long before. Call
    // it before writing into the folder.
    bool Watch(const std::string& folder, std::error_code& error);
    // The same for a folder held open.
    bool Watch(const OpenFolder& folder, std::error_code& error);

    // Starts writing a finished file of a watched file system to the disk, so that Sync finds little
    // left to write. Changes nothing the file holds.
    void StartWriteBack(OutputFile& file) { write_back_.Add(file); }

    // Returns when everything written to the watched file systems, files and folder entries alike, is
    // on their disks; false with the first failure to get it there.
    bool Sync(std::error_code& error);

private:
    struct Watched {
        std::uint64_t device;
        int descriptor;
    };
    std::vector<Watched> watched_;
    WriteBackThread write_back_;
};

} // namespace platform
