// The browser page as it stands: the stored repository path, unchanged.
#include "TaskBrowserPage.h"

#include "TaskWizard.h"

#include <QLabel>
#include <QVBoxLayout>

TaskBrowserPage::TaskBrowserPage(TaskWizard& wizard) : m_wizard(wizard), m_summary(new QLabel(this)) {
    setObjectName(QStringLiteral("TaskBrowserPage"));
    m_summary->setObjectName(QStringLiteral("pathSummaryLabel"));
    m_summary->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addStretch(1);
}

void TaskBrowserPage::initializePage() {
    QWizardPage::initializePage();
    const Action& action = m_wizard.GetTask().action;
    QString path;
    if (const auto* backup = std::get_if<BackupAction>(&action)) {
        path = QString::fromStdWString(backup->source_path);
    } else if (const auto* exportAction = std::get_if<ExportAction>(&action)) {
        path = QString::fromStdWString(exportAction->project_path);
    }
    m_summary->setText(path.isEmpty() ? QString() : tr("Путь: %1").arg(path));
}

bool TaskBrowserPage::validatePage() {
    return true;
}

bool TaskBrowserPage::isComplete() const {
    return true;
}
