// A small folder repository on disk with an open session on it, for the browser's tests:
//
//   Архив/2025/план.dwg
//   Проекты/Дом/фасад.DWG, схема.dxf, readme
//   Проекты/Мост/            (empty)
//   заметки.txt
//
// Listings go through a counting core, so that tests see which folders were read.
#pragma once

#include "CountingCore.h"
#include "FolderTree.h"
#include "repository/ISession.h"

#include <QStringList>

#include <memory>

class SampleRepository {
public:
    SampleRepository();

    // The identifiers of the items the names lead to; every name must exist.
    arkon::ItemPath Ids(const QStringList& names) const;

    // The repository folder's path below the temporary folder, as FolderTree takes it: "repo/...".
    static std::string Relative(std::string_view below) { return "repo/" + std::string(below); }

    FolderTree tree;
    std::shared_ptr<ListingLog> log = std::make_shared<ListingLog>();
    std::shared_ptr<arkon::ISession> session;
    std::shared_ptr<arkon::ItemStore> store;
};
