// Parsing and building repository paths.
#include "ArkonPath.h"

#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <string_view>

namespace utils::path {
namespace {

constexpr std::wstring_view kScheme = L"arkon://";
constexpr std::wstring_view kIdMarker = L"?id=";
constexpr std::size_t kUuidLength = 36;

bool IsHex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// Only the canonical 8-4-4-4-12 form counts as an identifier, so that no other text is taken for one.
std::optional<boost::uuids::uuid> CanonicalUuid(std::wstring_view text) {
    if (text.size() != kUuidLength) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != L'-' : !IsHex(text[i])) {
            return std::nullopt;
        }
    }
    return boost::uuids::string_generator()(text.begin(), text.end());
}

} // namespace

bool ParseArkonPath(const std::wstring& text, std::wstring& root, std::vector<std::wstring>& names,
                    std::optional<boost::uuids::uuid>& id, bool drop_empty_names) {
    std::wstring_view rest = text;
    if (!rest.starts_with(kScheme)) {
        return false;
    }
    rest.remove_prefix(kScheme.size());

    std::optional<boost::uuids::uuid> parsed_id;
    if (rest.size() >= kIdMarker.size() + kUuidLength) {
        const std::size_t marker = rest.size() - kUuidLength - kIdMarker.size();
        if (rest.substr(marker, kIdMarker.size()) == kIdMarker) {
            parsed_id = CanonicalUuid(rest.substr(marker + kIdMarker.size()));
            if (parsed_id) {
                rest = rest.substr(0, marker);
            }
        }
    }

    const std::size_t slash = rest.find(L'/');
    const std::wstring_view connection = rest.substr(0, slash);
    if (connection.empty()) {
        return false;
    }
    std::vector<std::wstring> parsed_names;
    if (slash != std::wstring_view::npos) {
        std::wstring_view remaining = rest.substr(slash + 1);
        for (;;) {
            const std::size_t next = remaining.find(L'/');
            const std::wstring_view name = remaining.substr(0, next);
            if (!name.empty() || !drop_empty_names) {
                parsed_names.emplace_back(name);
            }
            if (next == std::wstring_view::npos) {
                break;
            }
            remaining.remove_prefix(next + 1);
        }
    }
    root.assign(connection);
    names = std::move(parsed_names);
    id = parsed_id;
    return true;
}

std::wstring MakeArkonPath(const std::wstring& root, const std::vector<std::wstring>& names,
                           const std::optional<boost::uuids::uuid>& id) {
    std::wstring text(kScheme);
    text += root;
    text += L'/';
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            text += L'/';
        }
        text += names[i];
    }
    if (id) {
        text += kIdMarker;
        text += boost::uuids::to_wstring(*id);
    }
    return text;
}

} // namespace utils::path
