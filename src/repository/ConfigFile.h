// Reading and writing a whole XML settings file of the suite as a wide property tree, through UTF-8
// text (a wide tree written straight to a file stream depends on the locale and can lose everything).
#pragma once

#include <boost/property_tree/ptree.hpp>

#include <QString>

#include <optional>

namespace arkon_cfg {

// Nothing when the file does not exist; an empty tree for an empty file. Throws exceptions::Error when
// the file exists but cannot be read or is not well-formed XML.
std::optional<boost::property_tree::wptree> ReadConfigFile(const QString& path);

// Replaces the file in one step (its folder is made when missing); on failure the previous file stays
// whole and exceptions::Error is thrown.
void WriteConfigFile(const QString& path, const boost::property_tree::wptree& tree);

} // namespace arkon_cfg
