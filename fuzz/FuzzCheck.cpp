// Property checks of the fuzz targets.
#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

void FuzzCheck(bool condition, const char* what) {
    if (condition) {
        return;
    }
    std::fprintf(stderr, "Property broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

std::string Printable(std::wstring_view text) {
    std::string out;
    for (const wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char code[16];
            std::snprintf(code, sizeof code, "\\x{%X}", static_cast<unsigned>(c));
            out += code;
        }
    }
    return out;
}
