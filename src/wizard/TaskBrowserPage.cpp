// The repository picker: the browser's selection becomes an "arkon://" path in an editable line, and the
// line is written into the working copy as it changes.
#include "TaskBrowserPage.h"

#include "TaskWizard.h"
#include "dialogs/ModalMessage.h"
#include "repository/ArkonError.h"
#include "repository/ArkonPath.h"
#include "repository/widgets/BrowserWidget.h"
#include "ui_TaskBrowserPage.h"

#include <QAbstractItemView>

class TaskBrowserPageUi : public Ui::TaskBrowserPage {};

TaskBrowserPage::TaskBrowserPage(TaskWizard& wizard)
    : m_wizard(wizard), ui(new TaskBrowserPageUi),
      // Made a child before the designed widgets are: Tab follows the order in which widgets come into
      // a window, and goes from the tree above the path down to it.
      m_browser(new arkon_browser::BrowserWidget(this, nullptr, false, true,
                                                 arkon_browser::BrowserMode::Names, nullptr)) {
    ui->setupUi(this);
    m_browser->setObjectName(QStringLiteral("browserWidget"));
    m_browser->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ui->browserGroupLayout->insertWidget(ui->browserGroupLayout->indexOf(ui->pathsLineEdit), m_browser);

    // Before the handlers are connected: nothing is written.
    const Action& action = m_wizard.GetTask().action;
    if (const auto* exportAction = std::get_if<ExportAction>(&action)) {
        ui->onlyChangedDocsCheckBox->setChecked(exportAction->only_changed_documents);
    } else if (const auto* check = std::get_if<CheckAction>(&action)) {
        ui->onlyChangedDocsCheckBox->setChecked(check->only_changed_documents);
    }

    connect(m_browser, &arkon_browser::BrowserWidget::SelectionChanged, this,
            [this] { onSelectionChanged(); });
    connect(ui->pathsLineEdit, &QLineEdit::editingFinished, this, [this] { normalisePath(); });
    connect(ui->pathsLineEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { storePath(text); });
    connect(ui->pathsLineEdit, &QLineEdit::textChanged, this, [this] { emit completeChanged(); });
    connect(ui->onlyChangedDocsCheckBox, &QCheckBox::toggled, this,
            [this](bool checked) { onFlagToggled(checked); });
}

TaskBrowserPage::~TaskBrowserPage() {
    delete ui;
}

void TaskBrowserPage::onSelectionChanged() {
    const arkon_browser::SelectionInfo selection = m_browser->GetSelectionInfo();
    if (selection.items.size() != 1) {
        ui->pathsLineEdit->clear();
        return;
    }
    if (!m_itemStore) {
        return;
    }
    try {
        const std::vector<std::wstring> names = m_itemStore->GetPathNames(selection.items.front().path);
        QStringList parts;
        for (const std::wstring& name : names) {
            parts << QString::fromStdWString(name);
        }
        ui->pathsLineEdit->setText(m_prefix + parts.join(QLatin1Char('/')));
    } catch (const arkon::ArkonError&) {
        // An item that went away meanwhile: the line keeps what it showed.
    }
}

void TaskBrowserPage::normalisePath() {
    QString text = ui->pathsLineEdit->text();
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    ui->pathsLineEdit->setText(text.startsWith(m_prefix) ? text : m_prefix);
}

void TaskBrowserPage::storePath(const QString& text) {
    Action& action = m_wizard.GetTask().action;
    if (auto* backup = std::get_if<BackupAction>(&action)) {
        backup->source_path = text.toStdWString();
    } else if (auto* exportAction = std::get_if<ExportAction>(&action)) {
        exportAction->project_path = text.toStdWString();
    }
}

