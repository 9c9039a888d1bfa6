// The wizard's frame: its pages in their fixed order, title, style and remembered geometry.
#include "TaskWizard.h"

#include "TaskActionPage.h"
#include "TaskBrowserPage.h"
#include "TaskInfoPage.h"
#include "TaskTriggerPage.h"
#include "scheduler/TaskStorage.h"

#include <QSettings>

namespace {

const QString kGeometryKey = QStringLiteral("TaskWizard/geometry");

} // namespace

TaskWizard::TaskWizard(const TaskInfo& task, QWidget* parent, std::shared_ptr<arkon::ICore> core)
    : QWizard(parent), m_core(core ? std::move(core) : TaskStorage::Instance().Core()), m_task(task) {
    setWindowTitle(tr("Создание задачи"));
    setWizardStyle(QWizard::ClassicStyle);
    setOptions(QWizard::NoBackButtonOnStartPage);

    setPage(InfoPageId, new TaskInfoPage(*this));
    setPage(TriggerPageId, new TaskTriggerPage(*this));
    setPage(ActionPageId, new TaskActionPage(*this));
    m_browserPage = new TaskBrowserPage(*this);
    setPage(BrowserPageId, m_browserPage);

    restoreGeometry(QSettings().value(kGeometryKey).toByteArray());
}

TaskWizard::~TaskWizard() {
    QSettings().setValue(kGeometryKey, saveGeometry());
    // The browser page holds the repository objects; they go before the working copy and the rest.
    removePage(BrowserPageId);
    delete m_browserPage;
}
