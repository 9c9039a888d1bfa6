// Where the user's connections file is, and looking a connection up in it.
#pragma once

#include "Connection.h"

#include <QString>

#include <optional>

// "<generic data location>/Zelkor-Vostal/ZelkorIII_2013/ConnectionsConfig.xml".
QString ConnectionsFilePath();

// The connections part of that file, "config.connections_manager.connections".
inline constexpr const wchar_t* kConnectionsSubtree = L"config.connections_manager.connections";

// A copy of the connection with the id, read from the file now. Nothing when there is none, also when
// the file cannot be read; the reason for that is printed on standard error.
std::optional<arkon_cm::Connection> FindConnection(const boost::uuids::uuid& id,
                                                   const QString& connections_file = ConnectionsFilePath());
