// Name and description, written into the working copy as they are typed.
#include "TaskInfoPage.h"

#include "TaskWizard.h"
#include "ui_TaskInfoPage.h"

#include <algorithm>

class TaskInfoPageUi : public Ui::TaskInfoPage {};

TaskInfoPage::TaskInfoPage(TaskWizard& wizard) : m_wizard(wizard), ui(new TaskInfoPageUi) {
    ui->setupUi(this);
    connect(ui->nameEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_wizard.GetTask().name = text.toStdWString(); });
    connect(ui->descriptionEdit, &QPlainTextEdit::textChanged, this,
            [this] { m_wizard.GetTask().description = ui->descriptionEdit->toPlainText().toStdWString(); });
    connect(ui->nameEdit, &QLineEdit::textChanged, this, [this] { emit completeChanged(); });
    // Says why "Далее" is greyed out, while it is, and what a blank or taken name leads to.
    connect(ui->nameEdit, &QLineEdit::textChanged, this, [this](const QString& text) { showNameHint(text); });
}

QString TaskInfoPage::nameHint(const QString& name, const std::vector<std::wstring>& otherNames) {
    if (name.isEmpty()) {
        return tr("Чтобы продолжить, введите название задачи.");
    }
    if (name.trimmed().isEmpty()) {
        return tr("Название состоит только из пробелов: задачу будет трудно узнать в списке.");
    }
    if (std::find(otherNames.begin(), otherNames.end(), name.toStdWString()) != otherNames.end()) {
        return tr("Задача с таким названием уже есть: у двух задач будет общий журнал, а в терминале их "
                  "различит только номер в списке (например, --run @3).");
    }
    return {};
}

void TaskInfoPage::showNameHint(const QString& name) {
    const QString hint = nameHint(name, m_wizard.OtherNames());
    ui->nameHintLabel->setText(hint);
    ui->nameHintLabel->setVisible(!hint.isEmpty());
}

TaskInfoPage::~TaskInfoPage() {
    delete ui;
}

void TaskInfoPage::initializePage() {
    QWizardPage::initializePage();
    const TaskInfo& task = m_wizard.GetTask();
    ui->nameEdit->setText(QString::fromStdWString(task.name));
    ui->descriptionEdit->setPlainText(QString::fromStdWString(task.description));
    showNameHint(ui->nameEdit->text());
}

bool TaskInfoPage::isComplete() const {
    return !ui->nameEdit->text().isEmpty();
}
