// UTF-8 in and out, written out by hand because the standard converters are deprecated and the
// locale-based ones silently depend on the environment the program was started in.
#include "Utf8.h"

#include <cstdint>

static_assert(sizeof(wchar_t) == 4, "wide strings are expected to hold whole code points");

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalarValue(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Decodes one sequence at `at`; returns the code point and moves `at`, or nothing when the sequence is
// malformed (then `at` has moved past the first byte only).
std::optional<char32_t> DecodeOne(std::string_view bytes, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(bytes[at++]);
    if (lead < 0x80) {
        return lead;
    }
    int extra = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    std::size_t next = at;
    for (int i = 0; i < extra; ++i, ++next) {
        if (next >= bytes.size()) {
            return std::nullopt;
        }
        const auto byte = static_cast<unsigned char>(bytes[next]);
        if ((byte & 0xC0) != 0x80) {
            return std::nullopt;
        }
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < minimum || !IsScalarValue(value)) {
        return std::nullopt;
    }
    at = next;
    return value;
}

void EncodeOne(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

std::optional<std::wstring> WideFromUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto c = DecodeOne(bytes, at);
        if (!c) {
            return std::nullopt;
        }
        text.push_back(static_cast<wchar_t>(*c));
    }
    return text;
}

std::optional<std::string> Utf8FromWide(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const wchar_t w : text) {
        const auto c = static_cast<char32_t>(w);
        if (!IsScalarValue(c)) {
            return std::nullopt;
        }
        EncodeOne(c, bytes);
    }
    return bytes;
}

std::wstring WideFromUtf8Lossy(std::string_view bytes) {
    std::wstring text;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto c = DecodeOne(bytes, at);
        text.push_back(static_cast<wchar_t>(c.value_or(kReplacement)));
    }
    return text;
}

std::string Utf8FromWideLossy(std::wstring_view text) {
    std::string bytes;
    for (const wchar_t w : text) {
        const auto c = static_cast<char32_t>(w);
        EncodeOne(IsScalarValue(c) ? c : kReplacement, bytes);
    }
    return bytes;
}

std::size_t Utf8PrefixLength(std::string_view bytes, std::size_t maxBytes) {
    if (bytes.size() <= maxBytes) {
        return bytes.size();
    }
    const auto continues = [&bytes](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80;
    };
    // A character is at most four bytes: at most three continuation bytes to go back over.
    std::size_t end = maxBytes;
    while (end > 0 && maxBytes - end < 3 && continues(end)) {
        --end;
    }
    return continues(end) ? maxBytes : end;
}
