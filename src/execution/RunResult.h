// How one run of a task ended, as the run itself knows it: what the engine records and the window shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RunOutcome {
    None,          // never ran
    Running,       // a run has started and not ended
    Succeeded,     // the last run ended without an error
    Warnings,      // the last run ended, but left something undone that it names (skipped documents)
    Failed,        // the tool failed, a backup did not complete, a command could not start
    Missed,        // the last scheduled time passed while the program was not running
    Interrupted,   // the program was closed during the run
    LimitExceeded, // the tool ran longer than the time limit and was stopped
};

// The outcomes the list marks as failures and a notice is given for.
inline bool IsFailure(RunOutcome outcome) {
    return outcome == RunOutcome::Failed || outcome == RunOutcome::LimitExceeded;
}

// A document the suite's tool failed on (or was stopped on), and the reason it gave.
struct FailedDocument {
    std::wstring document;
    std::wstring reason;
    bool operator==(const FailedDocument&) const = default;
};

// What a run did, filled in by the run as it goes. Counts are of documents (exports, checks and backups);
// a command leaves them at zero.
struct RunResult {
    RunOutcome outcome = RunOutcome::Succeeded;
    std::wstring firstError;    // the first error line, cut to kFirstErrorLength characters
    std::int64_t done = 0;      // documents exported, checked or copied
    std::int64_t failed = 0;    // documents the tool or the copy failed on
    std::int64_t skipped = 0;   // documents left out (unreadable, changed while read, in the way)
    std::int64_t unchanged = 0; // documents left alone because they had not changed
    std::uint64_t bytes = 0;    // bytes copied
    // The first kKeptFailedDocuments of them, for the history: a run over a whole repository that fails
    // on every document must not fill the journal.
    std::vector<FailedDocument> failedDocuments{};

    static constexpr std::size_t kFirstErrorLength = 300;
    static constexpr std::size_t kKeptFailedDocuments = 100;

    void NoteFailed(const std::wstring& document, const std::wstring& reason) {
        if (failedDocuments.size() < kKeptFailedDocuments) {
            failedDocuments.push_back(
                {document, reason.substr(0, reason.find(L'\n')).substr(0, kFirstErrorLength)});
        }
    }

    // Raises the outcome to a worse one (Failed over Warnings over Succeeded) and keeps the first error
    // line, cut to its length; never lowers it.
    void Raise(RunOutcome worse, const std::wstring& errorLine = {}) {
        if (Rank(worse) > Rank(outcome)) {
            outcome = worse;
        }
        if (firstError.empty() && !errorLine.empty()) {
            firstError = errorLine.substr(0, errorLine.find(L'\n')).substr(0, kFirstErrorLength);
        }
    }

    static int Rank(RunOutcome o) {
        switch (o) {
        case RunOutcome::Succeeded:
            return 1;
        case RunOutcome::Warnings:
            return 2;
        case RunOutcome::Failed:
            return 3;
        case RunOutcome::LimitExceeded:
            return 4;
        case RunOutcome::Interrupted:
            return 5;
        default:
            return 0;
        }
    }
};
