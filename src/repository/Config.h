// A settings file of the suite (such as the user's connections file), loaded when constructed.
#pragma once

#include "IConfigTree.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace arkon_cfg {

class Config {
public:
    // Never throws: a missing file is an empty configuration, and a file that cannot be read is reported
    // by GetConfigSubtree.
    explicit Config(QString path);

    // The part at a dotted path such as "config.connections_manager.connections". Throws
    // exceptions::Error when the file exists but could not be read or is damaged.
    std::shared_ptr<IConfigTree> GetConfigSubtree(const std::wstring& path) const;

    const QString& Path() const { return path_; }

private:
    QString path_;
    boost::property_tree::wptree tree_;
    std::optional<std::wstring> error_;
};

} // namespace arkon_cfg
