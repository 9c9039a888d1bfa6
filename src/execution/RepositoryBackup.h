// Copies a folder of the repository, with all its sub-folders, into a local folder.
#pragma once

#include "BackupResult.h"
#include "repository/FindConnection.h"
#include "repository/ICore.h"

#include <boost/uuid/uuid.hpp>

#include <QString>

#include <stop_token>
#include <string>

// Walks the source folder depth first (the sub-folder found last is copied first) and writes the first
// blob of every document under the same names below `destination_path`, which is made with its parents
// when missing. A regular file already in a document's place with the document's size and modification
// time (as finely as the destination keeps times) is left as it is, unread; any other document is
// written to a temporary file beside its destination, given the document's modification time, and
// renamed over the previous copy only after its last chunk, so an interrupted copy leaves the previous
// file whole. A folder or symbolic link in a document's place, or anything but a folder in a folder's
// place, is neither replaced nor followed. Nothing is deleted in the destination but temporary files a
// killed backup left there. Copies take their documents' permission bits (a folder's keep its owner's
// right to write). A document that cannot be read whole is left out and named, and the copy goes on:
// the outcome is Warnings. A destination that refuses anything ends the copy as Failed, naming the
// system's reason; so does one without room for what is to be written, before anything is. A completed
// copy is on the disk when this returns. A stop request is honoured between two chunks. A destination
// inside the repository's own folder is refused (the copy would copy itself). Never throws.
BackupResult BackupFolder(arkon::ICore& core, const boost::uuids::uuid& connection_id,
                          const std::wstring& source_path, const std::wstring& destination_path,
                          std::stop_token stop = {}, const QString& connections_file = ConnectionsFilePath(),
                          bool makeDestination = true);
