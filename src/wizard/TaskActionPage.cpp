// The action editor: every change goes into the working copy's action at once; the kind switch replaces
// the action by a record of the new kind built from what the page shows.
#include "TaskActionPage.h"

#include "TabOrder.h"
#include "TaskWizard.h"
#include "dialogs/ModalMessage.h"
#include "execution/QueryScheme.h"
#include "repository/ArkonError.h"
#include "repository/FindConnection.h"
#include "repository/widgets/ConnectionsManagerWidget.h"
#include "scheduler/RunSettings.h"
#include "ui_TaskActionPage.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTreeView>

#include <algorithm>

#include <iostream>

class TaskActionPageUi : public Ui::TaskActionPage {};

namespace {

constexpr int kBackupIndex = static_cast<int>(ActionKind::Backup);
constexpr int kExportIndex = static_cast<int>(ActionKind::Export);
constexpr int kCommandIndex = static_cast<int>(ActionKind::Command);
constexpr int kCheckIndex = static_cast<int>(ActionKind::Check);

struct FormatRow {
    const char* text;
    ExportFormat format;
    const char* queryFormat;
};

// In display order, which is not the order of the values.
constexpr FormatRow kFormatRows[] = {{"DXF", ExportFormat::DXF, "DXF"},
                                     {"DWG", ExportFormat::DWG, "DWG"},
                                     {"MIF/MID", ExportFormat::MIF, "MIF"},
                                     {"TXF/SXF", ExportFormat::PNR, "PNR"},
                                     {"IFC", ExportFormat::IFC, "IFC"}};

std::wstring ToWide(const QString& text) {
    return text.toStdWString();
}

QString SchemeText(const ExportAction& action) {
    return QString::fromStdWString(action.scheme_name.empty() ? action.scheme_code : action.scheme_name);
}

std::optional<ExportFormat> FormatOfRow(const QComboBox& combo, int row) {
    const QVariant datum = combo.itemData(row);
    if (!datum.isValid()) {
        return std::nullopt;
    }
    return static_cast<ExportFormat>(datum.toInt());
}

} // namespace

template <typename Action>
void TaskActionPage::storeText(QLineEdit* edit, std::wstring Action::*field, Completeness completeness) {
    connect(edit, &QLineEdit::textChanged, this, [this, field, completeness](const QString& text) {
        if (auto* action = std::get_if<Action>(&task().action)) {
            action->*field = ToWide(text);
        }
        if (completeness == Completeness::Changes) {
            emit completeChanged();
        }
    });
}

