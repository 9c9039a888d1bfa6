// A file written beside its destination and put in its place only when it is complete, so that the
// previous file is never lost to a copy that did not finish, nor a half-written copy ever seen under
// the destination's name.
#pragma once

#include "platform/FileSystemSync.h"
#include "platform/OpenFolder.h"
#include "platform/OutputFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

class ReplacementFile {
public:
    // Creates the file in `folder`, which is to hold it under `name` and must outlive it: without a name
    // when `fresh` (nothing had that name when the folder was read) and the file system can make one,
    // otherwise a new hidden file named by TemporaryNamePattern. Check IsOpen, and Error for why not.
    // With `permissions` the file ends with exactly those: a named file is readable and writable by its
    // owner alone until Commit, an unnamed one, which nobody can open, is made with them, and Commit sets
    // them again only when `creation_mask` (what the folder's new files lose, where known) took some away.
    ReplacementFile(const platform::OpenFolder& folder, std::string name, bool fresh = false,
                    std::optional<std::uint32_t> permissions = std::nullopt,
                    std::optional<std::uint32_t> creation_mask = std::nullopt);
    // Removes the temporary file unless it was committed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_.IsOpen(); }
    // Why the last step failed.
    const std::error_code& Error() const { return error_; }

    // Whether a file name is one a ReplacementFile gives its temporary files.
    static bool IsTemporaryName(const std::string& name);
    bool Write(const std::byte* data, std::size_t size);
    // Appends up to `size` bytes of `from` at `offset` within the kernel; returns how many. Fewer when
    // `from` ends, or when the file systems cannot copy so (Error then says why): the rest is written.
    std::uint64_t CopyFrom(const platform::InputFile& from, std::uint64_t offset, std::uint64_t size);
    // The time the file is to carry, in microseconds since 1970; set after the last write, since a
    // write would move it again.
    bool SetModified(std::int64_t modified_us);
    // The time the file system keeps for the file now, which may be coarser than the one set.
    std::optional<std::int64_t> KeptModified() const;
    // Closes the file and puts it in the destination's place; its write-back is started through `sync`,
    // which is to put it on disk. On failure the file is removed and the destination is as it was.
    bool Commit(platform::FileSystemSync& sync);

private:
    bool LinkUnnamed();
    void Discard();

    const platform::OpenFolder& folder_;
    std::string name_;
    std::string temporary_;
    platform::OutputFile file_;
    std::optional<std::uint32_t> permissions_;
    bool permissions_set_ = false; // the file was made with them, whole
    std::error_code error_;
    bool unnamed_ = false; // made without a name, and not linked yet
};
