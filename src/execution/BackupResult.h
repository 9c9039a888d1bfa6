// How one backup copy went: what the copy fills in, the line the task's log gets, and the run result
// the engine records.
#pragma once

#include "RunResult.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class BackupOutcome {
    Copied,         // every document was copied or was up to date already
    Warnings,       // the copy went to its end past documents it left out, which it names
    SourceNotFound, // the source path does not parse, its connection is unknown, it does not resolve or
                    // it names a document
    Stopped,        // a stop was requested; the document being copied was left as it was
    Failed,         // the destination could not be written (or had no room), or the repository failed;
                    // what was copied stays
};

struct BackupResult {
    BackupOutcome outcome = BackupOutcome::Copied;
    std::size_t copied = 0;         // documents written
    std::uint64_t copied_bytes = 0; // their size
    std::size_t unchanged = 0;      // documents whose copy was already up to date and was left alone
    std::size_t skipped = 0;        // documents and folders left out: unreadable, changed while read,
                                    // without content, or an entry of another kind in their place
    std::size_t failed = 0;         // documents the destination refused, which ended the copy
    std::wstring reason;            // why the copy did not start or stopped early, in words; empty when
                                    // it went to its end
    // The skipped entries that were in the way (a folder or link where a document's copy goes, anything
    // but a folder where a folder goes), as paths below the destination with "/" between names.
    std::vector<std::wstring> blocked;
    // The documents that could not be read whole (unreadable, or changed while read), the same way,
    // and why the first of them could not.
    std::vector<std::wstring> unreadable;
    std::wstring first_read_error;
};

// The line the task's log gets when a copy has ended: the counts of a copy that went to its end (with
// what it left out), or the reason it did not.
QString BackupResultLine(const BackupResult& result);

// The same for the run's record: the outcome (Warnings for what was left out, Interrupted for a stop),
// the first error line, the counts and the bytes.
RunResult BackupRunResult(const BackupResult& result);

// A size in megabytes with one decimal, written as the user's locale writes numbers ("1,1 МБ").
QString MegabytesText(std::uint64_t bytes);
