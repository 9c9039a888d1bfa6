// Files that take their destination's place only when complete. A copy for a name the folder did not
// have is made without a name and linked in at the end, which spares a rename and leaves nothing behind
// when the program is killed halfway; a copy that replaces a file is written under a temporary name
// beside it, since the rename that puts it in place is atomic only within one folder.
#include "ReplacementFile.h"

#include <random>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr int kNameAttempts = 16;
constexpr char kPrefix[] = ".zelkor-backup-";
constexpr char kSuffix[] = ".tmp";
constexpr std::size_t kDigitCount = 16;
constexpr char kDigits[] = "0123456789abcdef";

std::string TemporaryName() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name = kPrefix;
    std::uint64_t value = random();
    for (std::size_t i = 0; i < kDigitCount; ++i, value >>= 4) {
        name.push_back(kDigits[value & 0xF]);
    }
    return name + kSuffix;
}

} // namespace

bool ReplacementFile::IsTemporaryName(const std::string& name) {
    const std::string_view prefix = kPrefix;
    const std::string_view suffix = kSuffix;
    if (name.size() != prefix.size() + kDigitCount + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix)) {
        return false;
    }
    const std::string_view digits = std::string_view(name).substr(prefix.size(), kDigitCount);
    return digits.find_first_not_of(kDigits) == std::string_view::npos;
}

ReplacementFile::ReplacementFile(const platform::OpenFolder& folder, std::string name, bool fresh,
                                 std::optional<std::uint32_t> permissions,
                                 std::optional<std::uint32_t> creation_mask)
    : folder_(folder), name_(std::move(name)), permissions_(permissions) {
    if (fresh) {
        file_ = platform::OutputFile::CreateUnnamed(folder_, error_, permissions.value_or(0666));
        unnamed_ = file_.IsOpen();
        // Spares a call per file, which a first backup of many small documents feels.
        permissions_set_ = unnamed_ && permissions && creation_mask && (*permissions & *creation_mask) == 0;
    }
    // Never wider than the document while it is written, whatever the umask lets through.
    const std::uint32_t mode = permissions ? 0600 : 0666;
    for (int attempt = 0; attempt < kNameAttempts && !file_.IsOpen(); ++attempt) {
        temporary_ = TemporaryName();
        file_ = platform::OutputFile::CreateNew(folder_, temporary_, error_, mode);
        if (!file_.IsOpen() && error_ != std::errc::file_exists) {
            break;
        }
    }
    if (!file_.IsOpen()) {
        temporary_.clear();
    } else if (!temporary_.empty()) {
        // A later backup into this folder removes what a killed one left, but not this file.
        file_.MarkInUse();
    }
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

bool ReplacementFile::Write(const std::byte* data, std::size_t size) {
    return file_.IsOpen() && file_.Write(data, size, error_);
}

std::uint64_t ReplacementFile::CopyFrom(const platform::InputFile& from, std::uint64_t offset,
                                        std::uint64_t size) {
    return file_.IsOpen() ? file_.CopyFrom(from, offset, size, error_) : 0;
}

bool ReplacementFile::SetModified(std::int64_t modified_us) {
    return file_.IsOpen() && file_.SetModified(modified_us, error_);
}

std::optional<std::int64_t> ReplacementFile::KeptModified() const {
    std::error_code error;
    const platform::EntryStatus status = file_.IsOpen() ? file_.Status(error) : platform::EntryStatus{};
    if (!file_.IsOpen() || error) {
        return std::nullopt;
    }
    return status.modified_us;
}

bool ReplacementFile::Commit(platform::FileSystemSync& sync) {
    if (!file_.IsOpen()) {
        return false;
    }
    if (permissions_ && !permissions_set_ && !file_.SetPermissions(*permissions_, error_)) {
        Discard();
        return false;
    }
    sync.StartWriteBack(file_);
    if (unnamed_ && !LinkUnnamed()) {
        Discard();
        return false;
    }
    if (temporary_.empty()) {
        if (file_.Close(error_)) {
            return true;
        }
        // Linked under the destination's name just now: it is this copy's own, and not whole.
        std::error_code ignored;
        folder_.Remove(name_, ignored);
        return false;
    }
    if (file_.Close(error_)) {
        if (folder_.Rename(temporary_, name_, error_)) {
            temporary_.clear();
            return true;
        }
    }
    Discard();
    return false;
}

// Under the destination's name when that is still free; otherwise something took it since the folder
// was read, and it is replaced as any previous copy is: through a temporary name.
bool ReplacementFile::LinkUnnamed() {
    unnamed_ = false;
    if (file_.LinkAs(folder_, name_, error_)) {
        return true;
    }
    for (int attempt = 0; attempt < kNameAttempts && error_ == std::errc::file_exists; ++attempt) {
        std::string temporary = TemporaryName();
        if (file_.LinkAs(folder_, temporary, error_)) {
            temporary_ = std::move(temporary);
            return true;
        }
    }
    return false;
}

void ReplacementFile::Discard() {
    std::error_code ignored;
    file_.Close(ignored);
    if (!temporary_.empty()) {
        folder_.Remove(temporary_, ignored);
        temporary_.clear();
    }
}
