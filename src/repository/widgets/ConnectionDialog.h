// The small dialog in which a connection is added or edited: its name, the server folder (with a
// folder chooser) and the database. The entries are checked as they are typed, and a button tries
// to open a session on them.
#pragma once

#include "repository/Connection.h"
#include "repository/ICore.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class ConnectionDialog;
}

namespace arkon_cm {

class ConnectionDialog : public QDialog {
    Q_OBJECT

public:
    enum class Purpose { Add, Edit };

    // Shows `connection` (for a new one: its fresh id and whatever texts it has). `taken_names` are the
    // names of the other connections, which this one may not take. Without a core there is no check.
    ConnectionDialog(QWidget* parent, Purpose purpose, Connection connection,
                     std::vector<std::wstring> taken_names, std::shared_ptr<arkon::ICore> core);
    ~ConnectionDialog() override;

    // The connection as entered: the same id, the texts without leading and trailing blanks (the
    // connections file drops them on reading, so they would not survive anyway).
    Connection GetConnection() const;

    // Why the entries cannot be accepted; empty when they can.
    QString Problem() const;

    // Refused while there is a problem, so that Enter in a field cannot store a broken connection.
    void accept() override;

private:
    void UpdateState();
    void ChooseServerFolder();
    void CheckConnection();

    std::unique_ptr<Ui::ConnectionDialog> ui_;
    Connection connection_;
    std::vector<std::wstring> taken_names_;
    std::shared_ptr<arkon::ICore> core_;
};

} // namespace arkon_cm
