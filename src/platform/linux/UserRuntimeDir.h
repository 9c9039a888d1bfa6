// The folder that holds the current user's sockets and lock files.
#pragma once

#include <QString>

// The user's runtime folder (XDG_RUNTIME_DIR, or the private fallback Qt creates and checks);
// empty when there is none.
QString UserRuntimeDir();
