// Name and description, written into the working copy as they are typed.
#include "TaskInfoPage.h"

#include "TaskWizard.h"
#include "ui_TaskInfoPage.h"

class TaskInfoPageUi : public Ui::TaskInfoPage {};

TaskInfoPage::TaskInfoPage(TaskWizard& wizard) : m_wizard(wizard), ui(new TaskInfoPageUi) {
    ui->setupUi(this);
    connect(ui->nameEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_wizard.GetTask().name = text.toStdWString(); });
    connect(ui->descriptionEdit, &QPlainTextEdit::textChanged, this,
            [this] { m_wizard.GetTask().description = ui->descriptionEdit->toPlainText().toStdWString(); });
    connect(ui->nameEdit, &QLineEdit::textChanged, this, [this] { emit completeChanged(); });
    // Says why "Далее" is greyed out, while it is.
    connect(ui->nameEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { ui->nameHintLabel->setVisible(text.isEmpty()); });
}

TaskInfoPage::~TaskInfoPage() {
    delete ui;
}

void TaskInfoPage::initializePage() {
    QWizardPage::initializePage();
    const TaskInfo& task = m_wizard.GetTask();
    ui->nameEdit->setText(QString::fromStdWString(task.name));
    ui->descriptionEdit->setPlainText(QString::fromStdWString(task.description));
}

bool TaskInfoPage::isComplete() const {
    return !ui->nameEdit->text().isEmpty();
}
