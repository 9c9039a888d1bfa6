// A folder held open, so that the files made in it, and the names given to them, are looked up from the
// folder itself instead of from the root once for each: one walk down a deep path per folder instead of
// several per file. What is made through it goes into the folder that was opened, also when the folder
// has been renamed since.
#pragma once

#include <string>
#include <system_error>

namespace platform {

class OpenFolder {
public:
    OpenFolder() = default;
    ~OpenFolder();
    OpenFolder(OpenFolder&& other) noexcept;
    OpenFolder& operator=(OpenFolder&& other) noexcept;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    // With `follow_link` false a symbolic link in the folder's place is refused, not followed. Not open,
    // with the reason in `error`, when it cannot be opened or is not a folder.
    static OpenFolder Open(const std::string& path, bool follow_link, std::error_code& error);

    bool IsOpen() const { return descriptor_ >= 0; }

    // Whether files made in it take their permissions from the folder's default access list rather than
    // from the umask; also when that cannot be told.
    bool HasDefaultAccessList() const;

    // Renames the entry `from` of this folder to `to`, replacing what `to` was.
    bool Rename(const std::string& from, const std::string& to, std::error_code& error) const;
    // Removes the file `name` of this folder.
    bool Remove(const std::string& name, std::error_code& error) const;

private:
    friend class OutputFile;     // makes and names files in it
    friend class FileSystemSync; // flushes its file system
    int descriptor_ = -1;
};

} // namespace platform
