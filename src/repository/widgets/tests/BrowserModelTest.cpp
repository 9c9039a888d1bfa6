// The browser's tree model: a consistent model for Qt's views, folders read only when asked for and
// taken in by batches, folders before documents, the filters, and folders that cannot be read.
#include "repository/widgets/BrowserModel.h"
#include "SampleRepository.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using arkon_browser::BrowserMode;
using arkon_browser::BrowserModel;
using arkon_browser::FolderContentsFilter;

namespace {

QStringList Names(const QAbstractItemModel& model, const QModelIndex& folder) {
    QStringList names;
    for (int row = 0; row < model.rowCount(folder); ++row) {
        names << model.index(row, 0, folder).data().toString();
    }
    return names;
}

// Lists the folder and takes in all its items.
void FetchAll(QAbstractItemModel& model, const QModelIndex& folder) {
    while (model.canFetchMore(folder)) {
        model.fetchMore(folder);
    }
}

QModelIndex Child(QAbstractItemModel& model, const QModelIndex& folder, const QString& name) {
    FetchAll(model, folder);
    for (int row = 0; row < model.rowCount(folder); ++row) {
        const QModelIndex child = model.index(row, 0, folder);
        if (child.data().toString() == name) {
            return child;
        }
    }
    return {};
}

class HideArchive final : public arkon_browser::IItemFilter {
public:
    bool Accept(const arkon::ItemPath& folder, const arkon::BrowserItemInfo& item) const override {
        return !(folder.empty() && item.name == L"Архив");
    }
};

class SizeInfo final : public arkon_browser::IFileInfoProvider {
public:
    QString GetDescription(const arkon::ItemPath& path, const arkon::BrowserItemInfo& item) const override {
        return QStringLiteral("%1 (%2)").arg(QString::fromStdWString(item.name)).arg(path.size());
    }
};

} // namespace

