// A folder tree in a temporary folder, for tests that need a repository or a destination on disk.
#pragma once

#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class FolderTree {
public:
    FolderTree();

    // The absolute path of an entry below the tree's folder (UTF-8); the folder itself for "".
    std::string Path(std::string_view relative = {}) const;
    std::wstring WidePath(std::string_view relative = {}) const;

    // Writes a file, making its missing parent folders.
    void Write(std::string_view relative, std::string_view content) const;
    void MakeFolder(std::string_view relative) const;
    std::string Read(std::string_view relative) const;
    bool Exists(std::string_view relative) const;
    // Sets the modification time (seconds and nanoseconds since 1970), of a link itself if it is one.
    void SetModified(std::string_view relative, std::int64_t seconds, std::int64_t nanoseconds) const;
    // Every entry below the folder, folders with a trailing "/", sorted; links are not followed.
    std::vector<std::string> Entries(std::string_view relative = {}) const;

private:
    QTemporaryDir folder_;
};

// A file of `size` bytes whose content depends on `seed`, so that two different files rarely match.
std::string Content(std::size_t size, unsigned seed);
