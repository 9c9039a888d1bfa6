// The lazily listed repository tree.
#include "BrowserModel.h"

#include "repository/Error.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <QApplication>
#include <QDateTime>
#include <QStyle>

#include <algorithm>

namespace arkon_browser {
namespace {

namespace pt = boost::posix_time;

QString LocalTimeText(const pt::ptime& time) {
    if (time.is_special()) {
        return {};
    }
    static const pt::ptime epoch(boost::gregorian::date(1970, 1, 1));
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch((time - epoch).total_milliseconds(), Qt::UTC);
    return utc.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

} // namespace

struct BrowserModel::Node {
    Node* parent = nullptr;
    int row = 0;
    arkon::BrowserItemInfo info;
    // The repository root, whose path is empty: the top item, or the invisible root.
    bool is_root = false;
    bool listed = false;
    // The folder's items read but not taken in yet, from `next` on.
    std::vector<arkon::BrowserItemInfo> pending;
    std::size_t next = 0;
    // Why the folder could not be listed.
    QString error;
    std::vector<std::unique_ptr<Node>> children;

    bool HasMore() const { return next < pending.size(); }
};

BrowserModel::BrowserModel(Options options, QObject* parent)
    : QAbstractItemModel(parent), options_(std::move(options)) {
    const QStyle* style = QApplication::style();
    folder_icon_ = style->standardIcon(QStyle::SP_DirIcon);
    document_icon_ = style->standardIcon(QStyle::SP_FileIcon);
    failed_icon_ = style->standardIcon(QStyle::SP_MessageBoxWarning);
    Rebuild();
}

BrowserModel::~BrowserModel() = default;

void BrowserModel::Reset(std::shared_ptr<arkon::ItemStore> store) {
    beginResetModel();
    store_ = std::move(store);
    Rebuild();
    endResetModel();
}

void BrowserModel::SetContentsFilter(FolderContentsFilter filter) {
    beginResetModel();
    contents_filter_ = std::move(filter);
    Rebuild();
    endResetModel();
}

void BrowserModel::Rebuild() {
    with_more_.clear();
    top_ = std::make_unique<Node>();
    top_->info.folder = true;
    if (!store_) {
        top_->listed = true; // nothing to list
        return;
    }
    if (!options_.show_root) {
        top_->is_root = true;
        return;
    }
    auto root = std::make_unique<Node>();
    root->parent = top_.get();
    root->is_root = true;
    try {
        root->info = store_->GetItemInfo({});
    } catch (const exceptions::Error&) {
        // Listing will fail too, and say why on the item.
    }
    root->info.folder = true;
    if (root->info.name.empty()) {
        root->info.name = tr("Хранилище").toStdWString();
    }
    top_->children.push_back(std::move(root));
    top_->listed = true;
}

QModelIndex BrowserModel::RootIndex() const {
    return options_.show_root && !top_->children.empty() ? IndexOf(*top_->children.front()) : QModelIndex();
}

BrowserModel::Node& BrowserModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? *static_cast<Node*>(index.internalPointer()) : *top_;
}

QModelIndex BrowserModel::IndexOf(const Node& node) const {
    if (&node == top_.get()) {
        return {};
    }
    return createIndex(node.row, 0, const_cast<Node*>(&node));
}

arkon::ItemPath BrowserModel::PathOf(const Node& node) const {
    arkon::ItemPath path;
    for (const Node* at = &node; at != nullptr && !at->is_root; at = at->parent) {
        path.push_back(at->info.id);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

arkon::ItemPath BrowserModel::PathOf(const QModelIndex& index) const {
    return PathOf(NodeOf(index));
}

const arkon::BrowserItemInfo& BrowserModel::InfoOf(const QModelIndex& index) const {
    return NodeOf(index).info;
}

bool BrowserModel::IsFolder(const QModelIndex& index) const {
    return NodeOf(index).info.IsFolder();
}

void BrowserModel::List(Node& folder) {
    folder.listed = true;
    const arkon::ItemPath path = PathOf(folder);
    std::vector<arkon::BrowserItemInfo> items;
    try {
        auto listing = store_->ListFolder(path);
        arkon::BrowserItemInfo item;
        while (listing->Next(item)) {
            if (contents_filter_.Shows(item) &&
                (!options_.item_filter || options_.item_filter->Accept(path, item))) {
                items.push_back(std::move(item));
            }
        }
    } catch (const exceptions::Error& error) {
        folder.error = QString::fromStdWString(error.GetDescription());
        if (&folder != top_.get()) {
            const QModelIndex index = IndexOf(folder);
            emit dataChanged(index, index);
        }
        ShowHasNoChildren(folder);
        return;
    }
    // Folders first, each group in the store's order, as file managers show them.
    std::stable_partition(items.begin(), items.end(),
                          [](const arkon::BrowserItemInfo& item) { return item.IsFolder(); });
    folder.pending = std::move(items);
    folder.next = 0;
    if (folder.HasMore()) {
        with_more_.push_back(&folder);
    } else {
        ShowHasNoChildren(folder);
    }
}

void BrowserModel::ShowHasNoChildren(const Node& folder) {
    // Views remember that an unlisted folder has children (hasChildren said so) and keep drawing its
    // expander; no row is inserted or removed to tell them otherwise, so they are told to lay out again.
    if (&folder == top_.get()) {
        return;
    }
    const QList<QPersistentModelIndex> parents = {IndexOf(*folder.parent)};
    emit layoutAboutToBeChanged(parents);
    emit layoutChanged(parents);
}

std::size_t BrowserModel::TakeIn(Node& folder, std::size_t count) {
    const std::size_t taken = std::min(count, folder.pending.size() - folder.next);
    if (taken == 0) {
        return 0;
    }
    const int first = static_cast<int>(folder.children.size());
    beginInsertRows(IndexOf(folder), first, first + static_cast<int>(taken) - 1);
    for (std::size_t i = 0; i < taken; ++i) {
        auto child = std::make_unique<Node>();
        child->parent = &folder;
        child->row = static_cast<int>(folder.children.size());
        child->info = std::move(folder.pending[folder.next++]);
        folder.children.push_back(std::move(child));
    }
    if (!folder.HasMore()) {
        folder.pending = {};
        folder.next = 0;
        with_more_.erase(std::remove(with_more_.begin(), with_more_.end(), &folder), with_more_.end());
    }
    endInsertRows();
    return taken;
}

template <typename Matches>
QModelIndex BrowserModel::FindChildWhere(const QModelIndex& folder_index, Matches matches) {
    Node& folder = NodeOf(folder_index);
    if (!store_ || !folder.info.IsFolder()) {
        return {};
    }
    if (!folder.listed) {
        List(folder);
    }
    for (const auto& child : folder.children) {
        if (matches(child->info)) {
            return IndexOf(*child);
        }
    }
    for (std::size_t i = folder.next; i < folder.pending.size(); ++i) {
        if (matches(folder.pending[i])) {
            // Everything before it comes in too, so that the rows stay in the listing's order.
            TakeIn(folder, i - folder.next + 1);
            return IndexOf(*folder.children.back());
        }
    }
    return {};
}

QModelIndex BrowserModel::FindChild(const QModelIndex& folder, const arkon::ItemId& id) {
    return FindChildWhere(folder, [&id](const arkon::BrowserItemInfo& item) { return item.id == id; });
}

QModelIndex BrowserModel::FindChildByName(const QModelIndex& folder, const std::wstring& name) {
    return FindChildWhere(folder, [&name](const arkon::BrowserItemInfo& item) { return item.name == name; });
}

std::vector<QModelIndex> BrowserModel::FoldersWithMore() const {
    std::vector<QModelIndex> folders;
    folders.reserve(with_more_.size());
    for (const Node* folder : with_more_) {
        folders.push_back(IndexOf(*folder));
    }
    return folders;
}

QModelIndex BrowserModel::index(int row, int column, const QModelIndex& parent) const {
    const Node& folder = NodeOf(parent);
    if (row < 0 || column < 0 || column >= columnCount(parent) ||
        static_cast<std::size_t>(row) >= folder.children.size()) {
        return {};
    }
    return createIndex(row, column, folder.children[static_cast<std::size_t>(row)].get());
}

QModelIndex BrowserModel::parent(const QModelIndex& index) const {
    if (!index.isValid()) {
        return {};
    }
    const Node* parent = NodeOf(index).parent;
    return parent == nullptr ? QModelIndex() : IndexOf(*parent);
}

int BrowserModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return 0;
    }
    return static_cast<int>(NodeOf(parent).children.size());
}

int BrowserModel::columnCount(const QModelIndex&) const {
    return options_.mode == BrowserMode::Details ? 2 : 1;
}

bool BrowserModel::hasChildren(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return false;
    }
    const Node& folder = NodeOf(parent);
    if (!folder.info.IsFolder()) {
        return false;
    }
    // An unlisted folder is taken to have items: finding out would mean listing it.
    return !folder.listed || !folder.children.empty() || folder.HasMore();
}

