// Where the local server of a running program is found by a second start of it.
#pragma once

#include <QString>

// The name to listen on and to connect to for a rendezvous called `name`. Only processes of the
// same user meet there, as on desktops whose session objects are per user.
QString LocalServerName(const QString& name);
