// The status columns over the task list model, under Qt's model tester, with scripted statuses: the
// texts of each outcome, the failure's tooltip and icons (also beside the name), paused, waiting and
// retried tasks, and which cells a status change repaints.
#include "app/TaskStatusProxy.h"
#include "app/TasksListModel.h"

#include "ScopedTimeZone.h"
#include "TestEngine.h"
#include "TimeHelpers.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <map>
#include <memory>

Q_DECLARE_METATYPE(RunOutcome)

class TaskStatusProxyTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEngine> m_engine;
    std::unique_ptr<TasksListModel> m_model;
    std::unique_ptr<TaskStatusProxy> m_proxy;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::map<const TaskInfo*, TaskStatus> m_statuses;

    const TaskInfo* Task(int row) const {
        return m_engine->storage->Tasks()[static_cast<std::size_t>(row)].get();
    }
    QVariant Cell(int row, int column, int role = Qt::DisplayRole) const {
        return m_proxy->index(row, column).data(role);
    }

private slots:
    void init() {
        m_engine = std::make_unique<TestEngine>();
        m_model = std::make_unique<TasksListModel>(m_engine->Source(), nullptr);
        for (const wchar_t* name : {L"Архив", L"Экспорт", L"Проверка"}) {
            m_model->appendStoredTask(m_engine->storage->AddTask(TestEngine::Task(name)));
        }
        m_statuses.clear();
        m_proxy = std::make_unique<TaskStatusProxy>(
            m_model.get(), [this](const TaskInfo* task) { return m_statuses[task]; }, nullptr);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_proxy.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void cleanup() {
        m_tester.reset();
        m_proxy.reset();
        m_model.reset();
        m_engine.reset();
    }

    void columnsFollowTheListModels() {
        QCOMPARE(m_proxy->columnCount(), 5);
        const QStringList headers{"Название", "Триггер", "Следующий запуск", "Последний запуск", "Результат"};
        for (int column = 0; column < 5; ++column) {
            QCOMPARE(m_proxy->headerData(column, Qt::Horizontal).toString(), headers[column]);
            QCOMPARE(m_proxy->taskAt(m_proxy->index(1, column)), Task(1));
            QCOMPARE(m_proxy->flags(m_proxy->index(1, column)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            QCOMPARE(m_proxy->rowCount(m_proxy->index(1, column)), 0);
        }
        QCOMPARE(Cell(1, 0).toString(), QStringLiteral("Экспорт"));
        QCOMPARE(Cell(1, 1), m_model->index(1, 1).data());
        QVERIFY(!m_proxy->mapToSource(m_proxy->index(1, TaskStatusProxy::ResultColumn)).isValid());
        QCOMPARE(m_proxy->rowOf(Task(2)), 2);

        // Rows come and go through the list model, with the same announcements.
        QSignalSpy removed(m_proxy.get(), &QAbstractItemModel::rowsRemoved);
        QVERIFY(m_model->removeRow(0));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(m_proxy->rowCount(), 2);
        QCOMPARE(Cell(0, 0).toString(), QStringLiteral("Экспорт"));
        const TaskInfo* last = Task(1);
        QCOMPARE(m_proxy->rowOf(last), 1);
        QVERIFY(m_model->insertTask(0, {}, TestEngine::Task(L"Новая")));
        QCOMPARE(m_proxy->rowOf(last), 2);
        // The rows by task follow additions and removals anywhere, several at once included.
        QVERIFY(m_model->insertTask(3, {}, TestEngine::Task(L"В конце")));
        QVERIFY(m_model->insertTask(1, {}, TestEngine::Task(L"Вторая")));
        QVERIFY(m_model->insertTask(1, {}, TestEngine::Task(L"Перед второй")));
        QVERIFY(m_model->removeRows(2, 2));
        QVERIFY(m_model->insertTask(2, {}, TestEngine::Task(L"Третья")));
        for (int row = 0; row < m_proxy->rowCount(); ++row) {
            QCOMPARE(m_proxy->rowOf(m_proxy->taskAt(m_proxy->index(row, 0))), row);
        }
        QCOMPARE(m_proxy->rowCount(), 5);
    }

    void resultColumnSaysHowTheLastRunEnded_data() {
        QTest::addColumn<RunOutcome>("outcome");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("icon");
        QTest::addColumn<bool>("tooltip");
        QTest::newRow("never ran") << RunOutcome::None << QString() << false << false;
        QTest::newRow("running") << RunOutcome::Running << QStringLiteral("Выполняется…") << true << false;
        QTest::newRow("succeeded") << RunOutcome::Succeeded << QStringLiteral("Успешно") << false << false;
        QTest::newRow("warnings") << RunOutcome::Warnings << QStringLiteral("Есть предупреждения") << true
                                  << true;
        QTest::newRow("failed") << RunOutcome::Failed << QStringLiteral("Ошибка") << true << true;
        QTest::newRow("missed") << RunOutcome::Missed << QStringLiteral("Пропущен") << false << false;
        QTest::newRow("interrupted") << RunOutcome::Interrupted << QStringLiteral("Прерван") << false
                                     << false;
        QTest::newRow("limit") << RunOutcome::LimitExceeded << QStringLiteral("Превышено время") << true
                               << true;
    }

    void resultColumnSaysHowTheLastRunEnded() {
        QFETCH(RunOutcome, outcome);
        QFETCH(QString, text);
        QFETCH(bool, icon);
        QFETCH(bool, tooltip);
        m_statuses[Task(1)] = {.outcome = outcome, .first_error = L"Ошибка: нет файла"};
        const int result = TaskStatusProxy::ResultColumn;
        QCOMPARE(Cell(1, result).toString(), text);
        QCOMPARE(!Cell(1, result, Qt::DecorationRole).value<QIcon>().isNull(), icon);
        // Each marked outcome has its own sign.
        const auto sign = [this](RunOutcome o) {
            m_statuses[Task(1)].outcome = o;
            return Cell(1, TaskStatusProxy::ResultColumn, Qt::DecorationRole).value<QIcon>().cacheKey();
        };
        if (icon) {
            const qint64 own = sign(outcome);
            for (const RunOutcome other : {RunOutcome::Running, RunOutcome::Warnings, RunOutcome::Failed}) {
                QCOMPARE(own == sign(other), other == outcome || (IsFailure(other) && IsFailure(outcome)));
            }
            m_statuses[Task(1)].outcome = outcome;
        }
        QCOMPARE(Cell(1, result, Qt::ToolTipRole).toString(),
                 tooltip ? QStringLiteral("Ошибка: нет файла") : QString());
        // Only the row's own status shows.
        QCOMPARE(Cell(0, result).toString(), QString());

        // The name cell, in sight at the window's first size, wears the same sign and tells the result,
        // under the whole name, in its tool tip; a task that never ran has neither.
        const QIcon nameSign = Cell(1, 0, Qt::DecorationRole).value<QIcon>();
        if (icon) {
            QCOMPARE(nameSign.cacheKey(), Cell(1, result, Qt::DecorationRole).value<QIcon>().cacheKey());
        } else { // an empty place of the same size, so that the names stay in line
            QVERIFY(!nameSign.isNull());
            QCOMPARE(nameSign.pixmap(16, 16).toImage().pixelColor(8, 8).alpha(), 0);
        }
        const QString nameTip = Cell(1, 0, Qt::ToolTipRole).toString();
        if (text.isEmpty()) {
            QVERIFY(!Cell(1, 0, Qt::ToolTipRole).isValid());
        } else {
            QCOMPARE(nameTip.section(u'\n', 0, 1), QStringLiteral("Экспорт\nРезультат: ") + text);
            QCOMPARE(nameTip.section(u'\n', 2), tooltip ? QStringLiteral("Ошибка: нет файла") : QString());
        }
        QCOMPARE(Cell(1, 0).toString(), QStringLiteral("Экспорт")); // the list model's text stays
    }

    void pausedWaitingAndRetriedTasksShowSoAtAGlance_data() {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QString>("waiting");
        QTest::addColumn<RunOutcome>("outcome");
        QTest::addColumn<bool>("retry");
        QTest::addColumn<QString>("nextRun");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("resultSign"); // a resource, empty for none
        QTest::addColumn<QString>("nameSign");
        QTest::addColumn<QString>("resultTip");
        const QString paused = QStringLiteral(":/task_paused.ico");
        const QString waiting = QStringLiteral(":/task_waiting.ico");
        const QString failed = QStringLiteral(":/task_failed.ico");
        const QString next = QStringLiteral("09.12.2026 09:30");
        const QString away = QStringLiteral("папка назначения недоступна");
        QTest::newRow("paused") << true << QString() << RunOutcome::Succeeded << false
                                << QStringLiteral("Приостановлена") << QStringLiteral("Успешно") << QString()
                                << paused << QString();
        // Paused says more of what comes than the last failure does; the result cell keeps its sign.
        QTest::newRow("paused after a failure")
            << true << QString() << RunOutcome::Failed << false << QStringLiteral("Приостановлена")
            << QStringLiteral("Ошибка") << failed << paused << QStringLiteral("нет диска");
        QTest::newRow("waiting") << false << away << RunOutcome::Succeeded << false << next
                                 << QStringLiteral("Ожидает: папка назначения недоступна") << waiting
                                 << waiting << QStringLiteral("Ожидает: папка назначения недоступна");
        QTest::newRow("retry") << false << QString() << RunOutcome::Failed << true << next
                               << QStringLiteral("Ошибка, повтор 02.01 в 08:05") << failed << failed
                               << QStringLiteral("нет диска\nПовторная попытка — 02.01.2030 08:05");
        QTest::newRow("retry waiting")
            << false << away << RunOutcome::Failed << true << next
            << QStringLiteral("Ожидает: папка назначения недоступна") << waiting << waiting
            << QStringLiteral("Ожидает: папка назначения недоступна\nнет диска\n"
                              "Повторная попытка — 02.01.2030 08:05");
    }

    void pausedWaitingAndRetriedTasksShowSoAtAGlance() {
        QFETCH(bool, paused);
        QFETCH(QString, waiting);
        QFETCH(RunOutcome, outcome);
        QFETCH(bool, retry);
        QFETCH(QString, nextRun);
        QFETCH(QString, result);
        QFETCH(QString, resultSign);
        QFETCH(QString, nameSign);
        QFETCH(QString, resultTip);
        ScopedTimeZone zone("Europe/Berlin");
        // Pausing is an edit of the record, which the list reads as it is.
        TaskInfo* record = m_engine->storage->Tasks()[1].get();
        TaskInfo edited = m_engine->Source().Copy(record);
        edited.options.paused = paused;
        m_engine->Source().Changes()->Update(record, edited);
        TaskStatus& status = m_statuses[Task(1)];
        status.next_run = Utc(2026, 12, 9, 8, 30);
        status.outcome = outcome;
        status.first_error = IsFailure(outcome) ? L"нет диска" : L"";
        status.waiting = waiting.toStdWString();
        if (retry) {
            status.retry_at = Utc(2030, 1, 2, 7, 5);
        }
        const auto image = [](const QVariant& icon) {
            return icon.value<QIcon>().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        };
        const auto sign = [&image](const QString& resource) { return image(QIcon(resource)); };
        QCOMPARE(Cell(1, TaskStatusProxy::NextRunColumn).toString(), nextRun);
        QCOMPARE(Cell(1, TaskStatusProxy::NextRunColumn, Qt::DecorationRole).isValid(), paused);
        if (paused) {
            QCOMPARE(image(Cell(1, TaskStatusProxy::NextRunColumn, Qt::DecorationRole)), sign(nameSign));
        }
        QCOMPARE(Cell(1, TaskStatusProxy::ResultColumn).toString(), result);
        const QVariant resultIcon = Cell(1, TaskStatusProxy::ResultColumn, Qt::DecorationRole);
        QCOMPARE(resultIcon.isValid(), !resultSign.isEmpty());
        if (resultIcon.isValid()) {
            QCOMPARE(image(resultIcon), sign(resultSign));
        }
        QCOMPARE(Cell(1, TaskStatusProxy::ResultColumn, Qt::ToolTipRole).toString(), resultTip);
        QCOMPARE(image(Cell(1, 0, Qt::DecorationRole)), sign(nameSign));
        // The name's tool tip says it all once: the pause, the result, its details.
        QStringList tip{QStringLiteral("Экспорт")};
        if (paused) {
            tip << QStringLiteral("Приостановлена");
        }
        tip << QStringLiteral("Результат: ") + result;
        for (const QString& line : resultTip.split(u'\n', Qt::SkipEmptyParts)) {
            if (line != result) {
                tip << line;
            }
        }
        QCOMPARE(Cell(1, 0, Qt::ToolTipRole).toString(), tip.join(u'\n'));
        // The neighbours show none of it.
        QCOMPARE(Cell(0, TaskStatusProxy::NextRunColumn).toString(), QStringLiteral("не запланирован"));
        QVERIFY(!Cell(0, TaskStatusProxy::NextRunColumn, Qt::DecorationRole).isValid());
    }

    void timesAreLocalAndNeverRunIsEmpty() {
        ScopedTimeZone zone("Europe/Berlin");
        m_statuses[Task(0)].next_run = Utc(2026, 12, 9, 8, 30);
        m_statuses[Task(0)].last_start = Utc(2026, 7, 1, 7, 5);
        QCOMPARE(Cell(0, TaskStatusProxy::NextRunColumn).toString(), QStringLiteral("09.12.2026 09:30"));
        QCOMPARE(Cell(0, TaskStatusProxy::LastRunColumn).toString(), QStringLiteral("01.07.2026 09:05"));
        QCOMPARE(Cell(1, TaskStatusProxy::NextRunColumn).toString(), QStringLiteral("не запланирован"));
        QCOMPARE(Cell(1, TaskStatusProxy::LastRunColumn).toString(), QString());
    }

    void statusChangeRepaintsOnlyThatRowsStatusCells() {
        QSignalSpy changed(m_proxy.get(), &QAbstractItemModel::dataChanged);
        m_proxy->statusChanged(Task(2));
        m_proxy->statusChanged(nullptr); // every task
        TaskInfo gone;
        m_proxy->statusChanged(&gone); // a task removed after the engine's call was posted
        // The status cells, then the name cells' icon and tool tip, which show the result too.
        QCOMPARE(changed.count(), 4);
        const auto cells = [&changed](int call) {
            const auto first = changed.at(call).at(0).value<QModelIndex>();
            const auto last = changed.at(call).at(1).value<QModelIndex>();
            return QList<int>{first.row(), first.column(), last.row(), last.column()};
        };
        QCOMPARE(cells(0), (QList<int>{2, 2, 2, 4}));
        QCOMPARE(cells(1), (QList<int>{2, 0, 2, 0}));
        QCOMPARE(cells(2), (QList<int>{0, 2, 2, 4}));
        QCOMPARE(cells(3), (QList<int>{0, 0, 2, 0}));
        QVERIFY(!changed.at(1).at(2).value<QVector<int>>().contains(Qt::DisplayRole));
    }

    void theEnginesBurstsAreToldOnceForAllTheirRows() {
        QSignalSpy changed(m_proxy.get(), &QAbstractItemModel::dataChanged);
        const auto rows = [&changed](int call) {
            return QList<int>{changed.at(call).at(0).value<QModelIndex>().row(),
                              changed.at(call).at(1).value<QModelIndex>().row()};
        };
        TaskInfo gone;
        for (const TaskInfo* record :
             std::initializer_list<const TaskInfo*>{Task(2), &gone, Task(1), Task(2)}) {
            m_proxy->statusChangedSoon(record);
        }
        QCOMPARE(changed.count(), 0); // gathered, not told yet
        QTRY_COMPARE(changed.count(), 2);
        QCOMPARE(rows(0), (QList<int>{1, 2}));
        QCOMPARE(rows(1), (QList<int>{1, 2}));

        // Every task's change tells at once what was gathered, and nothing is told again after it.
        m_proxy->statusChangedSoon(Task(1));
        m_proxy->statusChangedSoon(nullptr);
        QCOMPARE(changed.count(), 4);
        QCOMPARE(rows(2), (QList<int>{0, 2}));
        QTest::qWait(3 * TaskStatusProxy::kGathering);
        QCOMPARE(changed.count(), 4);
    }
};

QObject* MakeTaskStatusProxyTest() {
    return new TaskStatusProxyTest;
}

#include "TaskStatusProxyTest.moc"
