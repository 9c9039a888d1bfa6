// Copies a folder of the repository, with all its sub-folders, into a local folder.
#pragma once

#include "repository/FindConnection.h"
#include "repository/ICore.h"

#include <boost/uuid/uuid.hpp>

#include <QString>

#include <stop_token>
#include <string>

enum class BackupOutcome {
    Copied,         // every folder and document that could be written was written
    SourceNotFound, // the source path does not parse, its connection is unknown, it does not resolve or
                    // it names a document
    Stopped,        // a stop was requested; the document being copied was left as it was
    Failed,         // the repository or the destination failed on the way; what was copied stays
};

// Walks the source folder depth first (the sub-folder found last is copied first) and writes the first
// blob of every document under the same names below `destination_path`, which is made with its parents
// when missing. Each document is written to a temporary file beside its destination and renamed over
// the previous copy only after its last chunk, so an interrupted copy leaves the previous file whole.
// Nothing is deleted in the destination. A stop request is honoured between two chunks. A destination
// inside the repository's own folder is refused (the copy would copy itself). Never throws; the
// outcome serves tests and diagnostics only.
BackupOutcome BackupFolder(arkon::ICore& core, const boost::uuids::uuid& connection_id,
                           const std::wstring& source_path, const std::wstring& destination_path,
                           std::stop_token stop = {},
                           const QString& connections_file = ConnectionsFilePath());
