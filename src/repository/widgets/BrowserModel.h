// The repository as a tree model that reads a folder only when it is first needed (the view expands
// it, or a path is opened through it) and takes its items in a batch at a time, so that a folder of
// many thousands of documents never holds up the window for long.
#pragma once

#include "BrowserMode.h"
#include "FolderContentsFilter.h"
#include "IFileInfoProvider.h"
#include "IItemFilter.h"
#include "repository/ItemStore.h"

#include <QAbstractItemModel>
#include <QIcon>

#include <memory>
#include <optional>
#include <vector>

namespace arkon_browser {

class BrowserModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    struct Options {
        // The repository root as the one top item (so that it can be selected), or its items at the top.
        bool show_root = true;
        BrowserMode mode = BrowserMode::Names;
        std::shared_ptr<IFileInfoProvider> file_info;
        std::shared_ptr<IItemFilter> item_filter;
    };

    // Rows a folder takes in per fetch.
    static constexpr std::size_t kBatchSize = 256;

    explicit BrowserModel(Options options, QObject* parent = nullptr);
    ~BrowserModel() override;

    // Drops every item and starts again on `store` (an empty model for none). Nothing is listed yet.
    void Reset(std::shared_ptr<arkon::ItemStore> store);

    // Drops every item, as Reset with the same store, and lists folders with the new filter from now on.
    void SetContentsFilter(FolderContentsFilter filter);
    const FolderContentsFilter& ContentsFilter() const { return contents_filter_; }

    // The repository root: the top item, or the invisible root (an invalid index) when it is not shown.
    QModelIndex RootIndex() const;

    // The shown child of a folder with the identifier or the name; lists the folder and takes in its
    // items as far as needed. Invalid when there is none.
    QModelIndex FindChild(const QModelIndex& folder, const arkon::ItemId& id);
    QModelIndex FindChildByName(const QModelIndex& folder, const std::wstring& name);

    // The identifiers from the repository root to the item (empty for the root).
    arkon::ItemPath PathOf(const QModelIndex& index) const;
    const arkon::BrowserItemInfo& InfoOf(const QModelIndex& index) const;
    bool IsFolder(const QModelIndex& index) const;

    // Listed folders that still hold items not taken in.
    std::vector<QModelIndex> FoldersWithMore() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    struct Node;

    Node& NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const Node& node) const;
    arkon::ItemPath PathOf(const Node& node) const;
    void Rebuild();
    void List(Node& folder);
    void ShowHasNoChildren(const Node& folder);
    std::size_t TakeIn(Node& folder, std::size_t count);
    template <typename Matches>
    QModelIndex FindChildWhere(const QModelIndex& folder, Matches matches);

    Options options_;
    std::shared_ptr<arkon::ItemStore> store_;
    FolderContentsFilter contents_filter_;
    std::unique_ptr<Node> top_;
    std::vector<Node*> with_more_;
    QIcon folder_icon_;
    QIcon document_icon_;
    QIcon failed_icon_;
};

} // namespace arkon_browser
