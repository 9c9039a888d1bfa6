// The schedule editor: every change goes into the working copy at once; starts are whole minutes.
#include "TaskTriggerPage.h"

#include "TaskOptionsDialog.h"
#include "TaskWizard.h"
#include "model/LocalDateTime.h"
#include "model/LocalZone.h"
#include "model/PluralForm.h"
#include "scheduler/NextRun.h"
#include "ui_TaskTriggerPage.h"

#include <QLocale>
#include <QStringList>

class TaskTriggerPageUi : public Ui::TaskTriggerPage {};

namespace {

constexpr int kDailyIndex = static_cast<int>(TriggerKind::Daily);
constexpr int kWeeklyIndex = static_cast<int>(TriggerKind::Weekly);
constexpr std::int64_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr std::size_t kShownRuns = 3;

Weekday WeekdayOf(const QDate& date) {
    return static_cast<Weekday>(date.dayOfWeek() % 7); // Qt counts Sunday as 7
}

std::int32_t& IntervalOf(Trigger& trigger) {
    return std::visit([](auto& kind) -> std::int32_t& { return kind.repeat_interval; }, trigger);
}

} // namespace

TaskTriggerPage::TaskTriggerPage(TaskWizard& wizard) : m_wizard(wizard), ui(new TaskTriggerPageUi) {
    ui->setupUi(this);
    ui->weekDaysWidget->hide();
    m_dayBoxes = {{ui->sundayCheckBox, 0},    {ui->mondayCheckBox, 1},   {ui->tuesdayCheckBox, 2},
                  {ui->wednesdayCheckBox, 3}, {ui->thursdayCheckBox, 4}, {ui->fridayCheckBox, 5},
                  {ui->saturdayCheckBox, 6}};

    // Set before any handler is connected, so nothing is written yet.
    const LocalDateTime now = ToLocalDateTime(CurrentTime());
    ui->startDateEdit->setDate(now.date);
    ui->startTimeEdit->setTime(now.time);

    connect(ui->triggerComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { onKindChanged(index); });
    connect(ui->triggerComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { showKind(index); });
    for (const auto& [box, day] : m_dayBoxes) {
        connect(box, &QCheckBox::toggled, this,
                [this, day = day](bool checked) { onDayToggled(day, checked); });
    }
    connect(ui->repeatSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            [this](int value) { onIntervalChanged(value); });
    connect(ui->startDateEdit, &QDateEdit::dateChanged, this,
            [this](const QDate& date) { onStartChanged(date, ui->startTimeEdit->time()); });
    connect(ui->startTimeEdit, &QTimeEdit::timeChanged, this,
            [this](const QTime& time) { onStartChanged(ui->startDateEdit->date(), time); });
    connect(ui->runOnlyOnWeekdays, &QCheckBox::stateChanged, this,
            [this](int state) { onWorkingDaysFlagChanged(state); });
    connect(ui->moveStartButton, &QAbstractButton::clicked, this,
            [this] { ui->startDateEdit->setDate(m_firstChosenDay); });
    connect(ui->optionsButton, &QAbstractButton::clicked, this, [this] { editOptions(); });
    ui->startDayNoteLabel->hide();
    ui->moveStartButton->hide();
}

void TaskTriggerPage::editOptions() {
    // Window-modal: the wizard waits for it, and no event loop of its own runs inside the page's call.
    auto* dialog = new TaskOptionsDialog(task().options, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { task().options = dialog->options(); });
    dialog->open();
}

TaskTriggerPage::~TaskTriggerPage() {
    delete ui;
}

TaskInfo& TaskTriggerPage::task() {
    return m_wizard.GetTask();
}

void TaskTriggerPage::onKindChanged(int index) {
    TaskInfo& record = task();
    if (index == static_cast<int>(record.trigger.index())) {
        return;
    }
    if (index == kDailyIndex) {
        record.trigger = DailyTrigger{ui->repeatSpinBox->value()};
    } else if (index == kWeeklyIndex) {
        WeeklyTrigger weekly{ui->repeatSpinBox->value(), {}};
        for (const auto& [box, day] : m_dayBoxes) {
            if (box->isChecked()) {
                weekly.weekdays.insert(day);
            }
        }
        record.trigger = std::move(weekly);
    }
    showNextRuns();
    emit completeChanged();
}