// Forgetting the remembered times makes the next run treat every document as changed.
void TaskBrowserPage::onFlagToggled(bool checked) {
    Action& action = m_wizard.GetTask().action;
    if (auto* exportAction = std::get_if<ExportAction>(&action)) {
        exportAction->only_changed_documents = checked;
        exportAction->modification_times.clear();
    } else if (auto* check = std::get_if<CheckAction>(&action)) {
        check->only_changed_documents = checked;
        check->modification_times.clear();
    }
}

void TaskBrowserPage::initializePage() {
    QWizardPage::initializePage();
    const Action& action = m_wizard.GetTask().action;
    QString stored;
    if (const auto* check = std::get_if<CheckAction>(&action)) {
        // Only the flag is left to choose; the designed title speaks of backups.
        ui->browserGroupBox->setTitle(tr("Какие документы проверять"));
        m_browser->hide();
        ui->pathsLineEdit->hide();
        ui->onlyChangedDocsCheckBox->show();
        ui->onlyChangedDocsCheckBox->setChecked(check->only_changed_documents);
        return;
    }
    m_browser->show();
    ui->pathsLineEdit->show();
    if (const auto* exportAction = std::get_if<ExportAction>(&action)) {
        ui->onlyChangedDocsCheckBox->show();
        ui->onlyChangedDocsCheckBox->setChecked(exportAction->only_changed_documents);
        ui->browserGroupBox->setTitle(tr("Выбор проекта"));
        m_browser->ResetFolderContentsFilter();
        stored = QString::fromStdWString(exportAction->project_path);
    } else if (const auto* backup = std::get_if<BackupAction>(&action)) {
        ui->onlyChangedDocsCheckBox->hide();
        ui->browserGroupBox->setTitle(tr("Выбор директории"));
        m_browser->SetFolderContentsFilter({});
        stored = QString::fromStdWString(backup->source_path);
    } else {
        return;
    }
    // Read out as what it is for: the group's title names the choice, the edit below holds the path.
    if (auto* tree = m_browser->findChild<QAbstractItemView*>()) {
        tree->setAccessibleName(ui->browserGroupBox->title());
    }

    const arkon_cm::Connection& connection = m_wizard.GetConnection();
    try {
        std::shared_ptr<arkon::ISession> session =
            m_wizard.GetCore()->OpenSession(connection.server, connection.database);
        std::shared_ptr<arkon::ItemStore> store = session->GetItemStore();
        m_browser->Reset(std::move(session));
        m_itemStore = std::move(store);
        m_prefix = QStringLiteral("arkon://") + QString::fromStdWString(connection.name) + QLatin1Char('/');
    } catch (const arkon::ArkonError& error) {
        ShowModalMessage(this, QMessageBox::Critical, tr("Ошибка соединения"),
                         tr("Не удалось установить соединение с сервером.\n%1")
                             .arg(QString::fromStdWString(error.GetDescription())));
        return;
    }
    showStoredPath(stored.isEmpty() ? m_prefix : stored);
}

void TaskBrowserPage::showStoredPath(const QString& path) {
    std::wstring root;
    std::vector<std::wstring> names;
    std::optional<boost::uuids::uuid> id;
    if (!utils::path::ParseArkonPath(path.toStdWString(), root, names, id, false)) {
        return;
    }
    if (!names.empty()) {
        try {
            const std::wstring last = names.back();
            names.pop_back();
            const arkon::ItemPath folder = m_itemStore->ResolvePath(names);
            // The store resolves only as far as the names lead: a shorter answer is a path that is gone.
            if (folder.size() == names.size() && m_browser->ExpandPath(folder)) {
                m_browser->SelectFile(last);
            }
        } catch (const arkon::ArkonError&) {
            // The path is still shown; the user picks another item.
        }
    }
    ui->pathsLineEdit->setText(path);
}

bool TaskBrowserPage::validatePage() {
    return true;
}

bool TaskBrowserPage::isComplete() const {
    return ui->pathsLineEdit->isHidden() || !ui->pathsLineEdit->text().isEmpty();
}
