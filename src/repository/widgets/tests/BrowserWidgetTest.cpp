// The repository browser as the task editor uses it: a reset shows the root open, folders are read
// only when expanded and a big folder fills between events, paths are opened and items selected by
// name, the selection is reported in tree order, and the folder-contents filter.
#include "repository/widgets/BrowserWidget.h"
#include "SampleRepository.h"
#include "repository/widgets/BrowserModel.h"

#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

using arkon_browser::BrowserMode;
using arkon_browser::BrowserModel;
using arkon_browser::BrowserWidget;
using arkon_browser::SelectionInfo;

namespace {

// As the browser page creates it: no provider, the two flags false and true, mode 0, no filter.
std::unique_ptr<BrowserWidget> PageBrowser() {
    return std::make_unique<BrowserWidget>(nullptr, nullptr, false, true, BrowserMode::Names, nullptr);
}

QTreeView& View(BrowserWidget& browser) {
    return *browser.findChild<QTreeView*>(QStringLiteral("browserTreeView"));
}

QModelIndex Child(const QAbstractItemModel& model, const QModelIndex& folder, const QString& name) {
    for (int row = 0; row < model.rowCount(folder); ++row) {
        const QModelIndex child = model.index(row, 0, folder);
        if (child.data().toString() == name) {
            return child;
        }
    }
    return {};
}

QModelIndex At(BrowserWidget& browser, const QStringList& names) {
    const QAbstractItemModel& model = *View(browser).model();
    QModelIndex at = model.index(0, 0);
    for (const QString& name : names) {
        at = Child(model, at, name);
    }
    return at;
}

QStringList SelectedNames(const SelectionInfo& selection) {
    QStringList names;
    for (const auto& item : selection.items) {
        names << QString::fromStdWString(item.info.name);
    }
    return names;
}

QStringList ChildNames(BrowserWidget& browser, const QStringList& folder) {
    const QAbstractItemModel& model = *View(browser).model();
    const QModelIndex at = At(browser, folder);
    QStringList names;
    for (int row = 0; row < model.rowCount(at); ++row) {
        names << model.index(row, 0, at).data().toString();
    }
    return names;
}

} // namespace

class BrowserWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void aResetShowsTheRootOpenAndReadsNothingElse() {
        SampleRepository repository;
        auto browser = PageBrowser();
        QTreeView& view = View(*browser);
        QVERIFY(view.isHeaderHidden());
        QCOMPARE(view.selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(view.model()->rowCount(), 0);

        browser->Reset(repository.session);
        const QModelIndex root = view.model()->index(0, 0);
        QCOMPARE(root.data().toString(), QStringLiteral("repo"));
        QVERIFY(view.isExpanded(root));
        QCOMPARE(ChildNames(*browser, {}), (QStringList{QStringLiteral("Архив"), QStringLiteral("Проекты"),
                                                        QStringLiteral("заметки.txt")}));
        QCOMPARE(repository.log->listed, QStringList{QString()});

        // Expanding by the user reads that folder only.
        browser->show();
        view.expand(At(*browser, {QStringLiteral("Проекты")}));
        QCOMPARE(ChildNames(*browser, {QStringLiteral("Проекты")}),
                 (QStringList{QStringLiteral("Дом"), QStringLiteral("Мост")}));
        QTest::qWait(20); // whatever the view does between events
        QCOMPARE(repository.log->listed, (QStringList{QString(), QStringLiteral("Проекты")}));
    }

