// Temporary folder trees for tests.
#include "FolderTree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

FolderTree::FolderTree() {
    if (!folder_.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
}

std::string FolderTree::Path(std::string_view relative) const {
    std::string path = folder_.path().toStdString();
    if (!relative.empty()) {
        path += '/';
        path += relative;
    }
    return path;
}

std::wstring FolderTree::WidePath(std::string_view relative) const {
    return QString::fromStdString(Path(relative)).toStdWString();
}

void FolderTree::Write(std::string_view relative, std::string_view content) const {
    const fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void FolderTree::MakeFolder(std::string_view relative) const {
    fs::create_directories(Path(relative));
}

std::string FolderTree::Read(std::string_view relative) const {
    std::ifstream file(Path(relative), std::ios::binary);
    if (!file) {
        return "<missing>";
    }
    std::ostringstream content;
    content << file.rdbuf();
    return std::move(content).str();
}

bool FolderTree::Exists(std::string_view relative) const {
    std::error_code error;
    return fs::exists(fs::symlink_status(Path(relative), error));
}

void FolderTree::SetModified(std::string_view relative, std::int64_t seconds,
                             std::int64_t nanoseconds) const {
    timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = nanoseconds;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, Path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        throw std::runtime_error("cannot set the time of " + Path(relative));
    }
}

std::vector<std::string> FolderTree::Entries(std::string_view relative) const {
    std::vector<std::string> entries;
    const fs::path base = Path(relative);
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
        // Not fs::relative, which resolves links and would name their targets instead.
        std::string name = entry.path().lexically_relative(base).string();
        if (entry.is_directory() && !entry.is_symlink()) {
            name += '/';
        }
        entries.push_back(std::move(name));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string Content(std::size_t size, unsigned seed) {
    std::string content(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : content) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return content;
}
