// Temporary files that a killed program left behind, told apart from those another program is writing.
#pragma once

#include <chrono>
#include <string>
#include <system_error>

namespace platform {

// Removes the regular file at `path` when nobody marks it in use (OutputFile::MarkInUse) and it has
// not changed for `quiet`; true when it was removed. Anything else (a link, a folder, a file in use or
// changed lately) is left as it is.
bool RemoveIfAbandoned(const std::string& path, std::chrono::seconds quiet, std::error_code& error);

} // namespace platform
