// Document kinds and the folder-contents filter.
#include "FolderContentsFilter.h"

#include <QString>

namespace arkon_browser {
namespace {

std::wstring Lower(const std::wstring& text) {
    return QString::fromStdWString(text).toLower().toStdWString();
}

} // namespace

FolderContentsFilter::FolderContentsFilter(const std::vector<std::wstring>& kinds) : kinds_(std::in_place) {
    for (const std::wstring& kind : kinds) {
        kinds_->insert(Lower(!kind.empty() && kind.front() == L'.' ? kind.substr(1) : kind));
    }
}

bool FolderContentsFilter::Shows(const arkon::BrowserItemInfo& item) const {
    return item.IsFolder() || !kinds_ || kinds_->count(KindOf(item.name)) > 0;
}

std::wstring FolderContentsFilter::KindOf(const std::wstring& name) {
    const auto dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) {
        return {};
    }
    return Lower(name.substr(dot + 1));
}

} // namespace arkon_browser
