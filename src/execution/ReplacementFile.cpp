// Files that take their destination's place only when complete. A copy for a name the folder did not
// have is made without a name and linked in at the end, which spares a rename and leaves nothing behind
// when the program is killed halfway; a copy that replaces a file is written under a temporary name
// beside it, since the rename that puts it in place is atomic only within one folder.
#include "ReplacementFile.h"

#include <random>
#include <string>

namespace {

constexpr int kNameAttempts = 16;

std::string TemporaryName() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name = ".zelkor-backup-";
    std::uint64_t value = random();
    for (int i = 0; i < 16; ++i, value >>= 4) {
        name.push_back(kDigits[value & 0xF]);
    }
    return name + ".tmp";
}

} // namespace

ReplacementFile::ReplacementFile(const std::filesystem::path& destination, bool fresh)
    : destination_(destination) {
    const std::filesystem::path folder = destination_.parent_path();
    std::error_code error;
    if (fresh) {
        file_ = platform::OutputFile::CreateUnnamed(folder.native(), error);
        unnamed_ = file_.IsOpen();
    }
    for (int attempt = 0; attempt < kNameAttempts && !file_.IsOpen(); ++attempt) {
        temporary_ = folder / TemporaryName();
        file_ = platform::OutputFile::CreateNew(temporary_.native(), error);
        if (!file_.IsOpen() && error != std::errc::file_exists) {
            break;
        }
    }
    if (!file_.IsOpen()) {
        temporary_.clear();
    }
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

bool ReplacementFile::Write(const std::byte* data, std::size_t size) {
    std::error_code error;
    return file_.IsOpen() && file_.Write(data, size, error);
}

bool ReplacementFile::SetModified(std::int64_t modified_us) {
    std::error_code error;
    return file_.IsOpen() && file_.SetModified(modified_us, error);
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
    sync.StartWriteBack(file_);
    std::error_code error;
    if (unnamed_ && !LinkUnnamed()) {
        Discard();
        return false;
    }
    if (temporary_.empty()) {
        if (file_.Close(error)) {
            return true;
        }
        // Linked under the destination's name just now: it is this copy's own, and not whole.
        std::filesystem::remove(destination_, error);
        return false;
    }
    if (file_.Close(error)) {
        std::filesystem::rename(temporary_, destination_, error);
        if (!error) {
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
    std::error_code error;
    if (file_.LinkAs(destination_.native(), error)) {
        return true;
    }
    for (int attempt = 0; attempt < kNameAttempts && error == std::errc::file_exists; ++attempt) {
        const std::filesystem::path temporary = destination_.parent_path() / TemporaryName();
        if (file_.LinkAs(temporary.native(), error)) {
            temporary_ = temporary;
            return true;
        }
    }
    return false;
}

void ReplacementFile::Discard() {
    std::error_code ignored;
    file_.Close(ignored);
    if (!temporary_.empty()) {
        std::filesystem::remove(temporary_, ignored);
        temporary_.clear();
    }
}
