// The wizard's frame: its pages in their fixed order, title, style and remembered geometry.
#include "TaskWizard.h"

#include "TaskActionPage.h"
#include "TaskBrowserPage.h"
#include "TaskInfoPage.h"
#include "TaskTriggerPage.h"
#include "scheduler/SettingKeys.h"

#include <QScreen>
#include <QSettings>

#include <algorithm>

TaskWizard::TaskWizard(const TaskInfo& task, QWidget* parent, std::shared_ptr<arkon::ICore> core,
                       Purpose purpose)
    : QWizard(parent), m_core(std::move(core)), m_task(task) {
    setWizardStyle(QWizard::ClassicStyle);
    setOptions(QWizard::NoBackButtonOnStartPage);

    setPage(InfoPageId, new TaskInfoPage(*this));
    setPage(TriggerPageId, new TaskTriggerPage(*this));
    setPage(ActionPageId, new TaskActionPage(*this));
    m_browserPage = new TaskBrowserPage(*this);
    setPage(BrowserPageId, m_browserPage);

    // The first page alone has a title; a new task keeps the designed ones.
    switch (purpose) {
    case Purpose::Create:
        setWindowTitle(tr("Создание задачи"));
        break;
    case Purpose::Edit:
        setWindowTitle(tr("Изменение задачи"));
        page(InfoPageId)->setTitle(tr("Изменить задачу"));
        break;
    case Purpose::Clone:
        setWindowTitle(tr("Копирование задачи"));
        page(InfoPageId)->setTitle(tr("Скопировать задачу"));
        break;
    }

    m_geometryRestored = restoreGeometry(QSettings().value(setting_keys::kWizardGeometry).toByteArray());
}

void TaskWizard::setVisible(bool visible) {
    if (visible && !m_geometryRestored && !testAttribute(Qt::WA_Resized)) {
        if (currentId() == -1) {
            restart(); // as QWizard does on showing: the start page decides the rest of the size hint
        }
        resize(sizeHint().boundedTo(screen()->availableGeometry().size()));
    }
    QWizard::setVisible(visible);
}

QSize TaskWizard::sizeHint() const {
    const QSize hint = QWizard::sizeHint();
    const QWizardPage* shown = currentPage();
    if (shown == nullptr) {
        return hint;
    }
    // Pages stack between the title and the buttons, so what the shown page lacks in height is added;
    // every page fits in the width Qt gives the first one.
    int tallest = 0;
    for (const int id : pageIds()) {
        tallest = std::max(tallest, page(id)->sizeHint().height());
    }
    return {hint.width(), hint.height() + std::max(0, tallest - shown->sizeHint().height())};
}

TaskWizard::~TaskWizard() {
    // Written only when the user moved or resized it: a write makes the settings file be saved anew
    // and flushed to disk, which stalls the window when a task is stored (most often it is unchanged).
    QSettings settings;
    if (const QByteArray geometry = saveGeometry();
        settings.value(setting_keys::kWizardGeometry) != geometry) {
        settings.setValue(setting_keys::kWizardGeometry, geometry);
    }
    // The browser page holds the repository objects; they go before the working copy and the rest.
    removePage(BrowserPageId);
    delete m_browserPage;
}