TaskActionPage::TaskActionPage(TaskWizard& wizard)
    : m_wizard(wizard), m_connectionsFile(ConnectionsFilePath()),
      m_connectionsModel(std::make_unique<arkon_cm::ConnectionsModel>()), ui(new TaskActionPageUi) {
    ui->setupUi(this);

    for (const FormatRow& row : kFormatRows) {
        ui->formatComboBox->addItem(QString::fromLatin1(row.text), static_cast<int>(row.format));
    }
    ui->commandParamsGroupBox->hide();
    for (QLabel* warning : {ui->workingDirectoryWarning, ui->idsPathWarning, ui->ifcPathWarning,
                            ui->backupDestinationWarning, ui->executableWarning}) {
        warning->hide();
    }

    // A damaged connections file leaves the list empty: the user can still add a connection here.
    std::vector<arkon_cm::Connection> connections;
    try {
        m_connectionsModel->Init(m_connectionsFile.GetConfigSubtree(kConnectionsSubtree));
        connections = m_connectionsModel->GetConnections();
    } catch (const exceptions::Error&) {
        connections.clear();
    }

    m_connections =
        new arkon_cm::ConnectionsManagerWidget(nullptr, std::move(connections), m_wizard.GetCore(), false);
    m_connections->setObjectName(QStringLiteral("connectionsManagerWidget"));
    m_connections->EnableLocalConnectionOptimizations();
    ui->connectionsGroupLayout->addWidget(m_connections);
    // Added after the designed widgets, the list would come last in the tab order, below everything it
    // stands above: it goes between the kind and the settings.
    ChainTabOrder({ui->actionComboBox, m_connections, ui->backupToolDestinationEdit});
    // Four connections stay in sight, whatever the other settings of the kind take.
    if (auto* list = m_connections->findChild<QTreeView*>(QStringLiteral("connectionsTreeWidget"))) {
        constexpr int kVisibleRows = 4;
        const int row = std::max(list->sizeHintForRow(0), list->fontMetrics().height() + 4);
        list->setMinimumHeight(list->header()->sizeHint().height() + kVisibleRows * row +
                               2 * list->frameWidth());
    }

    ui->actionComboBox->setCurrentIndex(kBackupIndex);
    ui->connectionsGroupBox->show();
    ui->backupToolParamsGroup->show();
    ui->exportParamsGroup->hide();
    ui->schemeParamsGroup->hide();
    ui->ifcParamsGroup->hide();
    ui->commandParamsGroupBox->hide();
    ui->checkIFCParamsGroupBox->hide();

    connect(m_connections, &arkon_cm::ConnectionsManagerWidget::SelectionChanged, this,
            [this] { onConnectionSelectionChanged(); });

    // Next is greyed out until the page is complete: the page says what it still needs.
    // Beside the kind, where it takes no room of its own; whole in its tool tip when cut.
    const auto sayWhatIsMissing = [this] {
        ui->actionHintLabel->setText(missingText());
        ui->actionHintLabel->setToolTip(missingText());
    };
    connect(this, &QWizardPage::completeChanged, this, sayWhatIsMissing);
    sayWhatIsMissing();

    const auto indexChanged = qOverload<int>(&QComboBox::currentIndexChanged);
    connect(ui->actionComboBox, indexChanged, this, [this](int index) { switchKind(index); });
    connect(ui->actionComboBox, indexChanged, this, [this](int index) { showKind(index); });
    connect(ui->actionComboBox, indexChanged, this, [this](int) { emit completeChanged(); });
    connect(ui->actionComboBox, indexChanged, this,
            [this](int index) { setFinalPage(index == kCommandIndex); });

    storeText(ui->backupToolDestinationEdit, &BackupAction::destination_path, Completeness::Changes);
    connect(ui->backupToolDestinationButton, &QAbstractButton::clicked, this,
            [this] { chooseFolder(ui->backupToolDestinationEdit); });

    connect(ui->formatComboBox, indexChanged, this, [this](int row) { onFormatChanged(row); });
    connect(ui->formatComboBox, indexChanged, this, [this](int row) { showFormatGroups(row); });
    connect(ui->ifcVersionComboBox, indexChanged, this, [this](int index) {
        if (auto* exportAction = std::get_if<ExportAction>(&task().action)) {
            exportAction->ifc_version = ToWide(ui->ifcVersionComboBox->itemText(index));
        }
    });
    connect(ui->ifcMappingButton, &QAbstractButton::clicked, this, [this] { chooseMapping(); });
    storeText(ui->exportDstPathEdit, &ExportAction::output_path, Completeness::Changes);
    connect(ui->exportDstPathButton, &QAbstractButton::clicked, this,
            [this] { chooseFolder(ui->exportDstPathEdit); });
    connect(ui->schemeLineEdit, &QLineEdit::textChanged, this, [this] { emit completeChanged(); });
    connect(ui->selectSchemeButton, &QAbstractButton::clicked, this, [this] { chooseScheme(); });
    // A chosen name longer than its field shows its start, as names are read, and whole in the tip; a
    // line edit would otherwise show its end, where setText leaves the cursor.
    for (QLineEdit* chosen : {ui->schemeLineEdit, ui->ifcMappingEdit}) {
        connect(chosen, &QLineEdit::textChanged, this, [chosen](const QString& text) {
            chosen->setCursorPosition(0);
            chosen->setToolTip(text);
        });
    }

    storeText(ui->executableEdit, &CommandAction::executable, Completeness::Changes);
    connect(ui->executableButton, &QAbstractButton::clicked, this, [this] { chooseApplication(); });
    storeText(ui->argumentsEdit, &CommandAction::arguments, Completeness::Unaffected);
    storeText(ui->workingDirectoryEdit, &CommandAction::working_directory, Completeness::Unaffected);
    connect(ui->workingDirectoryButton, &QAbstractButton::clicked, this,
            [this] { chooseFolder(ui->workingDirectoryEdit); });
    // A path that is not there yet is only pointed out: it may be made before the first run.
    connect(ui->backupToolDestinationEdit, &QLineEdit::textChanged, this, [this] {
        warnAboutMissingPath(ui->backupToolDestinationEdit, ui->backupDestinationWarning, false);
    });
    connect(ui->executableEdit, &QLineEdit::textChanged, this, [this](const QString& program) {
        // A bare name is looked for on the search path, as the run does.
        const bool onPath = !program.contains(u'/') && !QStandardPaths::findExecutable(program).isEmpty();
        warnAboutMissingPath(onPath ? nullptr : ui->executableEdit, ui->executableWarning, true);
    });
    connect(ui->workingDirectoryEdit, &QLineEdit::textChanged, this,
            [this] { warnAboutMissingPath(ui->workingDirectoryEdit, ui->workingDirectoryWarning, false); });
    connect(ui->idsEdit, &QLineEdit::textChanged, this,
            [this] { warnAboutMissingPath(ui->idsEdit, ui->idsPathWarning, ui->checkFileIDS->isChecked()); });
    connect(ui->ifcEdit, &QLineEdit::textChanged, this,
            [this] { warnAboutMissingPath(ui->ifcEdit, ui->ifcPathWarning, ui->checkFileIFC->isChecked()); });

    storeText(ui->idsEdit, &CheckAction::ids_file, Completeness::Changes);
    storeText(ui->ifcEdit, &CheckAction::ifc_file, Completeness::Changes);
    connect(ui->getFileIDS, &QAbstractButton::clicked, this, [this] {
        chooseCheckInput(ui->idsEdit, ui->checkFileIDS->isChecked(), QStringLiteral("IDS (*.ids)"));
    });
    connect(ui->checkFileIDS, &QAbstractButton::clicked, this, [this](bool checked) {
        if (auto* check = std::get_if<CheckAction>(&task().action)) {
            check->ids_file_mode = checked;
        }
        onCheckModeClicked(ui->idsEdit);
    });
    connect(ui->getFileIFC, &QAbstractButton::clicked, this, [this] {
        chooseCheckInput(ui->ifcEdit, ui->checkFileIFC->isChecked(), QStringLiteral("IFC (*.ifc)"));
    });
    connect(ui->checkFileIFC, &QAbstractButton::clicked, this, [this](bool checked) {
        if (auto* check = std::get_if<CheckAction>(&task().action)) {
            check->ifc_file_mode = checked;
        }
        onCheckModeClicked(ui->ifcEdit);
    });
}