void TaskTriggerPage::showKind(int index) {
    ui->weekDaysWidget->setVisible(index == kWeeklyIndex);
    applyWorkingDaysRule();
    showIntervalWords();
}

void TaskTriggerPage::showIntervalWords() {
    const PluralForm form = PluralFormOf(ui->repeatSpinBox->value());
    const bool singular = form == PluralForm::One || form == PluralForm::SingularNumbered;
    const auto pick = [form](const char* one, const char* few, const char* many) {
        return tr(form == PluralForm::Few ? few : form == PluralForm::Many ? many : one);
    };
    switch (KindOf(task().trigger)) {
    case TriggerKind::Daily:
        ui->label_2->setText(singular ? tr("Повторять каждый") : tr("Повторять каждые"));
        ui->repeatLabel->setText(pick("день", "дня", "дней"));
        break;
    case TriggerKind::Weekly:
        ui->label_2->setText(singular ? tr("Повторять каждую") : tr("Повторять каждые"));
        ui->repeatLabel->setText(pick("неделю", "недели", "недель"));
        break;
    case TriggerKind::Monthly:
        ui->label_2->setText(singular ? tr("Повторять каждый") : tr("Повторять каждые"));
        ui->repeatLabel->setText(pick("месяц", "месяца", "месяцев"));
        break;
    }
}

void TaskTriggerPage::onDayToggled(Weekday day, bool checked) {
    if (auto* weekly = std::get_if<WeeklyTrigger>(&task().trigger)) {
        if (checked) {
            weekly->weekdays.insert(day);
        } else {
            weekly->weekdays.erase(day);
        }
    }
    showNextRuns();
    emit completeChanged();
}

void TaskTriggerPage::onIntervalChanged(int value) {
    IntervalOf(task().trigger) = value;
    showIntervalWords();
    applyWorkingDaysRule();
    showNextRuns();
}

void TaskTriggerPage::onStartChanged(const QDate& date, const QTime& time) {
    const TimePoint start = FromLocalDateTime(date, time);
    // Whole minutes, earlier instants included: floor, not truncation towards 1970.
    task().starting_point =
        TimePointFromTicks(FloorDiv(start.time_since_epoch().count(), kTicksPerMinute) * kTicksPerMinute);
    applyWorkingDaysRule();
    showNextRuns();
}

void TaskTriggerPage::onWorkingDaysFlagChanged(int state) {
    task().SetRunOnlyOnWorkingDays(state != Qt::Unchecked);
    showNextRuns();
}

void TaskTriggerPage::applyWorkingDaysRule() {
    const TaskInfo& record = task();
    const auto* daily = std::get_if<DailyTrigger>(&record.trigger);
    const bool shown =
        daily != nullptr && !(IsWeekend(record.starting_point) && daily->repeat_interval % 7 == 0);
    // Hiding neither unchecks the box nor clears the flag.
    ui->runOnlyOnWeekdays->setVisible(shown);
}

void TaskTriggerPage::initializePage() {
    QWizardPage::initializePage();
    // A monthly schedule has no item: the combo box is left without a current one.
    ui->triggerComboBox->setCurrentIndex(static_cast<int>(task().trigger.index()));

    const LocalDateTime start = ToLocalDateTime(task().starting_point);
    ui->startDateEdit->setDate(start.date);
    ui->startTimeEdit->setTime(start.time);

    ui->runOnlyOnWeekdays->setChecked(task().run_only_on_working_days);

    ui->repeatSpinBox->setValue(IntervalOf(task().trigger));
    // What the spin box can show is what the task gets: a stored 150 shows as 99 and becomes 99, also
    // when the spin box already showed 99 and so said nothing.
    IntervalOf(task().trigger) = ui->repeatSpinBox->value();
    showIntervalWords();
    if (const auto* weekly = std::get_if<WeeklyTrigger>(&task().trigger)) {
        // Read from a copy: each box that changes writes into the record's set.
        const std::set<Weekday> weekdays = weekly->weekdays;
        for (const auto& [box, day] : m_dayBoxes) {
            box->setChecked(weekdays.count(day) != 0);
        }
    }
    applyWorkingDaysRule();
    showNextRuns();
}

