// The repository error type.
#include "Error.h"

#include "Utf8.h"

namespace exceptions {

Error::Error(std::wstring description)
    : std::runtime_error(Utf8FromWideLossy(description)), description_(std::move(description)) {}

} // namespace exceptions
