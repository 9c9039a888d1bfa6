// One part of a settings file, handed to whoever edits that part.
#pragma once

#include <boost/property_tree/ptree.hpp>

namespace arkon_cfg {

class IConfigTree {
public:
    virtual ~IConfigTree() = default;

    // The part as it was read; empty when the file or the part did not exist.
    virtual const boost::property_tree::wptree& GetTree() const = 0;

    // Writes `tree` in place of the part at once, keeping everything else the file holds at that moment.
    // Throws exceptions::Error, leaving the file as it was, when it cannot be read back or written.
    virtual void Update(const boost::property_tree::wptree& tree) = 0;
};

} // namespace arkon_cfg
