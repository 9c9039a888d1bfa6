// Fuzzes repository paths. The first byte chooses what the rest is: a path text to parse (both
// flags), or a connection name, item names and an optional identifier to build a path from and parse
// back. Parsing and building must agree except where the written form cannot tell two things apart
// (documented in ArkonPath.h).
#include "FuzzCheck.h"

#include "repository/ArkonPath.h"
#include "repository/Utf8.h"

#include <boost/uuid/uuid_io.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

using utils::path::MakeArkonPath;
using utils::path::ParseArkonPath;

namespace {

struct Parsed {
    std::wstring root = L"<untouched>";
    std::vector<std::wstring> names{L"<untouched>"};
    std::optional<boost::uuids::uuid> id = boost::uuids::uuid{{1, 2, 3}};
    bool ok = false;
    bool operator==(const Parsed&) const = default;
};

Parsed Parse(const std::wstring& text, bool drop_empty_names) {
    Parsed parsed;
    parsed.ok = ParseArkonPath(text, parsed.root, parsed.names, parsed.id, drop_empty_names);
    return parsed;
}

bool IsHex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// A text that ends in "?id=" and a canonical identifier: as the last name of a path without an
// identifier it is taken for the identifier.
bool EndsLikeIdentifier(const std::wstring& text) {
    constexpr std::size_t kLength = 4 + 36;
    if (text.size() < kLength) {
        return false;
    }
    const std::wstring_view tail = std::wstring_view(text).substr(text.size() - kLength);
    if (!tail.starts_with(L"?id=")) {
        return false;
    }
    for (std::size_t i = 0; i < 36; ++i) {
        const wchar_t c = tail[4 + i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != L'-' : !IsHex(c)) {
            return false;
        }
    }
    return true;
}

std::vector<std::wstring> WithoutEmpty(std::vector<std::wstring> names) {
    std::erase_if(names, [](const std::wstring& name) { return name.empty(); });
    return names;
}

bool HasSlash(const std::wstring& text) {
    return text.find(L'/') != std::wstring::npos;
}

void Print(const char* label, const Parsed& p) {
    std::string names;
    for (const auto& name : p.names) {
        names += "[" + Printable(name) + "]";
    }
    std::fprintf(stderr, "%s: ok=%d root=[%s] names=%s id=%s\n", label, p.ok, Printable(p.root).c_str(),
                 names.c_str(), p.id ? boost::uuids::to_string(*p.id).c_str() : "none");
}

void CheckSame(const Parsed& expected, const Parsed& actual, const char* what) {
    if (!(expected == actual)) {
        Print("expected", expected);
        Print("actual  ", actual);
    }
    FuzzCheck(expected == actual, what);
}

void ParseText(std::string_view bytes) {
    const std::wstring text = WideFromUtf8Lossy(bytes);
    const Parsed kept = Parse(text, false);
    const Parsed dropped = Parse(text, true);
    FuzzCheck(kept.ok == dropped.ok, "both flags accept the same texts");
    if (!kept.ok) {
        FuzzCheck(kept == Parsed{} && dropped == Parsed{}, "a refused text leaves the outputs untouched");
        return;
    }
    FuzzCheck(text.starts_with(L"arkon://"), "an accepted text starts with the scheme");
    FuzzCheck(!kept.root.empty() && !HasSlash(kept.root), "the connection name is one non-empty name");
    FuzzCheck(kept.root == dropped.root && kept.id == dropped.id, "the flag changes only the names");
    FuzzCheck(std::none_of(kept.names.begin(), kept.names.end(), HasSlash), "names hold no slash");
    FuzzCheck(WithoutEmpty(kept.names) == dropped.names,
              "the engine's names are the editor's without empty ones");

    // What was parsed, written again, parses the same.
    for (const bool drop : {false, true}) {
        const Parsed& p = drop ? dropped : kept;
        if (!p.id && EndsLikeIdentifier(p.names.empty() ? std::wstring() : p.names.back())) {
            continue;
        }
        Parsed expected = p;
        if (!drop && p.names.empty()) {
            expected.names = {L""}; // "arkon://c/" is the only text for the root, and keeps one empty name
        }
        CheckSame(expected, Parse(MakeArkonPath(p.root, p.names, p.id), drop),
                  "a parsed path written again parses the same");
    }
}

void BuildPath(std::string_view bytes) {
    std::optional<boost::uuids::uuid> id;
    if (!bytes.empty() && (bytes[0] & 1) != 0 && bytes.size() >= 17) {
        boost::uuids::uuid value{};
        std::memcpy(value.data, bytes.data() + 1, 16);
        id = value;
        bytes.remove_prefix(17);
    } else if (!bytes.empty()) {
        bytes.remove_prefix(1);
    }
    std::vector<std::wstring> parts;
    for (;;) {
        const std::size_t next = bytes.find('\0');
        parts.push_back(WideFromUtf8Lossy(bytes.substr(0, next)));
        if (next == std::string_view::npos) {
            break;
        }
        bytes.remove_prefix(next + 1);
    }
    const std::wstring root = parts.front();
    const std::vector<std::wstring> names(parts.begin() + 1, parts.end());
    if (root.empty() || HasSlash(root) || std::any_of(names.begin(), names.end(), HasSlash)) {
        return; // no path holds such names
    }
    const std::wstring text = MakeArkonPath(root, names, id);
    if (!id && EndsLikeIdentifier(names.empty() ? std::wstring() : names.back())) {
        return;
    }
    Parsed kept{root, names.empty() ? std::vector<std::wstring>{L""} : names, id, true};
    CheckSame(kept, Parse(text, false), "the editor reads a built path back");
    Parsed dropped{root, WithoutEmpty(names), id, true};
    CheckSame(dropped, Parse(text, true), "the engine reads a built path back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view rest = Bytes(data + 1, size - 1);
    if ((data[0] & 1) == 0) {
        ParseText(rest);
    } else {
        BuildPath(rest);
    }
    return 0;
}
