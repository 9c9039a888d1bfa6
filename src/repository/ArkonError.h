// The error of repository sessions and their items (a folder that cannot be read, an item that is not
// there), which the task editor shows to the user through GetDescription.
#pragma once

#include "Error.h"

namespace arkon {

class ArkonError : public exceptions::Error {
public:
    using exceptions::Error::Error;
};

} // namespace arkon
