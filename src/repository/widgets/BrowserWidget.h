// The repository browser of the task editor: a tree of one repository session's folders and documents
// in which the user picks an item. A folder is read only when it is expanded, and its items come in a
// batch at a time between events, so that a folder of thousands of documents leaves the window usable.
#pragma once

#include "BrowserMode.h"
#include "FolderContentsFilter.h"
#include "IFileInfoProvider.h"
#include "IItemFilter.h"
#include "SelectionInfo.h"
#include "repository/ISession.h"

#include <QPersistentModelIndex>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTreeView;

namespace arkon_browser {

class BrowserModel;

class BrowserWidget : public QWidget {
    Q_OBJECT

public:
    // `file_info` gives the tool tips of documents (none without it). `single_selection` false lets the
    // user select several items (Ctrl and Shift with the mouse), true only one. `show_root` true shows
    // the repository root as the one top item, so that the root itself can be chosen; false puts its
    // items at the top. `item_filter` hides items altogether (none hidden without it).
    BrowserWidget(QWidget* parent, std::shared_ptr<IFileInfoProvider> file_info, bool single_selection,
                  bool show_root, BrowserMode mode, std::shared_ptr<IItemFilter> item_filter);
    ~BrowserWidget() override;

    // Shows the repository of `session` (an empty tree for none), with only the root open, and keeps the
    // session. Throws what ISession::GetItemStore throws, and then changes nothing.
    void Reset(std::shared_ptr<arkon::ISession> session);

    // Shows, besides folders, only the documents of the given kinds: extensions of their names, without
    // regard to case (see FolderContentsFilter). An empty list shows folders only.
    void SetFolderContentsFilter(const std::vector<std::wstring>& kinds);
    // Shows every document again.
    void ResetFolderContentsFilter();

    // Opens the folders along `path` (identifiers from the repository root; empty for the root) and
    // scrolls to the last one, which SelectFile then looks in. False, with the folders that were found
    // left open, when an identifier is not a shown folder inside the one before it, and without a session.
    bool ExpandPath(const arkon::ItemPath& path);

    // Selects the item of that name in the folder the last successful ExpandPath opened (the empty name
    // selects that folder itself, when it is shown as an item), and only it. False, with nothing
    // selected, when there is no such item.
    bool SelectFile(const std::wstring& name);

    SelectionInfo GetSelectionInfo() const;

signals:
    void SelectionChanged();

private:
    // Opens the folders along the path and gives the last one (invalid for the hidden root).
    std::optional<QModelIndex> OpenPath(const arkon::ItemPath& path);
    void ApplyContentsFilter(FolderContentsFilter filter);
    void CollectExpanded(const QModelIndex& folder, std::vector<arkon::ItemPath>& paths) const;
    bool IsOnScreen(const QModelIndex& folder) const;
    void FetchInExpanded(const QModelIndex& folder);
    void FillStep();
    void SelectOnly(const std::vector<QModelIndex>& items);

    QTreeView* view_;
    BrowserModel* model_;
    std::shared_ptr<arkon::ISession> session_;
    // The folder the last successful ExpandPath opened; an invalid index stands for the hidden root.
    std::optional<QPersistentModelIndex> opened_folder_;
    // Takes in the next batch of every expanded folder between events, until all are in.
    QTimer fill_timer_;
    // Set while the widget rebuilds the selection itself, so that one change gives one signal.
    bool quiet_ = false;
};

} // namespace arkon_browser
