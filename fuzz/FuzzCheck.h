// Property checks of the fuzz targets: a broken property stops the run the way a crash does, so that
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Prints what was expected and aborts when the condition is false. Checks stay on in optimised builds.
void FuzzCheck(bool condition, const char* what);

// Wide text for a message: printable ASCII as is, everything else as \x{...}.
std::string Printable(std::wstring_view text);

// The fuzzer's bytes as a view.
inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}
