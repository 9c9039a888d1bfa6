// The connections list over its part of the connections file.
#include "ConnectionsModel.h"

#include "Error.h"

#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <deque>
#include <map>
#include <optional>

namespace arkon_cm {
namespace {

using boost::property_tree::wptree;

constexpr const wchar_t* kEntry = L"connection";

std::optional<boost::uuids::uuid> IdOf(const wptree& entry) {
    const auto text = entry.get_optional<std::wstring>(L"id");
    if (!text) {
        return std::nullopt;
    }
    // Values are read exactly as written; an identifier laid out on lines of its own by hand still counts.
    const auto first = text->find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) {
        return std::nullopt;
    }
    const std::wstring id = text->substr(first, text->find_last_not_of(L" \t\r\n") - first + 1);
    try {
        return boost::uuids::string_generator()(id);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

} // namespace

void ConnectionsModel::Init(std::shared_ptr<arkon_cfg::IConfigTree> tree) {
    if (!tree) {
        throw exceptions::Error(L"Список подключений не загружен.");
    }
    tree_ = std::move(tree);
    connections_.clear();
    for (const auto& [key, entry] : tree_->GetTree()) {
        if (key != kEntry) {
            continue;
        }
        const auto id = IdOf(entry);
        if (!id) {
            continue;
        }
        Connection connection;
        connection.id = *id;
        connection.name = entry.get<std::wstring>(L"name", L"");
        connection.server = entry.get<std::wstring>(L"server", L"");
        connection.database = entry.get<std::wstring>(L"database", L"");
        connections_.push_back(std::move(connection));
    }
}

const Connection* ConnectionsModel::FindConnectionByID(const boost::uuids::uuid& id) const {
    for (const Connection& connection : connections_) {
        if (connection.id == id) {
            return &connection;
        }
    }
    return nullptr;
}

void ConnectionsModel::UpdateConnections(const std::vector<Connection>& connections) {
    if (!tree_) {
        throw exceptions::Error(L"Список подключений не загружен.");
    }
    // Entries are matched by id, so that what else an entry holds (settings of other programs of the
    // suite) survives an edit of its name or folders.
    wptree updated;
    std::map<boost::uuids::uuid, std::deque<wptree>> previous;
    for (const auto& [key, entry] : tree_->GetTree()) {
        const auto id = key == kEntry ? IdOf(entry) : std::nullopt;
        if (id) {
            previous[*id].push_back(entry);
        } else {
            updated.push_back({key, entry});
        }
    }
    for (const Connection& connection : connections) {
        wptree entry;
        if (auto found = previous.find(connection.id); found != previous.end() && !found->second.empty()) {
            entry = std::move(found->second.front());
            found->second.pop_front();
        }
        entry.put(L"id", boost::uuids::to_wstring(connection.id));
        entry.put(L"name", connection.name);
        entry.put(L"server", connection.server);
        entry.put(L"database", connection.database);
        updated.push_back({kEntry, std::move(entry)});
    }
    tree_->Update(updated);
    connections_ = connections;
}

} // namespace arkon_cm
