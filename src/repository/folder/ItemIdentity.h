// How the folder-tree backend names items: a name-based UUID of the item's path below the root, so
// that an item keeps its identifier across sessions and program starts for as long as its path stays.
#pragma once

#include "repository/BrowserItemInfo.h"

#include <string_view>

namespace arkon::folder {

// `relative_path`: the UTF-8 names from the root to the item joined by "/", without a leading "/".
ItemId IdentifierOf(std::string_view relative_path);

} // namespace arkon::folder
