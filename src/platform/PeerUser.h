// Who is at the other end of a local socket.
#pragma once

#include <QtGlobal>

// True when the process at the other end of the connected local socket runs as the same user as this
// one (as its effective user); false when that cannot be told.
bool IsPeerOfThisUser(qintptr socketDescriptor);
