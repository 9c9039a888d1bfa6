// A connection to one repository, opened by the core.
#pragma once

#include "ItemStore.h"

#include <memory>

namespace arkon {

class ISession {
public:
    virtual ~ISession() = default;
    // The same store for every call on one session.
    virtual std::shared_ptr<ItemStore> GetItemStore() = 0;
};

} // namespace arkon
