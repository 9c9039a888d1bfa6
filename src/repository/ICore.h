// The entry point of the repository layer: opens sessions on connections. Callers never see which
// backend serves a connection.
#pragma once

#include "ISession.h"

#include <memory>
#include <string>

namespace arkon {

class ICore {
public:
    virtual ~ICore() = default;
    // Opens a session with a connection's two session parameters. Throws ArkonError, with a description
    // that names the repository, when it cannot be reached. May be called from several threads at once.
    virtual std::shared_ptr<ISession> OpenSession(const std::wstring& server,
                                                  const std::wstring& database) = 0;
};

// Made once by the task engine and shared by everything that reaches the repository.
std::shared_ptr<ICore> CreateCore();

} // namespace arkon