class BrowserModelTest : public QObject {
    Q_OBJECT

private slots:
    void isAConsistentModel() {
        SampleRepository repository;
        BrowserModel model({true, BrowserMode::Details, nullptr, nullptr});
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.Reset(repository.store);
        // The tester walks every folder, fetching as it goes.
        FetchAll(model, model.RootIndex());
        FetchAll(model, Child(model, model.RootIndex(), QStringLiteral("Проекты")));
        model.SetContentsFilter(FolderContentsFilter(std::vector<std::wstring>{}));
        FetchAll(model, model.RootIndex());
        model.Reset(nullptr);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.canFetchMore({}));
    }

    void theRootIsTheOneTopItemAndNothingIsReadBeforeItIsAskedFor() {
        SampleRepository repository;
        BrowserModel model({true, BrowserMode::Names, nullptr, nullptr});
        model.Reset(repository.store);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.columnCount(), 1);
        const QModelIndex root = model.RootIndex();
        QCOMPARE(root, model.index(0, 0));
        QCOMPARE(root.data().toString(), QStringLiteral("repo"));
        QVERIFY(model.PathOf(root).empty());
        QVERIFY(model.hasChildren(root));
        QVERIFY(model.canFetchMore(root));
        QVERIFY(repository.log->listed.isEmpty());

        model.fetchMore(root);
        QCOMPARE(repository.log->listed, QStringList{QString()});
        // Folders first, then documents, each in the store's order.
        QCOMPARE(Names(model, root), (QStringList{QStringLiteral("Архив"), QStringLiteral("Проекты"),
                                                  QStringLiteral("заметки.txt")}));
        const QModelIndex projects = model.index(1, 0, root);
        const QModelIndex notes = model.index(2, 0, root);
        // A folder not read yet is taken to have items; a document never has any.
        QVERIFY(model.hasChildren(projects));
        QVERIFY(!model.hasChildren(notes));
        QVERIFY(!model.canFetchMore(notes));
        QVERIFY(model.flags(notes).testFlag(Qt::ItemNeverHasChildren));
        QCOMPARE(repository.log->listed.size(), 1);
        QVERIFY(model.PathOf(projects) == repository.Ids({QStringLiteral("Проекты")}));
        QVERIFY(model.InfoOf(notes).name == L"заметки.txt");

        // An empty folder has no children once read, and views are told to draw it again without an
        // expander.
        const QModelIndex bridge = Child(model, projects, QStringLiteral("Мост"));
        QVERIFY(model.hasChildren(bridge));
        QSignalSpy relaid(&model, &QAbstractItemModel::layoutChanged);
        FetchAll(model, bridge);
        QVERIFY(!model.hasChildren(bridge));
        QCOMPARE(relaid.count(), 1);
        QCOMPARE(repository.log->listed,
                 (QStringList{QString(), QStringLiteral("Проекты"), QStringLiteral("Проекты/Мост")}));
    }

    void withoutTheRootItemTheRootsItemsAreAtTheTop() {
        SampleRepository repository;
        BrowserModel model({false, BrowserMode::Names, nullptr, nullptr});
        model.Reset(repository.store);
        QVERIFY(!model.RootIndex().isValid());
        QVERIFY(model.canFetchMore({}));
        FetchAll(model, {});
        QCOMPARE(Names(model, {}), (QStringList{QStringLiteral("Архив"), QStringLiteral("Проекты"),
                                                QStringLiteral("заметки.txt")}));
        QVERIFY(model.PathOf(model.index(0, 0)) == repository.Ids({QStringLiteral("Архив")}));
    }

    void aBigFolderComesInBatches() {
        SampleRepository repository;
        for (int i = 0; i < 600; ++i) {
            repository.tree.Write(SampleRepository::Relative("many/" + std::to_string(1000 + i) + ".dwg"),
                                  "");
        }
        repository.tree.MakeFolder(SampleRepository::Relative("many/я-папка"));
        BrowserModel model({true, BrowserMode::Names, nullptr, nullptr});
        model.Reset(repository.store);
        const QModelIndex many = Child(model, model.RootIndex(), QStringLiteral("many"));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.fetchMore(many);
        QCOMPARE(model.rowCount(many), int(BrowserModel::kBatchSize));
        // The folder sorts last by name but comes first.
        QCOMPARE(model.index(0, 0, many).data().toString(), QStringLiteral("я-папка"));
        QCOMPARE(model.index(1, 0, many).data().toString(), QStringLiteral("1000.dwg"));
        QVERIFY(model.canFetchMore(many));
        QCOMPARE(model.FoldersWithMore().size(), std::size_t{1});
        model.fetchMore(many);
        QCOMPARE(model.rowCount(many), 2 * int(BrowserModel::kBatchSize));
        model.fetchMore(many);
        QCOMPARE(model.rowCount(many), 601);
        QVERIFY(!model.canFetchMore(many));
        QVERIFY(model.FoldersWithMore().empty());
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(inserted.at(2).at(1).toInt(), 512);
        QCOMPARE(inserted.at(2).at(2).toInt(), 600);
        QCOMPARE(repository.log->listed.count(QStringLiteral("many")), 1);
    }

    void findingAChildTakesInItemsOnlyAsFarAsIt() {
        SampleRepository repository;
        for (int i = 0; i < 600; ++i) {
            repository.tree.Write(SampleRepository::Relative("many/" + std::to_string(1000 + i) + ".dwg"),
                                  "");
        }
        BrowserModel model({true, BrowserMode::Names, nullptr, nullptr});
        model.Reset(repository.store);
        const QModelIndex many =
            model.FindChild(model.RootIndex(), repository.Ids({QStringLiteral("many")})[0]);
        QVERIFY(many.isValid());
        const QModelIndex found = model.FindChildByName(many, L"1299.dwg");
        QVERIFY(found.isValid());
        QCOMPARE(found.row(), 299);
        QCOMPARE(model.rowCount(many), 300);
        // An item already in is found without taking in more.
        QCOMPARE(model.FindChildByName(many, L"1005.dwg").row(), 5);
        QCOMPARE(model.rowCount(many), 300);
        QVERIFY(!model.FindChildByName(many, L"нет.dwg").isValid());
        QVERIFY(!model.FindChild(many, repository.Ids({QStringLiteral("Архив")})[0]).isValid());
        QCOMPARE(repository.log->listed.count(QStringLiteral("many")), 1);
    }

    void theContentsFilterKeepsFoldersAndChosenKinds() {
        QVERIFY(FolderContentsFilter::KindOf(L"фасад.DWG") == L"dwg");
        QVERIFY(FolderContentsFilter::KindOf(L"архив.tar.gz") == L"gz");
        QVERIFY(FolderContentsFilter::KindOf(L"readme").empty());
        QVERIFY(FolderContentsFilter::KindOf(L".profile").empty());
        QVERIFY(FolderContentsFilter::KindOf(L"ЧЕРТЁЖ.ДВГ") == L"двг");
        QVERIFY(FolderContentsFilter() == FolderContentsFilter());
        QVERIFY(!(FolderContentsFilter() == FolderContentsFilter(std::vector<std::wstring>{})));
        QVERIFY(FolderContentsFilter({L".DXF"}) == FolderContentsFilter({L"dxf"}));

        SampleRepository repository;
        BrowserModel model({true, BrowserMode::Names, nullptr, nullptr});
        model.Reset(repository.store);
        const auto house = [&] {
            return Child(model, Child(model, model.RootIndex(), QStringLiteral("Проекты")),
                         QStringLiteral("Дом"));
        };
        const auto houseNames = [&] {
            const QModelIndex folder = house();
            FetchAll(model, folder);
            return Names(model, folder);
        };
        QCOMPARE(houseNames(), (QStringList{QStringLiteral("readme"), QStringLiteral("схема.dxf"),
                                            QStringLiteral("фасад.DWG")}));
        model.SetContentsFilter(FolderContentsFilter({L"dwg"}));
        QCOMPARE(houseNames(), QStringList{QStringLiteral("фасад.DWG")});
        model.SetContentsFilter(FolderContentsFilter({L"", L".DXF"}));
        QCOMPARE(houseNames(), (QStringList{QStringLiteral("readme"), QStringLiteral("схема.dxf")}));
        // An empty list: folders only.
        model.SetContentsFilter(FolderContentsFilter(std::vector<std::wstring>{}));
        QVERIFY(houseNames().isEmpty());
        FetchAll(model, model.RootIndex());
        QCOMPARE(Names(model, model.RootIndex()),
                 (QStringList{QStringLiteral("Архив"), QStringLiteral("Проекты")}));
        model.SetContentsFilter(FolderContentsFilter());
        QCOMPARE(houseNames().size(), 3);
    }

    void callersFilterItemsAndDescribeDocuments() {
        SampleRepository repository;
        BrowserModel model(
            {true, BrowserMode::Details, std::make_shared<SizeInfo>(), std::make_shared<HideArchive>()});
        model.Reset(repository.store);
        FetchAll(model, model.RootIndex());
        QCOMPARE(Names(model, model.RootIndex()),
                 (QStringList{QStringLiteral("Проекты"), QStringLiteral("заметки.txt")}));
        const QModelIndex notes = model.index(1, 0, model.RootIndex());
        QCOMPARE(notes.data(Qt::ToolTipRole).toString(), QStringLiteral("заметки.txt (1)"));
        QVERIFY(!model.index(0, 0, model.RootIndex()).data(Qt::ToolTipRole).isValid());

        // The time column shows the file's time in local time.
        repository.tree.SetModified(SampleRepository::Relative("заметки.txt"), 1700000000, 0);
        model.Reset(repository.store);
        FetchAll(model, model.RootIndex());
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Имя"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Изменён"));
        const QString expected = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC)
                                     .toLocalTime()
                                     .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        QCOMPARE(model.index(1, 1, model.RootIndex()).data().toString(), expected);
    }

    void aFolderThatCannotBeReadSaysWhyAndHasNoChildren() {
        SampleRepository repository;
        repository.log->failing_folder = QStringLiteral("Проекты");
        BrowserModel model({true, BrowserMode::Names, nullptr, nullptr});
        model.Reset(repository.store);
        const QModelIndex projects = Child(model, model.RootIndex(), QStringLiteral("Проекты"));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy relaid(&model, &QAbstractItemModel::layoutChanged);
        model.fetchMore(projects);
        QCOMPARE(model.rowCount(projects), 0);
        QVERIFY(!model.hasChildren(projects));
        QVERIFY(!model.canFetchMore(projects));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(relaid.count(), 1);
        QCOMPARE(projects.data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Не удалось прочитать папку.\nПапка недоступна."));
        // Only a new start reads it again.
        repository.log->failing_folder.clear();
        model.Reset(repository.store);
        const QModelIndex again = Child(model, model.RootIndex(), QStringLiteral("Проекты"));
        FetchAll(model, again);
        QCOMPARE(model.rowCount(again), 2);
    }

    void aRepositoryThatIsGoneStillShowsItsRoot() {
        SampleRepository repository;
        QVERIFY(QDir(QString::fromStdString(repository.tree.Path("repo"))).removeRecursively());
        BrowserModel model({true, BrowserMode::Names, nullptr, nullptr});
        model.Reset(repository.store);
        QCOMPARE(model.RootIndex().data().toString(), QStringLiteral("Хранилище"));
        model.fetchMore(model.RootIndex());
        QCOMPARE(model.rowCount(model.RootIndex()), 0);
        QVERIFY(model.RootIndex()
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("Не удалось прочитать папку.\n")));
    }
};

QObject* MakeBrowserModelTest() {
    return new BrowserModelTest;
}

#include "BrowserModelTest.moc"
