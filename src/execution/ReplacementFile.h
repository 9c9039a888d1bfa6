// A file written under a temporary name beside its destination and put in place of the destination
// only when it is complete, so that the previous file is never lost to a copy that did not finish.
#pragma once

#include "platform/FileSystemSync.h"
#include "platform/OutputFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

class ReplacementFile {
public:
    // Creates a new hidden file in the destination's folder. Check IsOpen.
    explicit ReplacementFile(const std::filesystem::path& destination);
    // Removes the temporary file unless it was committed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_.IsOpen(); }
    bool Write(const std::byte* data, std::size_t size);
    // The time the file is to carry, in microseconds since 1970; set after the last write, since a
    // write would move it again.
    bool SetModified(std::int64_t modified_us);
    // The time the file system keeps for the file now, which may be coarser than the one set.
    std::optional<std::int64_t> KeptModified() const;
    // Closes the file and renames it over the destination; its write-back is started through `sync`,
    // which is to put it on disk. On failure the temporary file is removed and the destination is as
    // it was.
    bool Commit(platform::FileSystemSync& sync);

    const std::filesystem::path& TemporaryPath() const { return temporary_; }

private:
    void Discard();

    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    platform::OutputFile file_;
};
