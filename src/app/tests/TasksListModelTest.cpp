// The task list model under Qt's model tester: rows filled from the engine, inserted and removed
// through it with the announcements views rely on, and the texts of its two columns.
#include "app/TasksListModel.h"
#include "scheduler/ScheduleText.h"

#include "TestEngine.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// The first and last row of an insertion or removal announcement.
std::pair<int, int> RangeOf(const QList<QVariant>& arguments) {
    return {arguments.at(1).toInt(), arguments.at(2).toInt()};
}

} // namespace

class TasksListModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEngine> m_engine;
    std::unique_ptr<TasksListModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    void Fill(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names) {
            m_engine->storage->AddTask(TestEngine::Task(name));
        }
        for (const auto& task : m_engine->storage->Tasks()) {
            m_model->appendStoredTask(task.get());
        }
    }

    QString Name(int row) const { return m_model->index(row, 0).data().toString(); }

private slots:
    void init() {
        m_engine = std::make_unique<TestEngine>();
        m_model = std::make_unique<TasksListModel>(m_engine->Source(), nullptr);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void cleanup() {
        m_tester.reset();
        m_model.reset();
        m_engine.reset();
    }

    void emptyListStillHasItsHeader() {
        QCOMPARE(m_model->rowCount(), 0);
        QCOMPARE(m_model->columnCount(), 2);
        QCOMPARE(m_model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Название"));
        QCOMPARE(m_model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Триггер"));
        QVERIFY(!m_model->headerData(2, Qt::Horizontal).isValid());
        QVERIFY(!m_model->headerData(0, Qt::Vertical).isValid());
        QVERIFY(!m_model->headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
        QVERIFY(!m_model->index(0, 0).isValid());
    }

    void rowsShowTheEnginesTasksInItsOrder() {
        Fill({L"Архив", L"Экспорт", L"Проверка"});
        QCOMPARE(m_model->rowCount(), 3);
        QCOMPARE(Name(0), QStringLiteral("Архив"));
        QCOMPARE(Name(2), QStringLiteral("Проверка"));
        const QModelIndex schedule = m_model->index(1, 1);
        QCOMPARE(schedule.data().toString(), describeSchedule(*m_engine->storage->Tasks()[1]));
        QVERIFY(schedule.data().toString().contains(QStringLiteral("каждый день")));
        QCOMPARE(m_model->taskAt(schedule), m_engine->storage->Tasks()[1].get());
        QVERIFY(!m_model->index(0, 0).data(Qt::EditRole).isValid());
        QCOMPARE(m_model->flags(schedule), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QCOMPARE(m_model->flags(QModelIndex()), Qt::NoItemFlags);
        // A flat list: rows have no children and no parent.
        QCOMPARE(m_model->rowCount(m_model->index(0, 0)), 0);
        QVERIFY(!m_model->parent(m_model->index(0, 0)).isValid());
        QVERIFY(!m_model->index(3, 0).isValid());
        QVERIFY(!m_model->index(0, 2).isValid());
    }

    void insertGoesThroughTheEngine() {
        Fill({L"Архив", L"Экспорт"});
        QSignalSpy aboutToInsert(m_model.get(), &QAbstractItemModel::rowsAboutToBeInserted);
        QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);

        QVERIFY(m_model->insertTask(1, {}, TestEngine::Task(L"Середина")));
        QCOMPARE(aboutToInsert.count(), 1);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(RangeOf(inserted.at(0)), std::make_pair(1, 1));
        QVERIFY(!inserted.at(0).at(0).value<QModelIndex>().isValid());

        // The engine keeps the order shown, in its list and its file, so a restart shows the same.
        QCOMPARE(Name(1), QStringLiteral("Середина"));
        QCOMPARE(Name(2), QStringLiteral("Экспорт"));
        QCOMPARE(m_engine->TaskNames(), (std::vector<std::wstring>{L"Архив", L"Середина", L"Экспорт"}));
        QCOMPARE(m_model->taskAt(m_model->index(1, 0)), m_engine->storage->Tasks()[1].get());
        const QString stored = m_engine->StorageText();
        QVERIFY(stored.indexOf(QStringLiteral("Середина")) < stored.indexOf(QStringLiteral("Экспорт")));

        QVERIFY(m_model->insertTask(3, {}, TestEngine::Task(L"Конец")));
        QCOMPARE(RangeOf(inserted.at(1)), std::make_pair(3, 3));
        QCOMPARE(Name(3), QStringLiteral("Конец"));
    }

    void insertOutsideTheListStoresNothing() {
        Fill({L"Архив"});
        QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
        QVERIFY(!m_model->insertTask(2, {}, TestEngine::Task(L"Далеко")));
        QVERIFY(!m_model->insertTask(-1, {}, TestEngine::Task(L"Далеко")));
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(m_model->rowCount(), 1);
        QCOMPARE(m_engine->TaskNames(), std::vector<std::wstring>{L"Архив"});
    }

    void removeGoesThroughTheEngine() {
        Fill({L"Архив", L"Экспорт", L"Проверка", L"Команда"});
        QSignalSpy aboutToRemove(m_model.get(), &QAbstractItemModel::rowsAboutToBeRemoved);
        QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);

        QVERIFY(m_model->removeRows(1, 2));
        QCOMPARE(aboutToRemove.count(), 1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(RangeOf(aboutToRemove.at(0)), std::make_pair(1, 2));
        QCOMPARE(RangeOf(removed.at(0)), std::make_pair(1, 2));
        QCOMPARE(m_model->rowCount(), 2);
        QCOMPARE(Name(0), QStringLiteral("Архив"));
        QCOMPARE(Name(1), QStringLiteral("Команда"));
        QCOMPARE(m_engine->TaskNames(), (std::vector<std::wstring>{L"Архив", L"Команда"}));
        QVERIFY(!m_engine->StorageText().contains(QStringLiteral("Экспорт")));
        QVERIFY(!m_engine->StorageText().contains(QStringLiteral("Проверка")));
    }

    void removingTheOnlyRowEmptiesListAndFile() {
        Fill({L"Архив"});
        QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
        QVERIFY(m_model->removeRow(0));
        QCOMPARE(RangeOf(removed.at(0)), std::make_pair(0, 0));
        QCOMPARE(m_model->rowCount(), 0);
        QVERIFY(m_engine->storage->Tasks().empty());
        QVERIFY(!m_engine->StorageText().contains(QStringLiteral("Архив")));
    }

    void removeOutsideTheListChangesNothing() {
        Fill({L"Архив", L"Экспорт"});
        QSignalSpy aboutToRemove(m_model.get(), &QAbstractItemModel::rowsAboutToBeRemoved);
        QVERIFY(!m_model->removeRows(1, 2));
        QVERIFY(!m_model->removeRows(-1, 1));
        QVERIFY(!m_model->removeRows(2, 1));
        QVERIFY(!m_model->removeRows(0, 0));
        QCOMPARE(aboutToRemove.count(), 0);
        QCOMPARE(m_model->rowCount(), 2);
        QCOMPARE(m_engine->storage->Tasks().size(), std::size_t{2});
    }
};

QObject* MakeTasksListModelTest() {
    return new TasksListModelTest;
}

#include "TasksListModelTest.moc"
