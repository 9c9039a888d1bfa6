// Reading and writing the value texts of the storage file.
#include "ValueText.h"

#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <array>
#include <cwctype>
#include <limits>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace {

constexpr std::array<const wchar_t*, 5> kFormatTexts = {L"DXF", L"MIF", L"PNR", L"DWG", L"IFC"};

// The same reading a C++ stream gives (leading blanks skipped, an optional sign), in the classic
// locale whatever the program's global locale is, and then nothing but blanks up to the end.
template <typename T>
std::optional<T> ParseWhole(const std::wstring& text) {
    // The file's own numbers (digits, perhaps a minus) are read here: a stream for each of a hundred
    // thousand remembered times would cost more than the rest of the load. Anything else, and any
    // number that does not fit, takes the stream's way.
    const bool negative = !text.empty() && text[0] == L'-';
    const std::size_t digits = text.size() - (negative ? 1 : 0);
    if (digits > 0 && digits <= 18) {
        bool plain = true;
        std::int64_t value = 0;
        for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
            if (text[i] < L'0' || text[i] > L'9') {
                plain = false;
                break;
            }
            value = value * 10 + (text[i] - L'0'); // at most 18 digits: never beyond the range
        }
        value = negative ? -value : value;
        if (plain && value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max()) {
            return static_cast<T>(value);
        }
    }
    std::wistringstream stream(text);
    stream.imbue(std::locale::classic());
    T value{};
    stream >> value;
    if (stream.fail()) {
        return std::nullopt;
    }
    stream >> std::ws;
    if (!stream.eof()) {
        return std::nullopt;
    }
    return value;
}

std::wstring Trimmed(const std::wstring& text) {
    const auto first = text.find_first_not_of(L" \t\n\v\f\r");
    if (first == std::wstring::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t\n\v\f\r") - first + 1);
}

} // namespace

std::wstring BoolToText(bool value) {
    return value ? L"true" : L"false";
}

std::wstring FormatToText(ExportFormat format) {
    const auto index = static_cast<std::int32_t>(format);
    if (index < 0 || index >= static_cast<std::int32_t>(kFormatTexts.size())) {
        return {};
    }
    return kFormatTexts[static_cast<std::size_t>(index)];
}

std::wstring UuidToText(const boost::uuids::uuid& id) {
    return boost::uuids::to_wstring(id);
}

std::optional<std::int64_t> ParseInt64(const std::wstring& text) {
    return ParseWhole<std::int64_t>(text);
}

std::optional<std::int32_t> ParseInt32(const std::wstring& text) {
    return ParseWhole<std::int32_t>(text);
}

std::optional<std::uint8_t> ParseByte(const std::wstring& text) {
    // Read wide, then range-check: a stream would take "-1" as the largest unsigned value, and a byte
    // extraction would read a character, not a number.
    const auto value = ParseWhole<std::int64_t>(text);
    if (!value || *value < 0 || *value > std::numeric_limits<std::uint8_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*value);
}

std::optional<bool> ParseBool(const std::wstring& text) {
    const std::wstring value = Trimmed(text);
    if (value == L"true" || value == L"1") {
        return true;
    }
    if (value == L"false" || value == L"0") {
        return false;
    }
    return std::nullopt;
}

std::optional<boost::uuids::uuid> ParseUuid(const std::wstring& text) {
    try {
        return boost::uuids::string_generator()(text);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

std::optional<ExportFormat> ParseFormat(const std::wstring& text) {
    for (std::size_t i = 0; i < kFormatTexts.size(); ++i) {
        if (text == kFormatTexts[i]) {
            return static_cast<ExportFormat>(i);
        }
    }
    return std::nullopt;
}
