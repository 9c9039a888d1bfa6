// A file given new contents as a whole: whoever reads it, also after the program was killed or the machine
// stopped, finds the old contents or the new ones, never a part. The new contents are written to a file of
// their own, flushed to the disk and renamed over the old. An interrupted replacement leaves at most the one
// file "<name>.saving" beside it, which the next replacement takes over, so none pile up.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace platform {

// The name of the file an interrupted replacement of `name` may leave beside it.
std::string ReplacementName(const std::string& name);

// A symbolic link in `path`'s place is followed and its target replaced; a file replaced keeps its
// permissions, a new one gets 0666 less the umask. Replacements of the same file must not overlap: the
// program's own are taken one at a time here; another program's would have to be kept apart by the caller.
bool ReplaceFileContents(const std::string& path, std::string_view contents, std::error_code& error);

} // namespace platform
