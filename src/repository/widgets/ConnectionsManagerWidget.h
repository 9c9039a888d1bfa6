// The list of repository connections in which the task editor chooses one, and where the user adds,
// edits and removes connections. Edits stay in the widget: whoever owns the connections file takes
// them with GetEditedConnections and writes them (ConnectionsModel::UpdateConnections) when it decides
// to, so that a cancelled editor leaves the file as it was.
#pragma once

#include "repository/Connection.h"
#include "repository/ICore.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class ConnectionsManagerWidget;
}

class QTreeWidgetItem;

namespace arkon_cm {

class ConnectionsManagerWidget : public QWidget {
    Q_OBJECT

public:
    // Lists `connections` in their order. The core serves the connection check of the edit dialog
    // (none without a core). With `read_only` the list is only for choosing: the add, edit and remove
    // buttons are hidden.
    ConnectionsManagerWidget(QWidget* parent, std::vector<Connection> connections,
                             std::shared_ptr<arkon::ICore> core, bool read_only);
    ~ConnectionsManagerWidget() override;

    // Accepted for callers written against other backends and has no effect here: a folder repository
    // is always reached through this machine's file system, so there is no faster local way to switch to.
    void EnableLocalConnectionOptimizations();

    // Selects the connection with the id, or nothing when no listed connection has it (the nil id
    // included). Always ends with one SelectionChanged, so that a listener learns what ended up
    // selected even when that is what was selected before. True when the connection was found.
    bool SelectConnection(const boost::uuids::uuid& id);

    // The selected connection as edited; nothing when none is selected.
    std::optional<Connection> GetSelectedConnection() const;

    // Every connection as edited, in the list's order: the list to write back to the connections file.
    const std::vector<Connection>& GetEditedConnections() const { return connections_; }

signals:
    // The selection moved, or the selected connection was edited.
    void SelectionChanged();

private:
    void AddConnection();
    void EditConnection();
    void RemoveConnection();

    int SelectedRow() const;
    void SelectRow(int row);
    void ShowConnection(QTreeWidgetItem& item, const Connection& connection) const;
    std::vector<std::wstring> NamesExcept(int row) const;
    void UpdateButtons();

    std::unique_ptr<Ui::ConnectionsManagerWidget> ui_;
    // Row i of the list shows connections_[i].
    std::vector<Connection> connections_;
    std::shared_ptr<arkon::ICore> core_;
    bool read_only_;
    // Set while the widget moves the selection itself, so that one change gives one signal.
    bool quiet_ = false;
};

} // namespace arkon_cm
