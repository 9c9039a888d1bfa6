// A regular file opened for reading without following a symbolic link in its place, so that what is
// read is the file that was examined and not something a link points to.
#pragma once

#include "FileEntry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace platform {

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Refuses symbolic links, folders, pipes and devices: only regular files are opened. Opening never
    // blocks, also not on a pipe put in place of the file.
    static InputFile Open(const std::string& path, std::error_code& error);

    bool IsOpen() const { return descriptor_ >= 0; }

    // Reads up to `size` bytes at `offset`; fewer only at the end of the file, 0 at the end. Independent
    // of any other read of the same file.
    std::size_t ReadAt(std::uint64_t offset, std::byte* buffer, std::size_t size,
                       std::error_code& error) const;

    // The status of the open file now (it may have changed since it was opened).
    EntryStatus Status(std::error_code& error) const;

    // The status the file had when Open examined it.
    const EntryStatus& OpenedStatus() const { return opened_; }

private:
    friend class OutputFile; // copies from an input file within the kernel
    explicit InputFile(int descriptor) : descriptor_(descriptor) {}
    int descriptor_ = -1;
    EntryStatus opened_;
};

} // namespace platform
