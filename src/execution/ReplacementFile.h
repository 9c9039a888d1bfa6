// A file written under a temporary name beside its destination and put in place of the destination
// only when it is complete, so that the previous file is never lost to a copy that did not finish.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>

class ReplacementFile {
public:
    // Creates a new hidden file in the destination's folder. Check IsOpen.
    explicit ReplacementFile(const std::filesystem::path& destination);
    // Removes the temporary file unless it was committed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    bool Write(const std::byte* data, std::size_t size);
    // Closes the file and renames it over the destination. On failure the temporary file is removed and
    // the destination is as it was.
    bool Commit();

    const std::filesystem::path& TemporaryPath() const { return temporary_; }

private:
    void Discard();

    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    std::FILE* file_ = nullptr;
};
