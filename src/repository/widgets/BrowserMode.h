// What the repository browser shows of each item.
#pragma once

namespace arkon_browser {

enum class BrowserMode {
    // Mode 0: the names alone, one column without a header; what the task editor shows.
    Names = 0,
    // Mode 1: a second column with the time of the item's last change, in local time.
    Details = 1,
};

} // namespace arkon_browser