TaskActionPage::~TaskActionPage() {
    delete ui;
    // The model goes before the file it was read from.
    m_connectionsModel.reset();
}

TaskInfo& TaskActionPage::task() {
    return m_wizard.GetTask();
}

boost::uuids::uuid TaskActionPage::SelectedValidConnectionId() const {
    const std::optional<arkon_cm::Connection> selected = m_connections->GetSelectedConnection();
    return selected && selected->isValid() ? selected->id : boost::uuids::uuid{};
}

void TaskActionPage::onConnectionSelectionChanged() {
    emit completeChanged();
    const std::optional<arkon_cm::Connection> selected = m_connections->GetSelectedConnection();
    const boost::uuids::uuid id = selected ? selected->id : boost::uuids::uuid{};
    if (auto* backup = std::get_if<BackupAction>(&task().action)) {
        backup->connection_id = id;
    } else if (auto* exportAction = std::get_if<ExportAction>(&task().action)) {
        exportAction->connection_id = id;
    }
}

// The new record takes what the page shows for that kind, so that what the user sees is what is stored
// even after switching kinds back and forth. Only the scheme and mapping, whose codes the page does not
// keep, start empty again.
void TaskActionPage::switchKind(int index) {
    TaskInfo& record = task();
    if (index < 0 || index == static_cast<int>(record.action.index())) {
        return;
    }
    if (index == kBackupIndex) {
        BackupAction backup;
        backup.connection_id = SelectedValidConnectionId();
        backup.destination_path = ToWide(ui->backupToolDestinationEdit->text());
        record.action = std::move(backup);
    } else if (index == kExportIndex) {
        ExportAction exportAction;
        exportAction.connection_id = SelectedValidConnectionId();
        exportAction.format =
            FormatOfRow(*ui->formatComboBox, ui->formatComboBox->currentIndex()).value_or(ExportFormat::DXF);
        exportAction.output_path = ToWide(ui->exportDstPathEdit->text());
        exportAction.ifc_version = ToWide(ui->ifcVersionComboBox->currentText());
        record.action = std::move(exportAction);
        ui->schemeLineEdit->clear();
        ui->ifcMappingEdit->clear();
    } else if (index == kCommandIndex) {
        record.action =
            CommandAction{ToWide(ui->executableEdit->text()), ToWide(ui->workingDirectoryEdit->text()),
                          ToWide(ui->argumentsEdit->text())};
    } else if (index == kCheckIndex) {
        CheckAction check;
        check.ids_file = ToWide(ui->idsEdit->text());
        check.ifc_file = ToWide(ui->ifcEdit->text());
        check.ids_file_mode = ui->checkFileIDS->isChecked();
        check.ifc_file_mode = ui->checkFileIFC->isChecked();
        record.action = std::move(check);
    }
}

