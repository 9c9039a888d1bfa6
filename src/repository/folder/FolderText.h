// The user texts of the folder-tree backend, put together in one place so that they read alike.
#pragma once

#include "repository/ArkonError.h"

#include <string>
#include <string_view>
#include <system_error>

namespace arkon::folder {

// A local path as the user should read it in a message.
std::wstring ShownPath(std::string_view path);

// The system's reason for a failure, in the words the system gives.
std::wstring ShownReason(const std::error_code& error);

// "%1" in `russian` (UTF-8) replaced by `first`, "%2" by `second`.
ArkonError MakeError(const char* russian, const std::wstring& first, const std::wstring& second = {});

} // namespace arkon::folder