    void aFolderOfTenThousandDocumentsFillsBetweenEvents() {
        SampleRepository repository;
        for (int i = 0; i < 10000; ++i) {
            repository.tree.Write(SampleRepository::Relative("big/doc" + std::to_string(10000 + i) + ".dwg"),
                                  "");
        }
        repository.tree.Write(SampleRepository::Relative("big/sub-a/inner.dwg"), "");
        repository.tree.Write(SampleRepository::Relative("big/sub-b/deeper/inner.dwg"), "");
        auto browser = PageBrowser();
        browser->resize(400, 300);
        browser->show();
        QVERIFY(QTest::qWaitForWindowExposed(browser.get()));
        browser->Reset(repository.session);
        QTreeView& view = View(*browser);
        const QModelIndex big = At(*browser, {QStringLiteral("big")});
        QVERIFY(big.isValid());

        view.expand(big);
        // Expanding takes in one batch; the rest comes between events.
        QCOMPARE(view.model()->rowCount(big), int(BrowserModel::kBatchSize));
        QCOMPARE(view.model()->index(0, 0, big).data().toString(), QStringLiteral("sub-a"));
        QCOMPARE(view.model()->index(1, 0, big).data().toString(), QStringLiteral("sub-b"));
        QTRY_COMPARE_WITH_TIMEOUT(view.model()->rowCount(big), 10002, 60000);
        QCOMPARE(view.model()->index(10001, 0, big).data().toString(), QStringLiteral("doc19999.dwg"));
        // The sub-folders were never expanded, so never read.
        QCOMPARE(repository.log->listed, (QStringList{QString(), QStringLiteral("big")}));
        QVERIFY(view.model()->hasChildren(view.model()->index(0, 0, big)));
    }

    void aCollapsedFolderWaitsUntilItIsExpandedAgain() {
        SampleRepository repository;
        for (int i = 0; i < 1000; ++i) {
            repository.tree.Write(SampleRepository::Relative("big/" + std::to_string(1000 + i) + ".dwg"), "");
        }
        auto browser = PageBrowser();
        browser->Reset(repository.session);
        QTreeView& view = View(*browser);
        const QModelIndex big = At(*browser, {QStringLiteral("big")});
        view.expand(big);
        view.collapse(big);
        QTest::qWait(50);
        QCOMPARE(view.model()->rowCount(big), int(BrowserModel::kBatchSize));
        view.expand(big);
        QTRY_COMPARE(view.model()->rowCount(big), 1000);
    }

    void expandPathOpensFoldersAndSelectFileSelectsByName() {
        SampleRepository repository;
        auto browser = PageBrowser();
        browser->Reset(repository.session);
        QSignalSpy changed(browser.get(), &BrowserWidget::SelectionChanged);
        QTreeView& view = View(*browser);

        const arkon::ItemPath house = repository.Ids({QStringLiteral("Проекты"), QStringLiteral("Дом")});
        QVERIFY(browser->ExpandPath(house));
        QVERIFY(view.isExpanded(At(*browser, {QStringLiteral("Проекты")})));
        QVERIFY(view.isExpanded(At(*browser, {QStringLiteral("Проекты"), QStringLiteral("Дом")})));
        QVERIFY(!view.isExpanded(At(*browser, {QStringLiteral("Архив")})));
        QCOMPARE(changed.count(), 0);

        QVERIFY(browser->SelectFile(L"схема.dxf"));
        QCOMPARE(changed.count(), 1);
        SelectionInfo selection = browser->GetSelectionInfo();
        QCOMPARE(selection.items.size(), std::size_t{1});
        QVERIFY(selection.items[0].path == repository.Ids({QStringLiteral("Проекты"), QStringLiteral("Дом"),
                                                           QStringLiteral("схема.dxf")}));
        QVERIFY(selection.items[0].info.name == L"схема.dxf");
        QVERIFY(!selection.items[0].info.IsFolder());
        QCOMPARE(view.currentIndex(), At(*browser, {QStringLiteral("Проекты"), QStringLiteral("Дом"),
                                                    QStringLiteral("схема.dxf")}));

        // Selecting another item replaces the selection; a name that is not there leaves none.
        QVERIFY(browser->SelectFile(L"readme"));
        QCOMPARE(SelectedNames(browser->GetSelectionInfo()), QStringList{QStringLiteral("readme")});
        QVERIFY(!browser->SelectFile(L"нет такого"));
        QVERIFY(browser->GetSelectionInfo().items.empty());
        QCOMPARE(changed.count(), 3);

        // The root: an empty path opens it, and the empty name selects the opened folder itself.
        QVERIFY(browser->ExpandPath({}));
        QVERIFY(browser->SelectFile(L""));
        selection = browser->GetSelectionInfo();
        QCOMPARE(selection.items.size(), std::size_t{1});
        QVERIFY(selection.items[0].path.empty());
        QVERIFY(selection.items[0].info.IsFolder());
        QVERIFY(browser->SelectFile(L"Архив"));
        QVERIFY(browser->GetSelectionInfo().items[0].path == repository.Ids({QStringLiteral("Архив")}));
    }

