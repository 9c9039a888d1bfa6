// Folder-tree sessions.
#include "FolderSession.h"

#include "FolderItemStore.h"

namespace arkon::folder {

FolderSession::FolderSession(std::string root) : store_(std::make_shared<FolderItemStore>(std::move(root))) {}

} // namespace arkon::folder
