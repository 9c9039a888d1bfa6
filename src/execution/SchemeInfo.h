// The mapping scheme the suite's tool reports as chosen.
#pragma once

#include <string>

// Both texts exactly as the tool printed them (the caller decodes them as UTF-8). Both empty: nothing was
// chosen, or the query failed.
struct SchemeInfo {
    std::string code;
    std::string name;
    bool operator==(const SchemeInfo&) const = default;
};
