// Every page of the editor as a user reaches it, for each kind of action, for the tests that look at
// all of them alike: the order Tab walks, the names a screen reader announces.
#pragma once

#include "PageTestRepository.h"
#include "WizardTestHelpers.h"

#include <QComboBox>
#include <QWizardPage>

#include <functional>

// Calls `look` on the shown wizard at each page: the first page, the schedule page daily and weekly, the
// action page of every kind (export with a drawing format and with IFC), and the pages after it.
// `where` names the page and kind for a failure's message.
inline void ForEveryWizardPage(const std::function<void(const QString& where, TaskWizard&)>& look) {
    PageTestRepository repository;
    struct Kind {
        const char* name;
        int action;
        int format; // row of the format list, for an export
    };
    for (const Kind& kind : {Kind{"backup", 0, 0}, Kind{"export DXF", 1, 0}, Kind{"export IFC", 1, 4},
                             Kind{"command", 2, 0}, Kind{"check", 3, 0}}) {
        auto wizard = ShownWizard(NamedTask(L"Задача"));
        const QString name = QString::fromLatin1(kind.name);
        look(name + QStringLiteral(": info page"), *wizard);
        wizard->next();
        look(name + QStringLiteral(": schedule page, daily"), *wizard);
        auto* trigger = Widget<QComboBox>(*wizard, "triggerComboBox");
        trigger->setCurrentIndex(1);
        look(name + QStringLiteral(": schedule page, weekly"), *wizard);
        trigger->setCurrentIndex(0);
        wizard->next();
        Widget<QComboBox>(*wizard, "actionComboBox")->setCurrentIndex(kind.action);
        Widget<QComboBox>(*wizard, "formatComboBox")->setCurrentIndex(kind.format);
        FillActionPage(*wizard);
        look(name + QStringLiteral(": action page"), *wizard);
        for (int before = wizard->currentId(); wizard->nextId() != -1; before = wizard->currentId()) {
            wizard->next();
            if (wizard->currentId() == before) {
                break; // the page did not let the user on: the test looking at the next one fails
            }
            look(name + QStringLiteral(": page ") + QString::number(wizard->currentId()), *wizard);
        }
    }
}