QSize TaskActionPage::sizeHint() const {
    // Measured group by group, shown or not, as the page's layout stacks them.
    const QList<QList<const QWidget*>> kinds = {
        {ui->actionGroupBox, ui->connectionsGroupBox, ui->backupToolParamsGroup},
        {ui->actionGroupBox, ui->connectionsGroupBox, ui->exportParamsGroup, ui->schemeParamsGroup},
        {ui->actionGroupBox, ui->connectionsGroupBox, ui->exportParamsGroup, ui->ifcParamsGroup},
        {ui->actionGroupBox, ui->commandParamsGroupBox},
        {ui->actionGroupBox, ui->checkIFCParamsGroupBox},
    };
    const QMargins margins = layout()->contentsMargins();
    const int spacing = std::max(0, layout()->spacing());
    QSize largest = QWizardPage::sizeHint();
    for (const auto& groups : kinds) {
        QSize kind(0, spacing * (static_cast<int>(groups.size()) - 1));
        for (const QWidget* group : groups) {
            // The connections list may grow with the window; it asks for its four rows only.
            const QSize groupSize = group == ui->connectionsGroupBox
                                        ? group->minimumSizeHint()
                                        : group->sizeHint().expandedTo(group->minimumSizeHint());
            kind = QSize(std::max(kind.width(), groupSize.width()), kind.height() + groupSize.height());
        }
        largest = largest.expandedTo(kind.grownBy(margins));
    }
    return largest;
}

void TaskActionPage::showKind(int index) {
    const auto* exportAction = std::get_if<ExportAction>(&task().action);
    const bool ifc = exportAction != nullptr && exportAction->format == ExportFormat::IFC;
    ui->connectionsGroupBox->setVisible(index == kBackupIndex || index == kExportIndex);
    ui->backupToolParamsGroup->setVisible(index == kBackupIndex);
    ui->exportParamsGroup->setVisible(index == kExportIndex);
    ui->schemeParamsGroup->setVisible(index == kExportIndex && !ifc);
    ui->ifcParamsGroup->setVisible(index == kExportIndex && ifc);
    ui->commandParamsGroupBox->setVisible(index == kCommandIndex);
    ui->checkIFCParamsGroupBox->setVisible(index == kCheckIndex);
}

void TaskActionPage::onFormatChanged(int row) {
    auto* exportAction = std::get_if<ExportAction>(&task().action);
    const std::optional<ExportFormat> format = FormatOfRow(*ui->formatComboBox, row);
    if (exportAction == nullptr || !format || *format == exportAction->format) {
        return;
    }
    // A scheme maps into one format only.
    exportAction->scheme_name.clear();
    exportAction->scheme_code.clear();
    exportAction->format = *format;
    ui->schemeLineEdit->setText(SchemeText(*exportAction));
}

void TaskActionPage::showFormatGroups(int row) {
    if (ui->actionComboBox->currentIndex() != kExportIndex) {
        return;
    }
    const bool ifc = FormatOfRow(*ui->formatComboBox, row) == ExportFormat::IFC;
    ui->schemeParamsGroup->setVisible(!ifc);
    ui->ifcParamsGroup->setVisible(ifc);
}

void TaskActionPage::chooseFolder(QLineEdit* edit) {
    edit->setText(
        QFileDialog::getExistingDirectory(this, tr("Выбор папки"), edit->text(), QFileDialog::ShowDirsOnly));
}

void TaskActionPage::chooseApplication() {
    ui->executableEdit->setText(
        QFileDialog::getOpenFileName(this, tr("Выбор файла"), ui->executableEdit->text()));
}

void TaskActionPage::chooseCheckInput(QLineEdit* edit, bool fileMode, const QString& filter) {
    if (fileMode) {
        edit->setText(QFileDialog::getOpenFileName(nullptr, tr("Выбор файла"), edit->text(), filter));
    } else {
        edit->setText(QFileDialog::getExistingDirectory(nullptr, tr("Выбор папки"), edit->text(),
                                                        QFileDialog::ShowDirsOnly));
    }
}

void TaskActionPage::onCheckModeClicked(QLineEdit* edit) {
    // A file path means nothing as a folder and the other way round.
    edit->clear();
}

