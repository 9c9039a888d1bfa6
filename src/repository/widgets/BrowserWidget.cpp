// The repository browser: the tree view, the opening of paths and the selection.
#include "BrowserWidget.h"

#include "BrowserModel.h"

#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace arkon_browser {
namespace {

// Rows from the top of the tree down to the item, to order items as the tree shows them.
std::vector<int> RowsOf(QModelIndex index) {
    std::vector<int> rows;
    for (; index.isValid(); index = index.parent()) {
        rows.push_back(index.row());
    }
    std::reverse(rows.begin(), rows.end());
    return rows;
}

std::vector<arkon::ItemPath> PathsOf(const SelectionInfo& selection) {
    std::vector<arkon::ItemPath> paths;
    for (const SelectedItem& item : selection.items) {
        paths.push_back(item.path);
    }
    return paths;
}

} // namespace

BrowserWidget::BrowserWidget(QWidget* parent, std::shared_ptr<IFileInfoProvider> file_info,
                             bool single_selection, bool show_root, BrowserMode mode,
                             std::shared_ptr<IItemFilter> item_filter)
    : QWidget(parent), view_(new QTreeView(this)),
      model_(new BrowserModel({show_root, mode, std::move(file_info), std::move(item_filter)}, this)) {
    view_->setObjectName(QStringLiteral("browserTreeView"));
    view_->setModel(model_);
    view_->setUniformRowHeights(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(single_selection ? QAbstractItemView::SingleSelection
                                             : QAbstractItemView::ExtendedSelection);
    if (mode == BrowserMode::Names) {
        view_->setHeaderHidden(true);
    } else {
        // Sized by the text, not by the rows: measuring thousands of rows would stall the window.
        view_->header()->setStretchLastSection(false);
        view_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        view_->header()->setSectionResizeMode(1, QHeaderView::Interactive);
        view_->header()->resizeSection(
            1, fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) +
                   4 * style()->pixelMetric(QStyle::PM_HeaderMargin));
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    fill_timer_.setSingleShot(true);
    fill_timer_.setInterval(0);
    connect(&fill_timer_, &QTimer::timeout, this, [this] { FillStep(); });
    connect(view_, &QTreeView::expanded, this,
            [this](const QModelIndex& folder) { FetchInExpanded(folder); });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!quiet_) {
            emit SelectionChanged();
        }
    });
}

BrowserWidget::~BrowserWidget() = default;

void BrowserWidget::Reset(std::shared_ptr<arkon::ISession> session) {
    std::shared_ptr<arkon::ItemStore> store = session ? session->GetItemStore() : nullptr;
    const bool had_selection = view_->selectionModel()->hasSelection();
    fill_timer_.stop();
    opened_folder_.reset();
    session_ = std::move(session);
    quiet_ = true;
    model_->Reset(std::move(store));
    quiet_ = false;
    OpenPath({});
    if (had_selection) {
        emit SelectionChanged();
    }
}

void BrowserWidget::SetFolderContentsFilter(const std::vector<std::wstring>& kinds) {
    ApplyContentsFilter(FolderContentsFilter(kinds));
}

void BrowserWidget::ResetFolderContentsFilter() {
    ApplyContentsFilter(FolderContentsFilter());
}

void BrowserWidget::ApplyContentsFilter(FolderContentsFilter filter) {
    if (filter == model_->ContentsFilter()) {
        return;
    }
    // The model is rebuilt; what was open and selected is opened and selected again where it is still
    // shown, so that a filter change does not throw the user back to the root.
    std::vector<arkon::ItemPath> expanded;
    CollectExpanded(QModelIndex(), expanded);
    const std::vector<arkon::ItemPath> selected = PathsOf(GetSelectionInfo());
    std::optional<arkon::ItemPath> opened;
    if (opened_folder_) {
        opened = model_->PathOf(*opened_folder_);
    }
    fill_timer_.stop();
    opened_folder_.reset();

    quiet_ = true;
    model_->SetContentsFilter(std::move(filter));
    for (const arkon::ItemPath& path : expanded) {
        OpenPath(path);
    }
    if (opened) {
        if (auto folder = OpenPath(*opened)) {
            opened_folder_ = QPersistentModelIndex(*folder);
        }
    }
    std::vector<QModelIndex> reselected;
    for (const arkon::ItemPath& path : selected) {
        QModelIndex item = model_->RootIndex();
        bool found = true;
        for (const arkon::ItemId& id : path) {
            item = model_->FindChild(item, id);
            if (!item.isValid()) {
                found = false;
                break;
            }
        }
        if (found && item.isValid()) {
            reselected.push_back(item);
        }
    }
    SelectOnly(reselected);
    quiet_ = false;
    if (PathsOf(GetSelectionInfo()) != selected) {
        emit SelectionChanged();
    }
}

