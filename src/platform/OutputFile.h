// A new file written from its start to its end, created here or not at all: never an existing file, and
// never something a symbolic link planted under its name points to.
#pragma once

#include "FileEntry.h"
#include "InputFile.h"
#include "OpenFolder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace platform {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Fails with std::errc::file_exists when anything, also a dangling link, has that name. The new file
    // gets `permissions` less the process's umask.
    static OutputFile CreateNew(const std::string& path, std::error_code& error,
                                std::uint32_t permissions = 0666);

    // The same, for the file `name` of `folder`.
    static OutputFile CreateNew(const OpenFolder& folder, const std::string& name, std::error_code& error,
                                std::uint32_t permissions = 0666);

    // A file without a name in `folder`, which LinkAs gives one; until then no other program sees it, and
    // it vanishes with its descriptor. Not open, with the reason in `error`, where the file system cannot
    // make one (some network and FAT file systems).
    static OutputFile CreateUnnamed(const OpenFolder& folder, std::error_code& error,
                                    std::uint32_t permissions = 0666);

    bool IsOpen() const { return descriptor_ >= 0; }

    // Gives a file made by CreateUnnamed the name `name` in `folder`, the folder it was made in. Fails
    // with std::errc::file_exists when anything has that name: nothing is ever replaced.
    bool LinkAs(const OpenFolder& folder, const std::string& name, std::error_code& error);

    // Appends all of `data`, or fails.
    bool Write(const std::byte* data, std::size_t size, std::error_code& error);

    // Appends up to `size` bytes of `from`, read at `offset`, without bringing them into the program (the
    // file system may copy them, or share them, by itself). Returns how many; fewer than `size` at the end
    // of `from`, or with the reason in `error` when the file systems cannot copy between these files or
    // the copy failed: the caller then goes on in its own way from there.
    std::uint64_t CopyFrom(const InputFile& from, std::uint64_t offset, std::uint64_t size,
                           std::error_code& error);

    // Sets the modification time, in microseconds since 1970-01-01 00:00:00 UTC; the file system keeps
    // it as precisely as it can. The access time stays as it is.
    bool SetModified(std::int64_t modified_us, std::error_code& error);

    // Gives the file exactly these permission bits, whatever the umask.
    bool SetPermissions(std::uint32_t permissions, std::error_code& error);

    // Marks the file as being written, for as long as it is open, to whoever asks IsAbandoned. Only
    // a hint: it fails where the file system keeps no locks, and nothing relies on it then.
    void MarkInUse();

    EntryStatus Status(std::error_code& error) const;

    // Starts writing what was written so far to the disk, without waiting for it, so that a flush of
    // the whole file system later finds little left to write. Changes nothing the file holds.
    void StartWriteBack();

    // A second descriptor of the same open file, for starting its write-back elsewhere. Not open, with
    // the reason in `error`, when no descriptor is left.
    OutputFile Duplicate(std::error_code& error) const;

    // Waits until what was written is on the disk.
    bool SyncData(std::error_code& error);

    // Closing reports what a write that was only buffered until then failed with.
    bool Close(std::error_code& error);

private:
    explicit OutputFile(int descriptor) : descriptor_(descriptor) {}
    static OutputFile CreateNewAt(int folder, const std::string& path, std::error_code& error,
                                  std::uint32_t permissions);
    int descriptor_ = -1;
};

} // namespace platform
