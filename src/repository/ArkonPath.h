// Repository paths: "arkon://" + connection name + "/" + item names joined by "/".
//
// The optional identifier is written at the very end as "?id=" followed by the 36-character UUID
// (canonical form, lower case). MakeArkonPath and ParseArkonPath round-trip every connection name
// without "/" and every list of item names (which hold no "/"), except when the last name itself ends
// in "?id=" and a UUID while there is no identifier. With the flag true, empty names do not come back;
// with it false, the root (no names) comes back as one empty name, since "arkon://c/" is its only text.
#pragma once

#include <boost/uuid/uuid.hpp>

#include <optional>
#include <string>
#include <vector>

namespace utils::path {

// False, with the outputs untouched, when the text does not start with "arkon://" or names no
// connection. With `drop_empty_names` true (the engine), empty names are left out, so a trailing "/"
// changes nothing and "arkon://c" and "arkon://c/" both name the root. With it false (the editor), the
// text after the last "/" is always the last name, even when empty: "arkon://c/" gives one empty name.
bool ParseArkonPath(const std::wstring& text, std::wstring& root, std::vector<std::wstring>& names,
                    std::optional<boost::uuids::uuid>& id, bool drop_empty_names);

std::wstring MakeArkonPath(const std::wstring& root, const std::vector<std::wstring>& names,
                           const std::optional<boost::uuids::uuid>& id);

} // namespace utils::path