void TaskActionPage::warnAboutMissingPath(const QLineEdit* edit, QLabel* warning, bool file) {
    const QString path = edit != nullptr ? edit->text() : QString();
    const QFileInfo info(path);
    QString text;
    if (!path.isEmpty() && !(file ? info.isFile() : info.isDir())) {
        text = file ? tr("Файл не найден: он должен появиться до запуска задачи.")
                    : tr("Папка не найдена: она должна появиться до запуска задачи.");
    }
    warning->setText(text);
    warning->setVisible(!text.isEmpty());
}

void TaskActionPage::chooseScheme() {
    const int row = ui->formatComboBox->currentIndex();
    if (std::get_if<ExportAction>(&task().action) == nullptr || row < 0) {
        return;
    }
    queryScheme(kFormatRows[row].queryFormat, [this](const SchemeInfo& scheme) {
        if (auto* exportAction = std::get_if<ExportAction>(&task().action)) {
            exportAction->scheme_code = ToWide(QString::fromStdString(scheme.code));
            exportAction->scheme_name = ToWide(QString::fromStdString(scheme.name));
            ui->schemeLineEdit->setText(SchemeText(*exportAction));
        }
    });
}

void TaskActionPage::chooseMapping() {
    if (std::get_if<ExportAction>(&task().action) == nullptr) {
        return;
    }
    queryScheme("IFC", [this](const SchemeInfo& mapping) {
        if (auto* exportAction = std::get_if<ExportAction>(&task().action)) {
            exportAction->ifc_mapping_code = ToWide(QString::fromStdString(mapping.code));
            exportAction->ifc_mapping_name = ToWide(QString::fromStdString(mapping.name));
            ui->ifcMappingEdit->setText(QString::fromStdWString(exportAction->ifc_mapping_name));
        }
    });
}

