// The connections list with its add, edit and remove buttons.
#include "ConnectionsManagerWidget.h"

#include "ConnectionDialog.h"
#include "ModalDialogScript.h"

#include "ui_ConnectionsManagerWidget.h"

#include <boost/uuid/random_generator.hpp>

#include <QStyle>

namespace arkon_cm {
namespace {

// The repository folder the connection leads to, as the folder backend joins it.
QString RootFolderOf(const Connection& connection) {
    QString root = QString::fromStdWString(connection.server);
    if (!connection.database.empty()) {
        if (!root.endsWith(QLatin1Char('/'))) {
            root += QLatin1Char('/');
        }
        root += QString::fromStdWString(connection.database);
    }
    return root;
}

} // namespace

ConnectionsManagerWidget::ConnectionsManagerWidget(QWidget* parent, std::vector<Connection> connections,
                                                   std::shared_ptr<arkon::ICore> core, bool read_only)
    : QWidget(parent), ui_(std::make_unique<Ui::ConnectionsManagerWidget>()),
      connections_(std::move(connections)), core_(std::move(core)), read_only_(read_only) {
    ui_->setupUi(this);
    for (const Connection& connection : connections_) {
        auto* item = new QTreeWidgetItem(ui_->connectionsTreeWidget);
        ShowConnection(*item, connection);
    }
    ui_->connectionsTreeWidget->resizeColumnToContents(0);
    for (QWidget* button :
         {ui_->addConnectionButton, ui_->editConnectionButton, ui_->removeConnectionButton}) {
        button->setVisible(!read_only_);
    }

    connect(ui_->connectionsTreeWidget, &QTreeWidget::itemSelectionChanged, this, [this] {
        UpdateButtons();
        if (!quiet_) {
            emit SelectionChanged();
        }
    });
    connect(ui_->connectionsTreeWidget, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (!read_only_) {
            EditConnection();
        }
    });
    connect(ui_->addConnectionButton, &QPushButton::clicked, this, [this] { AddConnection(); });
    connect(ui_->editConnectionButton, &QPushButton::clicked, this, [this] { EditConnection(); });
    connect(ui_->removeConnectionButton, &QPushButton::clicked, this, [this] { RemoveConnection(); });
    UpdateButtons();
}

ConnectionsManagerWidget::~ConnectionsManagerWidget() = default;

void ConnectionsManagerWidget::EnableLocalConnectionOptimizations() {}

bool ConnectionsManagerWidget::SelectConnection(const boost::uuids::uuid& id) {
    int found = -1;
    if (!id.is_nil()) {
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            if (connections_[i].id == id) {
                found = static_cast<int>(i);
                break;
            }
        }
    }
    SelectRow(found);
    return found >= 0;
}

std::optional<Connection> ConnectionsManagerWidget::GetSelectedConnection() const {
    const int row = SelectedRow();
    if (row < 0) {
        return std::nullopt;
    }
    return connections_[static_cast<std::size_t>(row)];
}

int ConnectionsManagerWidget::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = ui_->connectionsTreeWidget->selectedItems();
    if (selected.isEmpty()) {
        return -1;
    }
    return ui_->connectionsTreeWidget->indexOfTopLevelItem(selected.front());
}

void ConnectionsManagerWidget::SelectRow(int row) {
    QTreeWidget& tree = *ui_->connectionsTreeWidget;
    quiet_ = true;
    tree.clearSelection();
    if (row >= 0) {
        QTreeWidgetItem* item = tree.topLevelItem(row);
        tree.setCurrentItem(item);
        item->setSelected(true);
        tree.scrollToItem(item);
    } else {
        tree.setCurrentItem(nullptr);
    }
    quiet_ = false;
    UpdateButtons();
    emit SelectionChanged();
}

void ConnectionsManagerWidget::ShowConnection(QTreeWidgetItem& item, const Connection& connection) const {
    item.setText(0, QString::fromStdWString(connection.name));
    item.setText(1, RootFolderOf(connection));
    // An entry of the file that lacks its name or folder can be chosen but not used: the editor refuses
    // it without a word, so the list says why.
    if (connection.isValid()) {
        item.setIcon(0, QIcon());
        item.setToolTip(0, QString());
    } else {
        item.setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        item.setToolTip(0, tr("Соединение заполнено не полностью: нужны имя и папка сервера."));
    }
    item.setToolTip(1, item.text(1));
}

std::vector<std::wstring> ConnectionsManagerWidget::NamesExcept(int row) const {
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < connections_.size(); ++i) {
        if (static_cast<int>(i) != row) {
            names.push_back(connections_[i].name);
        }
    }
    return names;
}

void ConnectionsManagerWidget::UpdateButtons() {
    const bool selected = SelectedRow() >= 0;
    ui_->editConnectionButton->setEnabled(selected);
    ui_->removeConnectionButton->setEnabled(selected);
}

void ConnectionsManagerWidget::AddConnection() {
    Connection connection;
    connection.id = boost::uuids::random_generator()();
    ConnectionDialog dialog(this, ConnectionDialog::Purpose::Add, connection, NamesExcept(-1), core_);
    if (arkon_widgets::ExecModalDialog(dialog) != QDialog::Accepted) {
        return;
    }
    connections_.push_back(dialog.GetConnection());
    auto* item = new QTreeWidgetItem(ui_->connectionsTreeWidget);
    ShowConnection(*item, connections_.back());
    ui_->connectionsTreeWidget->resizeColumnToContents(0);
    SelectRow(static_cast<int>(connections_.size()) - 1);
}

void ConnectionsManagerWidget::EditConnection() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    Connection& connection = connections_[static_cast<std::size_t>(row)];
    ConnectionDialog dialog(this, ConnectionDialog::Purpose::Edit, connection, NamesExcept(row), core_);
    if (arkon_widgets::ExecModalDialog(dialog) != QDialog::Accepted) {
        return;
    }
    const Connection edited = dialog.GetConnection();
    if (edited == connection) {
        return;
    }
    connection = edited;
    ShowConnection(*ui_->connectionsTreeWidget->topLevelItem(row), connection);
    ui_->connectionsTreeWidget->resizeColumnToContents(0);
    emit SelectionChanged();
}

void ConnectionsManagerWidget::RemoveConnection() {
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const QString name = QString::fromStdWString(connections_[static_cast<std::size_t>(row)].name);
    if (arkon_widgets::ShowMessage(this, QMessageBox::Question, tr("Удаление соединения"),
                                   tr("Удалить соединение «%1»?").arg(name),
                                   QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    // Nothing is selected afterwards: moving the selection to a neighbour would quietly give the task
    // another repository.
    quiet_ = true;
    delete ui_->connectionsTreeWidget->takeTopLevelItem(row);
    connections_.erase(connections_.begin() + row);
    quiet_ = false;
    SelectRow(-1);
}

} // namespace arkon_cm
