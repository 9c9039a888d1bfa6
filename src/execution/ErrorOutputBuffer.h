// Holding a running tool's standard error until the tool has ended and the run's result is known.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// Keeps the bytes in memory up to a limit and moves them to an anonymous temporary file beyond it, so
// that a tool that writes without end costs the scheduler disk space rather than all of its memory.
// When no temporary file can be had, everything stays in memory.
class ErrorOutputBuffer {
public:
    static constexpr std::size_t kDefaultMemoryLimit = std::size_t{8} << 20;

    explicit ErrorOutputBuffer(std::size_t memoryLimit = kDefaultMemoryLimit) : m_memoryLimit(memoryLimit) {}
    ErrorOutputBuffer(const ErrorOutputBuffer&) = delete;
    ErrorOutputBuffer& operator=(const ErrorOutputBuffer&) = delete;
    ~ErrorOutputBuffer();

    void Append(std::string_view bytes);

    // Hands every byte appended so far to the sink, in order and in chunks.
    void ReadBack(const std::function<void(std::string_view)>& sink);

    std::size_t BytesInMemory() const { return m_memory.size(); }
    bool Spilled() const { return m_file != nullptr; }

private:
    bool MoveToFile();

    std::size_t m_memoryLimit;
    std::string m_memory;
    std::FILE* m_file = nullptr;
    bool m_fileFailed = false; // no temporary file to be had: stay in memory
    bool m_fileFull = false;   // the file took no more: later bytes follow it in memory
};