    void expandPathRefusesWhatIsNotAFolderPath() {
        SampleRepository repository;
        auto browser = PageBrowser();
        browser->Reset(repository.session);
        QVERIFY(browser->ExpandPath(repository.Ids({QStringLiteral("Архив")})));
        QVERIFY(browser->SelectFile(L"2025"));

        // A document is not a folder to open; SelectFile then has no folder and selects nothing.
        QVERIFY(!browser->ExpandPath(repository.Ids({QStringLiteral("заметки.txt")})));
        QVERIFY(!browser->SelectFile(L"2025"));
        QVERIFY(browser->GetSelectionInfo().items.empty());

        // An identifier that is not inside the folder before it.
        arkon::ItemPath wrong = repository.Ids({QStringLiteral("Проекты")});
        wrong.push_back(repository.Ids({QStringLiteral("Архив"), QStringLiteral("2025")}).back());
        QVERIFY(!browser->ExpandPath(wrong));
        QVERIFY(View(*browser).isExpanded(At(*browser, {QStringLiteral("Проекты")})));

        // A folder removed since: the path stops there.
        const arkon::ItemPath bridge = repository.Ids({QStringLiteral("Проекты"), QStringLiteral("Мост")});
        repository.tree.MakeFolder(SampleRepository::Relative("Проекты/Мост/опоры"));
        const arkon::ItemPath piers =
            repository.Ids({QStringLiteral("Проекты"), QStringLiteral("Мост"), QStringLiteral("опоры")});
        QVERIFY(QDir(QString::fromStdString(repository.tree.Path(SampleRepository::Relative("Проекты/Мост"))))
                    .removeRecursively());
        QVERIFY(!browser->ExpandPath(piers));
        // The folder itself is still shown from the earlier listing: it opens, empty, and says why.
        QVERIFY(browser->ExpandPath(bridge));
        QVERIFY(!browser->SelectFile(L"опоры"));
        QVERIFY(At(*browser, {QStringLiteral("Проекты"), QStringLiteral("Мост")})
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("Не удалось прочитать папку.\n")));
    }

    void severalItemsAreReportedInTreeOrder() {
        SampleRepository repository;
        auto browser = PageBrowser();
        browser->Reset(repository.session);
        QVERIFY(browser->ExpandPath(repository.Ids({QStringLiteral("Проекты")})));
        QTreeView& view = View(*browser);
        QSignalSpy changed(browser.get(), &BrowserWidget::SelectionChanged);
        QItemSelectionModel& selection = *view.selectionModel();
        selection.select(At(*browser, {QStringLiteral("заметки.txt")}),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection.select(At(*browser, {QStringLiteral("Проекты"), QStringLiteral("Мост")}),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(SelectedNames(browser->GetSelectionInfo()),
                 (QStringList{QStringLiteral("Мост"), QStringLiteral("заметки.txt")}));

        BrowserWidget single(nullptr, nullptr, true, true, BrowserMode::Names, nullptr);
        QCOMPARE(View(single).selectionMode(), QAbstractItemView::SingleSelection);
    }

    void aResetForgetsTheSelectionAndTheOpenedFolder() {
        SampleRepository repository;
        auto browser = PageBrowser();
        browser->Reset(repository.session);
        QVERIFY(browser->ExpandPath(repository.Ids({QStringLiteral("Архив")})));
        QVERIFY(browser->SelectFile(L"2025"));
        QSignalSpy changed(browser.get(), &BrowserWidget::SelectionChanged);
        browser->Reset(repository.session);
        QCOMPARE(changed.count(), 1);
        QVERIFY(browser->GetSelectionInfo().items.empty());
        QVERIFY(!browser->SelectFile(L"2025"));
        QVERIFY(!View(*browser).isExpanded(At(*browser, {QStringLiteral("Архив")})));

        browser->Reset(nullptr);
        QCOMPARE(View(*browser).model()->rowCount(), 0);
        QVERIFY(!browser->ExpandPath({}));
        QVERIFY(!browser->SelectFile(L""));
    }

    void theContentsFilterChangesWhatFoldersShowAndKeepsWhatIsOpen() {
        SampleRepository repository;
        auto browser = PageBrowser();
        browser->Reset(repository.session);
        const QStringList house = {QStringLiteral("Проекты"), QStringLiteral("Дом")};
        QVERIFY(browser->ExpandPath(repository.Ids(house)));
        QVERIFY(browser->SelectFile(L"фасад.DWG"));
        QSignalSpy changed(browser.get(), &BrowserWidget::SelectionChanged);

        browser->SetFolderContentsFilter({L"dwg"});
        QCOMPARE(ChildNames(*browser, house), QStringList{QStringLiteral("фасад.DWG")});
        QCOMPARE(SelectedNames(browser->GetSelectionInfo()), QStringList{QStringLiteral("фасад.DWG")});
        QCOMPARE(changed.count(), 0);
        QVERIFY(View(*browser).isExpanded(At(*browser, house)));

        // An empty list shows folders only; the selected document goes, with one signal.
        browser->SetFolderContentsFilter({});
        QVERIFY(ChildNames(*browser, house).isEmpty());
        QCOMPARE(ChildNames(*browser, {}), (QStringList{QStringLiteral("Архив"), QStringLiteral("Проекты")}));
        QVERIFY(browser->GetSelectionInfo().items.empty());
        QCOMPARE(changed.count(), 1);
        // The opened folder is still the one SelectFile looks in.
        QVERIFY(!browser->SelectFile(L"readme"));
        QVERIFY(browser->ExpandPath(repository.Ids({QStringLiteral("Проекты")})));
        QVERIFY(browser->SelectFile(L"Дом"));

        browser->ResetFolderContentsFilter();
        QCOMPARE(ChildNames(*browser, house).size(), 3);
        QCOMPARE(SelectedNames(browser->GetSelectionInfo()), QStringList{QStringLiteral("Дом")});
        QVERIFY(browser->SelectFile(L"Мост"));

        // Setting the filter that is already set rebuilds nothing.
        const auto listings = repository.log->listed.size();
        browser->ResetFolderContentsFilter();
        QCOMPARE(repository.log->listed.size(), listings);
    }

    void withoutTheRootItemTheTopHoldsTheRootsItems() {
        SampleRepository repository;
        BrowserWidget browser(nullptr, nullptr, true, false, BrowserMode::Details, nullptr);
        QVERIFY(!View(browser).isHeaderHidden());
        browser.Reset(repository.session);
        QTreeView& view = View(browser);
        QCOMPARE(view.model()->rowCount(), 3);
        QVERIFY(browser.ExpandPath({}));
        QVERIFY(!browser.SelectFile(L"")); // the root is no item here
        QVERIFY(browser.SelectFile(L"Проекты"));
        QVERIFY(browser.ExpandPath(repository.Ids({QStringLiteral("Проекты"), QStringLiteral("Дом")})));
        QVERIFY(browser.SelectFile(L"readme"));
        QCOMPARE(browser.GetSelectionInfo().items.size(), std::size_t{1});
    }
};

QObject* MakeBrowserWidgetTest() {
    return new BrowserWidgetTest;
}

#include "BrowserWidgetTest.moc"
