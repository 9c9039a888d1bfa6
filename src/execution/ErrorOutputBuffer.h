// Holding a running tool's standard error until the tool has ended and the run's result is known.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// Keeps the bytes in memory up to a limit and moves them to an anonymous temporary file beyond it, so
// that a tool that writes without end costs the scheduler disk space rather than all of its memory.
// When no temporary file can be had, or its disk is full, the bytes stay in memory up to the cap and
// the rest is only counted.
class ErrorOutputBuffer {
public:
    static constexpr std::size_t kDefaultMemoryLimit = std::size_t{8} << 20;

    explicit ErrorOutputBuffer(std::size_t memoryLimit = kDefaultMemoryLimit)
        : ErrorOutputBuffer(memoryLimit, 4 * memoryLimit) {}
    ErrorOutputBuffer(std::size_t memoryLimit, std::size_t memoryCap)
        : m_memoryLimit(memoryLimit), m_memoryCap(memoryCap) {}
    ErrorOutputBuffer(const ErrorOutputBuffer&) = delete;
    ErrorOutputBuffer& operator=(const ErrorOutputBuffer&) = delete;
    ~ErrorOutputBuffer();

    void Append(std::string_view bytes);

    // Hands every byte appended so far to the sink, in order and in chunks.
    void ReadBack(const std::function<void(std::string_view)>& sink);

    std::size_t BytesInMemory() const { return m_memory.size(); }
    // Bytes appended after the cap was reached, which ReadBack does not hand over.
    std::size_t DroppedBytes() const { return m_dropped; }
    bool Spilled() const { return m_file != nullptr; }

private:
    bool MoveToFile();

    std::size_t m_memoryLimit;
    std::size_t m_memoryCap;
    std::size_t m_dropped = 0;
    std::string m_memory;
    std::FILE* m_file = nullptr;
    bool m_fileFailed = false; // no temporary file to be had: stay in memory
    bool m_fileFull = false;   // the file took no more: later bytes follow it in memory
};
