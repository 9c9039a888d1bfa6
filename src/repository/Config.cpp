// Settings files and their parts.
#include "Config.h"

#include "ConfigFile.h"
#include "Error.h"

namespace arkon_cfg {
namespace {

using boost::property_tree::wptree;

class ConfigSubtree final : public IConfigTree {
public:
    ConfigSubtree(QString file, std::wstring path, wptree tree)
        : file_(std::move(file)), path_(std::move(path)), tree_(std::move(tree)) {}

    const wptree& GetTree() const override { return tree_; }

    void Update(const wptree& tree) override {
        // Read again rather than written from what was loaded, so that whatever another program changed
        // in the rest of the file since then is kept.
        wptree whole = ReadConfigFile(file_).value_or(wptree());
        whole.put_child(wptree::path_type(path_, L'.'), tree);
        WriteConfigFile(file_, whole);
        tree_ = tree;
    }

private:
    QString file_;
    std::wstring path_;
    wptree tree_;
};

} // namespace

Config::Config(QString path) : path_(std::move(path)) {
    try {
        tree_ = ReadConfigFile(path_).value_or(wptree());
    } catch (const exceptions::Error& error) {
        error_ = error.GetDescription();
    }
}

std::shared_ptr<IConfigTree> Config::GetConfigSubtree(const std::wstring& path) const {
    if (error_) {
        throw exceptions::Error(*error_);
    }
    const auto part = tree_.get_child_optional(wptree::path_type(path, L'.'));
    return std::make_shared<ConfigSubtree>(path_, path, part ? *part : wptree());
}

} // namespace arkon_cfg
