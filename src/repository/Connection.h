// One entry of the user's connections file.
#pragma once

#include <boost/uuid/uuid.hpp>

#include <string>

namespace arkon_cm {

struct Connection {
    boost::uuids::uuid id{};
    std::wstring name;
    // The two session parameters: for a folder-tree repository, an absolute folder and a sub-folder of
    // it (may be empty); the repository root is the two joined.
    std::wstring server;
    std::wstring database;

    bool isValid() const { return !id.is_nil() && !name.empty() && !server.empty(); }
    bool operator==(const Connection&) const = default;
};

} // namespace arkon_cm