bool BrowserModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.column() > 0 || !store_) {
        return false;
    }
    const Node& folder = NodeOf(parent);
    return folder.info.IsFolder() && (!folder.listed || folder.HasMore());
}

void BrowserModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) {
        return;
    }
    Node& folder = NodeOf(parent);
    if (!folder.listed) {
        List(folder);
    }
    TakeIn(folder, kBatchSize);
}

QVariant BrowserModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const Node& node = NodeOf(index);
    if (index.column() == 1) {
        return role == Qt::DisplayRole ? QVariant(LocalTimeText(node.info.modification_time)) : QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdWString(node.info.name);
    case Qt::DecorationRole:
        if (!node.error.isEmpty()) {
            return failed_icon_;
        }
        return node.info.IsFolder() ? folder_icon_ : document_icon_;
    case Qt::ToolTipRole:
        if (!node.error.isEmpty()) {
            return tr("Не удалось прочитать папку.\n%1").arg(node.error);
        }
        if (!node.info.IsFolder() && options_.file_info) {
            const QString description = options_.file_info->GetDescription(PathOf(node), node.info);
            if (!description.isEmpty()) {
                return description;
            }
        }
        return {};
    default:
        return {};
    }
}

QVariant BrowserModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return section == 0 ? tr("Имя") : tr("Изменён");
}

Qt::ItemFlags BrowserModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!NodeOf(index).info.IsFolder()) {
        flags |= Qt::ItemNeverHasChildren;
    }
    return flags;
}

} // namespace arkon_browser
