// What the repository tells about one item: a folder or a document.
#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/uuid/uuid.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace arkon {

// 16 bytes that name an item within its repository; the same item path always has the same identifier.
using ItemId = boost::uuids::uuid;

// The identifiers of the items from the repository root down to one item; empty names the root.
using ItemPath = std::vector<ItemId>;

struct BrowserItemInfo {
    ItemId id{};
    std::wstring name;
    // The last change of the item, at microsecond resolution, on the UTC scale without a time zone.
    boost::posix_time::ptime modification_time;
    bool folder = false;
    // The item's permission bits (rwx for owner, group and others) where the repository keeps any: a
    // backup gives them to the item's copy.
    std::optional<std::uint32_t> permissions;

    bool IsFolder() const { return folder; }
};

} // namespace arkon