void TaskTriggerPage::showNextRuns() {
    // One more than is shown, to tell whether the schedule goes on after them.
    const std::vector<TimePoint> runs = UpcomingRuns(CurrentTime(), task(), static_cast<int>(kShownRuns) + 1);
    QStringList texts;
    const LocalZone zone = LocalZone::Current();
    for (std::size_t i = 0; i < runs.size() && i < kShownRuns; ++i) {
        QString text = LocalDateTimeText(runs[i], QStringLiteral("dd.MM.yyyy в hh:mm"));
        // The first run after a clock change says why its wall-clock time moved (a daily one), or why
        // it is not the time of day entered (a weekly one in the skipped hour).
        if (i > 0) {
            const std::int64_t before = zone.OffsetSeconds(runs[i - 1]);
            const std::int64_t after = zone.OffsetSeconds(runs[i]);
            if (after != before) {
                text += after > before ? tr(" (летнее время)") : tr(" (зимнее время)");
            }
        }
        // One run is never broken across lines; the list breaks between runs.
        texts << text.replace(QLatin1Char(' '), QChar::Nbsp);
    }
    if (runs.size() > kShownRuns) {
        texts << QStringLiteral("…");
    }
    showStartDayNote();
    if (runs.empty()) {
        ui->nextRunsLabel->setText(tr("Ближайший запуск: не запланирован"));
    } else if (runs.size() == 1) {
        ui->nextRunsLabel->setText(tr("Ближайший запуск: %1").arg(texts.front()));
    } else {
        ui->nextRunsLabel->setText(tr("Ближайшие запуски: %1").arg(texts.join(QStringLiteral(", "))));
    }
}

void TaskTriggerPage::showStartDayNote() {
    // A weekly task runs on its start day first, chosen or not (the preview shows it); from then on it
    // runs on the chosen days. Said only while that first run is still ahead.
    const TaskInfo& record = task();
    const auto* weekly = std::get_if<WeeklyTrigger>(&record.trigger);
    const QDate start = ToLocalDateTime(record.starting_point).date;
    m_firstChosenDay = {};
    if (weekly != nullptr && record.starting_point > CurrentTime() &&
        weekly->weekdays.count(WeekdayOf(start)) == 0) {
        for (int days = 1; days <= 7 && !m_firstChosenDay.isValid(); ++days) {
            if (weekly->weekdays.count(WeekdayOf(start.addDays(days))) != 0) {
                m_firstChosenDay = start.addDays(days);
            }
        }
    }
    const bool shown = m_firstChosenDay.isValid();
    ui->startDayNoteLabel->setVisible(shown);
    ui->moveStartButton->setVisible(shown);
    if (!shown) {
        return;
    }
    const QLocale russian(QLocale::Russian);
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");
    ui->startDayNoteLabel->setText(
        tr("День начала, %1 (%2), не выбран: задача впервые запустится в этот день, а затем — по выбранным "
           "дням.")
            .arg(start.toString(dateFormat), russian.dayName(start.dayOfWeek())));
    ui->moveStartButton->setText(
        tr("Перенести начало на %1 (%2)")
            .arg(m_firstChosenDay.toString(dateFormat), russian.dayName(m_firstChosenDay.dayOfWeek())));
}

bool TaskTriggerPage::isComplete() const {
    if (ui->triggerComboBox->currentIndex() != kWeeklyIndex) {
        return true;
    }
    for (const auto& [box, day] : m_dayBoxes) {
        if (box->isChecked()) {
            return true;
        }
    }
    return false;
}
