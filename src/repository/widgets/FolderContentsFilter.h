// Which documents the repository browser shows in a folder: all of them, or only those of some kinds.
// Folders are always shown. On a folder repository a document's kind is the extension of its name.
#pragma once

#include "repository/BrowserItemInfo.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace arkon_browser {

class FolderContentsFilter {
public:
    // Shows every document.
    FolderContentsFilter() = default;

    // Shows only documents of the given kinds: extensions compared without regard to case, with or
    // without their leading "." ("DWG", ".dwg" and "dwg" are one kind); "" stands for documents whose
    // name has no extension. An empty list shows folders only.
    explicit FolderContentsFilter(const std::vector<std::wstring>& kinds);

    bool Shows(const arkon::BrowserItemInfo& item) const;

    // The kind of a document's name: the text after its last ".", in lower case; empty when there is no
    // such text or the only "." begins the name (".profile" has no extension).
    static std::wstring KindOf(const std::wstring& name);

    bool operator==(const FolderContentsFilter&) const = default;

private:
    // Nothing: every document.
    std::optional<std::set<std::wstring>> kinds_;
};

} // namespace arkon_browser