void BrowserWidget::CollectExpanded(const QModelIndex& folder, std::vector<arkon::ItemPath>& paths) const {
    const int rows = model_->rowCount(folder);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = model_->index(row, 0, folder);
        if (view_->isExpanded(child)) {
            paths.push_back(model_->PathOf(child));
            CollectExpanded(child, paths);
        }
    }
}

std::optional<QModelIndex> BrowserWidget::OpenPath(const arkon::ItemPath& path) {
    if (!session_) {
        return std::nullopt;
    }
    QModelIndex folder = model_->RootIndex();
    if (folder.isValid()) {
        view_->expand(folder);
    } else {
        FetchInExpanded(folder); // the hidden root is always open
    }
    for (const arkon::ItemId& id : path) {
        const QModelIndex child = model_->FindChild(folder, id);
        if (!child.isValid() || !model_->IsFolder(child)) {
            return std::nullopt;
        }
        view_->expand(child);
        folder = child;
    }
    return folder;
}

bool BrowserWidget::ExpandPath(const arkon::ItemPath& path) {
    opened_folder_.reset();
    const std::optional<QModelIndex> folder = OpenPath(path);
    if (!folder) {
        return false;
    }
    opened_folder_ = QPersistentModelIndex(*folder);
    if (folder->isValid()) {
        view_->scrollTo(*folder);
    }
    return true;
}

bool BrowserWidget::SelectFile(const std::wstring& name) {
    QModelIndex target;
    if (opened_folder_) {
        const QModelIndex folder = *opened_folder_;
        target = name.empty() ? folder : model_->FindChildByName(folder, name);
    }
    if (!target.isValid()) {
        SelectOnly({});
        return false;
    }
    SelectOnly({target});
    view_->scrollTo(target);
    return true;
}

void BrowserWidget::SelectOnly(const std::vector<QModelIndex>& items) {
    QItemSelection selection;
    for (const QModelIndex& item : items) {
        selection.select(item, item);
    }
    QItemSelectionModel& model = *view_->selectionModel();
    model.select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    model.setCurrentIndex(items.empty() ? QModelIndex() : items.back(), QItemSelectionModel::NoUpdate);
}

SelectionInfo BrowserWidget::GetSelectionInfo() const {
    QModelIndexList rows = view_->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return RowsOf(a) < RowsOf(b); });
    SelectionInfo selection;
    for (const QModelIndex& row : rows) {
        selection.items.push_back({model_->PathOf(row), model_->InfoOf(row)});
    }
    return selection;
}

bool BrowserWidget::IsOnScreen(const QModelIndex& folder) const {
    for (QModelIndex at = folder; at.isValid(); at = at.parent()) {
        if (!view_->isExpanded(at)) {
            return false;
        }
    }
    return true;
}

void BrowserWidget::FetchInExpanded(const QModelIndex& folder) {
    // The view asks for the first batch itself only when it lays the folder out at once; asking here
    // as well costs nothing when it did.
    if (model_->canFetchMore(folder) && model_->rowCount(folder) == 0) {
        model_->fetchMore(folder);
    }
    if (!model_->FoldersWithMore().empty()) {
        fill_timer_.start();
    }
}

void BrowserWidget::FillStep() {
    bool more = false;
    for (const QModelIndex& folder : model_->FoldersWithMore()) {
        if (IsOnScreen(folder)) {
            model_->fetchMore(folder);
        }
    }
    for (const QModelIndex& folder : model_->FoldersWithMore()) {
        more = more || IsOnScreen(folder);
    }
    // Each step is one batch per folder and then back to the event loop, so input and painting go on
    // while a big folder fills. A folder collapsed meanwhile waits until it is expanded again.
    if (more) {
        fill_timer_.start();
    }
}

} // namespace arkon_browser
