// Copies a folder of the repository, with all its sub-folders, into a local folder.
#pragma once

#include "repository/FindConnection.h"
#include "repository/ICore.h"

#include <boost/uuid/uuid.hpp>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

enum class BackupOutcome {
    Copied,         // every folder and document that could be written was written
    SourceNotFound, // the source path does not parse, its connection is unknown, it does not resolve or
                    // it names a document
    Stopped,        // a stop was requested; the document being copied was left as it was
    Failed,         // the repository or the destination failed on the way; what was copied stays
};

// How one copy went, for the task's log and the task list.
struct BackupResult {
    BackupOutcome outcome = BackupOutcome::Copied;
    std::size_t copied = 0;         // documents written
    std::uint64_t copied_bytes = 0; // their size
    std::size_t unchanged = 0;      // documents whose copy was already up to date and was left alone
    std::size_t skipped = 0;        // documents and folders left out: no content, a file or folder that
                                    // could not be made, or an entry of another kind in their place
    std::wstring reason;            // why the copy did not start or stopped early, in words; empty when
                                    // it completed
    // The skipped entries that were in the way (a folder or link where a document's copy goes, anything
    // but a folder where a folder goes), as paths below the destination with "/" between names.
    std::vector<std::wstring> blocked;
};

// The line the task's log gets when a copy has ended: the counts of a completed copy, or the reason it
// did not complete.
QString BackupResultLine(const BackupResult& result);

// Walks the source folder depth first (the sub-folder found last is copied first) and writes the first
// blob of every document under the same names below `destination_path`, which is made with its parents
// when missing. A regular file already in a document's place with the document's size and modification
// time (as finely as the destination keeps times) is left as it is, unread; any other document is
// written to a temporary file beside its destination, given the document's modification time, and
// renamed over the previous copy only after its last chunk, so an interrupted copy leaves the previous
// file whole. A folder or symbolic link in a document's place, or anything but a folder in a folder's
// place, is neither replaced nor followed. Nothing is deleted in the destination. A completed copy is on
// the disk when this returns. A stop request is honoured between two chunks. A destination inside the
// repository's own folder is refused (the copy would copy itself). Never throws.
BackupResult BackupFolder(arkon::ICore& core, const boost::uuids::uuid& connection_id,
                          const std::wstring& source_path, const std::wstring& destination_path,
                          std::stop_token stop = {}, const QString& connections_file = ConnectionsFilePath());
