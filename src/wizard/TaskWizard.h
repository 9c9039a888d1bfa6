// The one dialog in which a task is created, edited or cloned.
#pragma once

#include "model/TaskInfo.h"
#include "repository/Connection.h"
#include "repository/ICore.h"

#include <QCoreApplication>
#include <QWizard>

#include <memory>
#include <vector>

class TaskBrowserPage;

// Works on a copy of the task it is given: every page writes each change into that copy at once, so
// Finish only closes the dialog and Cancel leaves the caller's record as it was.
class TaskWizard : public QWizard {
    Q_DECLARE_TR_FUNCTIONS(TaskWizard)

public:
    // The page ids are fixed; the action page decides whether the browser page follows.
    enum PageId { InfoPageId = 0, TriggerPageId = 1, ActionPageId = 2, BrowserPageId = 3 };

    // What the wizard is run for: only its titles differ.
    enum class Purpose { Create, Edit, Clone };

    // `core` serves the connection checks and the repository browser: the engine's, in the program.
    TaskWizard(const TaskInfo& task, QWidget* parent, std::shared_ptr<arkon::ICore> core,
               Purpose purpose = Purpose::Create);
    // Saves the geometry, then takes the browser page down before anything else of the wizard.
    ~TaskWizard() override;

    TaskWizard(const TaskWizard&) = delete;
    TaskWizard& operator=(const TaskWizard&) = delete;

    // The working copy: the result once exec() returned Accepted.
    TaskInfo& GetTask() { return m_task; }
    const TaskInfo& GetTask() const { return m_task; }
    // The connection the action page verified, for the browser page; never stored in the task.
    arkon_cm::Connection& GetConnection() { return m_connection; }
    const std::shared_ptr<arkon::ICore>& GetCore() const { return m_core; }
    // The names of the other stored tasks: a name among them is accepted, with a word that the two tasks
    // will share their log.
    void SetOtherNames(std::vector<std::wstring> names) { m_otherNames = std::move(names); }
    const std::vector<std::wstring>& OtherNames() const { return m_otherNames; }

    // Room for the tallest page, not only for the one shown first: the wizard opens at this size until
    // the user chose one, so every page and action kind shows whole in it.
    QSize sizeHint() const override;
    // Opens at that size (up to the screen's) while no geometry is saved: Qt would cap it at two thirds
    // of the screen, and the largest page needs more on a small one.
    void setVisible(bool visible) override;

private:
    std::shared_ptr<arkon::ICore> m_core;
    arkon_cm::Connection m_connection;
    TaskInfo m_task;
    std::vector<std::wstring> m_otherNames;
    TaskBrowserPage* m_browserPage = nullptr;
    bool m_geometryRestored = false;
};
