// The wizard's third page: what the task does, that kind's parameters, and for backups and exports the
// repository connection, which it checks before the wizard moves on.
#pragma once

#include "execution/SchemeInfo.h"
#include "model/TaskInfo.h"
#include "repository/Config.h"
#include "repository/ConnectionsModel.h"

#include <QCoreApplication>
#include <QWizardPage>

#include <functional>
#include <memory>
#include <string>
#include <thread>

class QLineEdit;
class QProgressDialog;
class QCheckBox;
class QLabel;
class TaskActionPageUi;
class TaskWizard;
namespace arkon_cm {
class ConnectionsManagerWidget;
}

class TaskActionPage : public QWizardPage {
    Q_DECLARE_TR_FUNCTIONS(TaskActionPage)

public:
    explicit TaskActionPage(TaskWizard& wizard);
    ~TaskActionPage() override;

    TaskActionPage(const TaskActionPage&) = delete;
    TaskActionPage& operator=(const TaskActionPage&) = delete;

    void initializePage() override;
    // For backups and exports: writes the edited connections back and tests the selected one.
    bool validatePage() override;
    bool isComplete() const override;
    // What the page still needs before Next, as the page says it ("Нужно: соединение, место копии");
    // empty when it is complete.
    QString missingText() const;
    // A command has no browser page: Finish is offered here.
    int nextId() const override;
    // The room of the largest kind (an export with its scheme or IFC settings), whichever kind is
    // shown, so that the wizard opens big enough for every kind the user may switch to.
    QSize sizeHint() const override;

private:
    enum class Completeness { Changes, Unaffected };
    // The line edit's text goes into the field of the task's action while the action is of that kind;
    // a field the page's completeness depends on has it checked again.
    template <typename Action>
    void storeText(QLineEdit* edit, std::wstring Action::*field, Completeness completeness);
    TaskInfo& task();
    boost::uuids::uuid SelectedValidConnectionId() const;

    void onConnectionSelectionChanged();
    void switchKind(int index);
    void showKind(int index);
    void onFormatChanged(int row);
    void showFormatGroups(int row);
    void chooseFolder(QLineEdit* edit);
    void chooseApplication();
    void chooseCheckInput(QLineEdit* edit, bool fileMode, const QString& filter);
    void onCheckModeClicked(QLineEdit* edit);
    // Says beside a path that nothing of that kind is there, without keeping the user from going on.
    // `edit`: none when its path is known to be there (a program found on the search path).
    void warnAboutMissingPath(const QLineEdit* edit, QLabel* warning, bool file);
    void chooseScheme();
    void chooseMapping();
    // Asks the tool for a scheme on a thread of its own, within the tool's time limit, while a dialog
    // shows that the page waits and lets the user cancel; `apply` gets a choice that was made.
    void queryScheme(const std::string& format, std::function<void(const SchemeInfo&)> apply);
    void finishQuery(const SchemeInfo& scheme, const std::function<void(const SchemeInfo&)>& apply);

    TaskWizard& m_wizard;
    // Declared in this order so that the model goes before the file it was read from.
    arkon_cfg::Config m_connectionsFile;
    std::unique_ptr<arkon_cm::ConnectionsModel> m_connectionsModel;
    TaskActionPageUi* ui;
    arkon_cm::ConnectionsManagerWidget* m_connections = nullptr;
    QProgressDialog* m_queryProgress = nullptr; // while a scheme query runs
    // Last: a page that goes while the tool runs stops the query and waits for its thread first.
    std::jthread m_query;
};
