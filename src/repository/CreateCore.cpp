// The choice of backend. There is one today: repositories that are folder trees of the file system.
#include "ICore.h"

#include "folder/FolderCore.h"

namespace arkon {

std::shared_ptr<ICore> CreateCore() {
    return std::make_shared<folder::FolderCore>();
}

} // namespace arkon
