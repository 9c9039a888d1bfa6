// The stored codes and the script words of outcomes and run starts.
#include "JournalRecords.h"

namespace {

struct OutcomeName {
    RunOutcome outcome;
    int code;
    const char* word;
};

// The codes are stored in the journal: never change them.
constexpr OutcomeName kOutcomes[] = {
    {RunOutcome::Running, 0, "running"},         {RunOutcome::Succeeded, 1, "succeeded"},
    {RunOutcome::Warnings, 2, "warnings"},       {RunOutcome::Failed, 3, "failed"},
    {RunOutcome::Interrupted, 4, "interrupted"}, {RunOutcome::LimitExceeded, 5, "time-limit-exceeded"},
    {RunOutcome::Missed, 6, "missed"},
};

} // namespace

int OutcomeCode(RunOutcome outcome) {
    for (const OutcomeName& name : kOutcomes) {
        if (name.outcome == outcome) {
            return name.code;
        }
    }
    return 0;
}

RunOutcome OutcomeFromCode(int code) {
    for (const OutcomeName& name : kOutcomes) {
        if (name.code == code) {
            return name.outcome;
        }
    }
    return RunOutcome::Failed; // a code of a later version: nothing to trust
}

QString OutcomeWord(RunOutcome outcome) {
    for (const OutcomeName& name : kOutcomes) {
        if (name.outcome == outcome) {
            return QString::fromLatin1(name.word);
        }
    }
    return {};
}

QString RunStartWord(RunStart how) {
    switch (how) {
    case RunStart::Timed:
        return QStringLiteral("timed");
    case RunStart::RunNow:
        return QStringLiteral("run-now");
    case RunStart::CatchUp:
        return QStringLiteral("catch-up");
    case RunStart::Missed:
        return QStringLiteral("missed");
    case RunStart::Retry:
        return QStringLiteral("retry");
    case RunStart::Skipped:
        return QStringLiteral("skipped");
    }
    return {};
}
