// The connections of the user's connections file, as a list that the editor reads and replaces.
#pragma once

#include "Connection.h"
#include "IConfigTree.h"

#include <memory>
#include <vector>

namespace arkon_cm {

class ConnectionsModel {
public:
    // Reads the "connection" entries of the connections part of the file. An entry without a readable
    // id is not listed, and is kept in the file as it is when the list is written back.
    void Init(std::shared_ptr<arkon_cfg::IConfigTree> tree);

    // Null when no listed connection has the id.
    const Connection* FindConnectionByID(const boost::uuids::uuid& id) const;

    const std::vector<Connection>& GetConnections() const { return connections_; }

    // Writes the edited list to the file at once and makes it the model's list. Entries keep whatever
    // else the file stored with them; entries of removed connections go; everything else in the file
    // stays. Throws exceptions::Error when the model was not initialised or the file cannot be written.
    void UpdateConnections(const std::vector<Connection>& connections);

private:
    std::shared_ptr<arkon_cfg::IConfigTree> tree_;
    std::vector<Connection> connections_;
};

} // namespace arkon_cm