void TaskActionPage::queryScheme(const std::string& format, std::function<void(const SchemeInfo&)> apply) {
    if (m_queryProgress != nullptr) {
        return;
    }
    if (m_query.joinable()) {
        m_query.join(); // the previous query's thread, whose result has come already
    }
    ToolLimits limits;
    limits.timeLimit = ReadRunSettings().toolTimeLimit;
    auto* progress =
        new QProgressDialog(tr("Выберите схему в окне программы ZelkorCLI."), tr("Отмена"), 0, 0, this);
    progress->setObjectName(QStringLiteral("schemeQueryProgress"));
    progress->setWindowTitle(tr("Выбор схемы"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    m_queryProgress = progress;
    ui->selectSchemeButton->setEnabled(false);
    ui->ifcMappingButton->setEnabled(false);
    connect(progress, &QProgressDialog::canceled, this, [this] {
        // The tool is ended; its end, a moment later, closes the dialog.
        m_query.request_stop();
        m_queryProgress->setLabelText(tr("Отмена выбора схемы…"));
        m_queryProgress->show();
    });
    m_query = std::jthread([this, format, limits, apply = std::move(apply)](std::stop_token stop) mutable {
        limits.stop = stop;
        const SchemeInfo scheme = QueryScheme(format, limits);
        QMetaObject::invokeMethod(
            this, [this, scheme, apply] { finishQuery(scheme, apply); }, Qt::QueuedConnection);
    });
    progress->show();
}

void TaskActionPage::finishQuery(const SchemeInfo& scheme,
                                 const std::function<void(const SchemeInfo&)>& apply) {
    m_queryProgress->deleteLater();
    m_queryProgress = nullptr;
    ui->selectSchemeButton->setEnabled(true);
    ui->ifcMappingButton->setEnabled(true);
    // A cancelled query changes nothing, even when the tool had made its choice just before.
    if (m_query.get_stop_token().stop_requested() || (scheme.code.empty() && scheme.name.empty())) {
        return;
    }
    apply(scheme);
}

void TaskActionPage::initializePage() {
    QWizardPage::initializePage();
    Action& action = task().action;
    ui->actionComboBox->setCurrentIndex(static_cast<int>(action.index()));

    if (auto* backup = std::get_if<BackupAction>(&action)) {
        ui->backupToolDestinationEdit->setText(QString::fromStdWString(backup->destination_path));
        m_connections->SelectConnection(backup->connection_id);
    } else if (auto* exportAction = std::get_if<ExportAction>(&action)) {
        // Copied first: selecting the connection and the format write into the record.
        const ExportAction stored = *exportAction;
        m_connections->SelectConnection(stored.connection_id);
        const int row = ui->formatComboBox->findData(static_cast<int>(stored.format));
        ui->formatComboBox->setCurrentIndex(row);
        ui->exportDstPathEdit->setText(QString::fromStdWString(stored.output_path));
        ui->schemeLineEdit->setText(SchemeText(stored));
        ui->ifcVersionComboBox->setCurrentText(QString::fromStdWString(stored.ifc_version));
        ui->ifcMappingEdit->setText(QString::fromStdWString(stored.ifc_mapping_name));
        // A stored version the list does not offer is kept as it is.
        std::get<ExportAction>(action).ifc_version = stored.ifc_version;
        showFormatGroups(row);
    } else if (auto* command = std::get_if<CommandAction>(&action)) {
        const CommandAction stored = *command;
        ui->executableEdit->setText(QString::fromStdWString(stored.executable));
        ui->argumentsEdit->setText(QString::fromStdWString(stored.arguments));
        ui->workingDirectoryEdit->setText(QString::fromStdWString(stored.working_directory));
    } else if (auto* check = std::get_if<CheckAction>(&action)) {
        const CheckAction stored = *check;
        ui->idsEdit->setText(QString::fromStdWString(stored.ids_file));
        ui->ifcEdit->setText(QString::fromStdWString(stored.ifc_file));
        ui->checkFileIDS->setChecked(stored.ids_file_mode);
        ui->checkFileIFC->setChecked(stored.ifc_file_mode);
        // The modes were set after the paths: the warnings look again with the stored modes.
        warnAboutMissingPath(ui->idsEdit, ui->idsPathWarning, stored.ids_file_mode);
        warnAboutMissingPath(ui->ifcEdit, ui->ifcPathWarning, stored.ifc_file_mode);
    }
    setFinalPage(ui->actionComboBox->currentIndex() == kCommandIndex);
}

bool TaskActionPage::isComplete() const {
    return missingText().isEmpty();
}

QString TaskActionPage::missingText() const {
    const bool connectionSelected = m_connections->GetSelectedConnection().has_value();
    QStringList missing;
    switch (ui->actionComboBox->currentIndex()) {
    case kBackupIndex:
    case kExportIndex:
        if (!connectionSelected) {
            missing << tr("соединение");
        }
        if (ui->actionComboBox->currentIndex() == kBackupIndex &&
            ui->backupToolDestinationEdit->text().isEmpty()) {
            missing << tr("место копии");
        }
        if (ui->actionComboBox->currentIndex() == kExportIndex && ui->exportDstPathEdit->text().isEmpty()) {
            missing << tr("папка");
        }
        break;
    case kCommandIndex:
        if (ui->executableEdit->text().isEmpty()) {
            missing << tr("приложение");
        }
        break;
    case kCheckIndex:
        if (ui->idsEdit->text().isEmpty()) {
            missing << tr("файлы IDS");
        }
        if (ui->ifcEdit->text().isEmpty()) {
            missing << tr("файлы IFC");
        }
        break;
    default:
        missing << tr("действие");
    }
    // Short: it shares its row with the kind's list.
    return missing.isEmpty() ? QString() : tr("Нужно: %1").arg(missing.join(tr(", ")));
}

bool TaskActionPage::validatePage() {
    const int index = ui->actionComboBox->currentIndex();
    if (index != kBackupIndex && index != kExportIndex) {
        return true;
    }
    try {
        m_connectionsModel->UpdateConnections(m_connections->GetEditedConnections());
    } catch (const exceptions::Error& error) {
        // The task does not depend on the file: the chosen connection is tested and used as edited.
        std::cerr << QString::fromStdWString(error.GetDescription()).toStdString() << '\n';
    }
    const std::optional<arkon_cm::Connection> selected = m_connections->GetSelectedConnection();
    if (!selected || !selected->isValid()) {
        return false;
    }
    try {
        // Only a test: the session is released at once.
        m_wizard.GetCore()->OpenSession(selected->server, selected->database);
    } catch (const arkon::ArkonError& error) {
        ShowModalMessage(this, QMessageBox::Warning, tr("Ошибка подключения"),
                         tr("Не удалось установить подключение.\n%1")
                             .arg(QString::fromStdWString(error.GetDescription())));
        return false;
    }
    m_wizard.GetConnection() = *selected;
    return true;
}

int TaskActionPage::nextId() const {
    return ui->actionComboBox->currentIndex() == kCommandIndex ? -1 : QWizardPage::nextId();
}
