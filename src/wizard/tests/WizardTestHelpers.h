// Shared steps of the editor's tests: a task to start from, and reaching the widgets of a page.
#pragma once

#include "repository/ICore.h"
#include "wizard/TaskWizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

#include <memory>

inline TaskInfo NamedTask(const std::wstring& name) {
    TaskInfo task;
    task.name = name;
    return task;
}

// A shown wizard, so that QWizard fills its start page as it does for the user, with a repository core
// of its own by default.
inline std::unique_ptr<TaskWizard> ShownWizard(const TaskInfo& task,
                                               std::shared_ptr<arkon::ICore> core = arkon::CreateCore()) {
    auto wizard = std::make_unique<TaskWizard>(task, nullptr, std::move(core));
    wizard->show();
    return wizard;
}

template <typename T>
T* Widget(const QWidget& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
}

// Shown as the user sees it: enabled and not hidden within the wizard.
inline bool Offered(const TaskWizard& wizard, QWizard::WizardButton which) {
    const QAbstractButton* button = wizard.button(which);
    return button->isVisibleTo(const_cast<TaskWizard*>(&wizard)) && button->isEnabled();
}

// Moves forward from the start page to the page with the id, as Next does.
inline void NextUntil(TaskWizard& wizard, int id) {
    while (wizard.currentId() != id && wizard.currentId() < id) {
        const int before = wizard.currentId();
        wizard.next();
        if (wizard.currentId() == before) {
            return;
        }
    }
}
