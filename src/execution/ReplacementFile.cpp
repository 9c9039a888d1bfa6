// Temporary files beside their destination: the rename that puts them in place is atomic only within
// one folder (one file system).
#include "ReplacementFile.h"

#include <cerrno>
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

ReplacementFile::ReplacementFile(const std::filesystem::path& destination) : destination_(destination) {
    const std::filesystem::path folder = destination_.parent_path();
    for (int attempt = 0; attempt < kNameAttempts && file_ == nullptr; ++attempt) {
        temporary_ = folder / TemporaryName();
        // "x": created here or not at all, never an existing file (or a link planted under that name).
        file_ = std::fopen(temporary_.c_str(), "wbx");
        if (file_ == nullptr && errno != EEXIST) {
            break;
        }
    }
    if (file_ == nullptr) {
        temporary_.clear();
        return;
    }
    // The chunks are large; a stream buffer would only copy them once more.
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

bool ReplacementFile::Write(const std::byte* data, std::size_t size) {
    return file_ != nullptr && std::fwrite(data, 1, size, file_) == size;
}

bool ReplacementFile::Commit() {
    if (file_ == nullptr) {
        return false;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    std::error_code error;
    if (closed) {
        std::filesystem::rename(temporary_, destination_, error);
        if (!error) {
            temporary_.clear();
            return true;
        }
    }
    Discard();
    return false;
}

void ReplacementFile::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
        temporary_.clear();
    }
}
