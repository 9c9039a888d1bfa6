// The wizard's last page: the repository folder of a backup or the project of an export, picked in the
// repository browser on the connection the action page verified, and the only-changed-documents flag of
// exports and checks.
#pragma once

#include "repository/ItemStore.h"

#include <QCoreApplication>
#include <QString>
#include <QWizardPage>

#include <memory>

class TaskBrowserPageUi;
class TaskWizard;
namespace arkon_browser {
class BrowserWidget;
}

class TaskBrowserPage : public QWizardPage {
    Q_DECLARE_TR_FUNCTIONS(TaskBrowserPage)

public:
    explicit TaskBrowserPage(TaskWizard& wizard);
    ~TaskBrowserPage() override;

    TaskBrowserPage(const TaskBrowserPage&) = delete;
    TaskBrowserPage& operator=(const TaskBrowserPage&) = delete;

    // Opens a fresh session on the chosen connection for a backup or an export.
    void initializePage() override;
    // Always accepts.
    bool validatePage() override;
    // Complete with any path, the bare prefix (the repository root) included; a check always is.
    bool isComplete() const override;

private:
    void onSelectionChanged();
    void normalisePath();
    void storePath(const QString& text);
    void onFlagToggled(bool checked);
    void showStoredPath(const QString& path);

    TaskWizard& m_wizard;
    TaskBrowserPageUi* ui;
    arkon_browser::BrowserWidget* m_browser;
    // "arkon://" + connection name + "/" of the latest session; every accepted path starts with it.
    QString m_prefix;
    std::shared_ptr<arkon::ItemStore> m_itemStore;
};
