// Built from the folder and file primitives: a file without a name where the file system makes one (it
// only appears once whole), named "<name>.saving" otherwise, and renamed over the old file in both cases.
#include "platform/ReplacedFile.h"

#include "platform/FileEntry.h"
#include "platform/OpenFolder.h"
#include "platform/OutputFile.h"

#include <filesystem>
#include <mutex>

namespace platform {
namespace {

// Where `path` leads through symbolic links, as far as they go (a chain longer than the kernel would follow
// is left as it is, and the rename then replaces the link itself).
std::filesystem::path LinkTarget(const std::filesystem::path& path) {
    std::filesystem::path current = path;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error))) {
            return current;
        }
        std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) {
            return current;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return path;
}

// Makes the file that will take `name`'s place: unnamed where it can be, else under the replacement's name,
// whatever an earlier, interrupted replacement left there being removed first.
OutputFile MakeReplacement(const OpenFolder& folder, const std::string& name, std::uint32_t permissions,
                           bool& unnamed, std::error_code& error) {
    OutputFile file = OutputFile::CreateUnnamed(folder, error, permissions);
    unnamed = file.IsOpen();
    if (unnamed) {
        return file;
    }
    std::error_code ignored;
    folder.Remove(ReplacementName(name), ignored);
    return OutputFile::CreateNew(folder, ReplacementName(name), error, permissions);
}

bool GiveReplacementItsName(OutputFile& file, const OpenFolder& folder, const std::string& name,
                            std::error_code& error) {
    const std::string replacement = ReplacementName(name);
    if (file.LinkAs(folder, replacement, error)) {
        return true;
    }
    if (error != std::errc::file_exists) {
        return false;
    }
    // Left by a replacement that was interrupted between naming its file and renaming it.
    return folder.Remove(replacement, error) && file.LinkAs(folder, replacement, error);
}

} // namespace

std::string ReplacementName(const std::string& name) {
    return name + ".saving";
}

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::error_code& error) {
    // Two replacements of one file would share the replacement's name.
    static std::mutex replacing;
    std::lock_guard lock(replacing);

    const std::filesystem::path target = LinkTarget(path);
    const std::string name = target.filename().string();
    const std::filesystem::path parent = target.parent_path();
    const OpenFolder folder = OpenFolder::Open(parent.empty() ? "." : parent.string(), true, error);
    if (!folder.IsOpen()) {
        return false;
    }
    std::error_code ignored;
    const std::optional<EntryStatus> old = EntryStatusOf(target.string(), ignored);
    const bool keepPermissions = old && old->type == EntryType::File;
    // Until its permissions are those of the file it replaces, nobody else may read it.
    bool unnamed = false;
    OutputFile file = MakeReplacement(folder, name, keepPermissions ? 0600 : 0666, unnamed, error);
    if (!file.IsOpen()) {
        return false;
    }
    const bool written =
        file.Write(reinterpret_cast<const std::byte*>(contents.data()), contents.size(), error) &&
        (!keepPermissions || file.SetPermissions(old->permissions, error)) && file.SyncData(error) &&
        (!unnamed || GiveReplacementItsName(file, folder, name, error)) && file.Close(error) &&
        folder.Rename(ReplacementName(name), name, error);
    if (!written) {
        folder.Remove(ReplacementName(name), ignored);
    }
    return written;
}

} // namespace platform
