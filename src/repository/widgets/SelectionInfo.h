// What is selected in the repository browser.
#pragma once

#include "repository/BrowserItemInfo.h"

#include <vector>

namespace arkon_browser {

struct SelectedItem {
    // The identifiers from the repository root down to the item; empty for the root itself.
    arkon::ItemPath path;
    arkon::BrowserItemInfo info;
};

struct SelectionInfo {
    // In the order the tree shows them, top to bottom; empty when nothing is selected.
    std::vector<SelectedItem> items;
};

} // namespace arkon_browser
