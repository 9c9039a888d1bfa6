// Who is running the program, as the single-instance guard records it.
#pragma once

#include <QString>

// The login name of the user this process runs as; empty only when the system knows no name for it.
QString CurrentUserName();
