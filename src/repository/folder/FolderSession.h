// A session of the folder-tree backend: holds the one item store of its root.
#pragma once

#include "repository/ISession.h"

#include <string>

namespace arkon::folder {

class FolderSession final : public ISession {
public:
    explicit FolderSession(std::string root);
    std::shared_ptr<ItemStore> GetItemStore() override { return store_; }

private:
    std::shared_ptr<ItemStore> store_;
};

} // namespace arkon::folder
