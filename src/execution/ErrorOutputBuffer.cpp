// A tool's standard error in memory, or in a temporary file once it grows large.
#include "execution/ErrorOutputBuffer.h"

#include "platform/TemporaryFile.h"

#include <algorithm>
#include <array>

ErrorOutputBuffer::~ErrorOutputBuffer() {
    if (m_file != nullptr) {
        std::fclose(m_file); // the file has no name: closing it frees its space
    }
}

bool ErrorOutputBuffer::MoveToFile() {
    // A file without a name, so nothing stays behind even when the scheduler is killed.
    m_file = OpenAnonymousTemporaryFile();
    if (m_file == nullptr) {
        m_fileFailed = true;
        return false;
    }
    // Unbuffered, so that a write the disk refuses is known at once and exactly.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    if (std::fwrite(m_memory.data(), 1, m_memory.size(), m_file) != m_memory.size()) {
        std::fclose(m_file);
        m_file = nullptr;
        m_fileFailed = true;
        return false;
    }
    std::string().swap(m_memory);
    return true;
}

void ErrorOutputBuffer::Append(std::string_view bytes) {
    if (m_file == nullptr && !m_fileFailed && m_memory.size() + bytes.size() > m_memoryLimit) {
        MoveToFile();
    }
    if (m_file != nullptr && !m_fileFull) {
        const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), m_file);
        if (written == bytes.size()) {
            return;
        }
        // The disk is full: the rest, and all that comes after it, stays in memory behind the file.
        m_fileFull = true;
        bytes.remove_prefix(written);
    }
    const std::size_t room = m_memoryCap - std::min(m_memory.size(), m_memoryCap);
    if (bytes.size() > room) {
        m_dropped += bytes.size() - room;
        bytes = bytes.substr(0, room);
        // Exactly the cap, not the doubling growth would make of it.
        m_memory.reserve(m_memoryCap);
    }
    m_memory.append(bytes);
}

void ErrorOutputBuffer::ReadBack(const std::function<void(std::string_view)>& sink) {
    if (m_file != nullptr) {
        std::rewind(m_file);
        std::array<char, 65536> chunk;
        for (;;) {
            const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), m_file);
            if (count == 0) {
                break;
            }
            sink(std::string_view(chunk.data(), count));
        }
        std::fseek(m_file, 0, SEEK_END);
    }
    if (!m_memory.empty()) {
        sink(m_memory);
    }
}
