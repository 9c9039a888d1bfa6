// What a caller of the repository browser may tell about documents beyond what the repository holds.
#pragma once

#include "repository/BrowserItemInfo.h"

#include <QString>

namespace arkon_browser {

class IFileInfoProvider {
public:
    virtual ~IFileInfoProvider() = default;
    // The tool tip of a document (its kind, its size, who works on it); empty for none. `path` leads
    // from the repository root to the document. Asked when the tip is about to be shown, on the GUI
    // thread, so it must be quick.
    virtual QString GetDescription(const arkon::ItemPath& path, const arkon::BrowserItemInfo& item) const = 0;
};

} // namespace arkon_browser
