// A repository core that passes everything to another core and lets a test step in while folders are
// listed and documents are opened and read: to record which folders were read, to change a file in
// the middle of a copy, to hold a copy at a chunk, or to make a folder or a document fail.
#pragma once

#include "repository/ICore.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct StoreHooks {
    // Before a folder is listed, with the names of its path below the root; may throw to make it fail.
    std::function<void(const std::vector<std::wstring>& names)> before_list;
    // Before a document is opened, with its name; may throw to make it fail.
    std::function<void(const std::wstring& name)> before_open;
    // After each chunk with data, with the document's name and the number of chunks read so far.
    std::function<void(const std::wstring& name, int chunks)> after_chunk;
    // True for documents that are to show no blob at all.
    std::function<bool(const std::wstring& name)> without_blobs;
    // The name a listed item is to be shown with, to try names the backend itself never gives.
    std::function<std::wstring(const std::wstring& name)> listed_name;
};

std::shared_ptr<arkon::ICore> MakeHookedCore(std::shared_ptr<arkon::ICore> inner,
                                             std::shared_ptr<StoreHooks> hooks);
