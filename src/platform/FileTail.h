// The end of a file that another process may still be writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FileTail {
    std::string bytes;         // at most the last bytes asked for
    std::uint64_t leftOut = 0; // the bytes of the file before them
};

// Reads the last `maxBytes` of the open file by its descriptor, without moving the offset that a program
// sharing it writes at. A file that cannot be read gives nothing.
FileTail ReadFileTail(int descriptor, std::size_t maxBytes);
