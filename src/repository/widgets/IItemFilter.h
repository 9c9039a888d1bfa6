// A caller's choice of the repository items the browser shows at all.
#pragma once

#include "repository/BrowserItemInfo.h"

namespace arkon_browser {

class IItemFilter {
public:
    virtual ~IItemFilter() = default;
    // False hides the item, and for a folder everything in it. `folder` leads from the repository root
    // to the folder the item is in. Asked once per item when its folder is listed.
    virtual bool Accept(const arkon::ItemPath& folder, const arkon::BrowserItemInfo& item) const = 0;
};

} // namespace arkon_browser
