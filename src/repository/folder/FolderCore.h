// The core of the folder-tree backend: a session's root is the folder `server` joined with `database`.
#pragma once

#include "repository/ICore.h"

namespace arkon::folder {

class FolderCore final : public ICore {
public:
    // `server` must be an absolute path; `database` a relative path below it, or empty. The root must
    // exist, be a folder (a symbolic link to one is accepted for the root alone) and be readable.
    std::shared_ptr<ISession> OpenSession(const std::wstring& server, const std::wstring& database) override;
};

} // namespace arkon::folder
