// Reading a run's outcome from the lines of its task's log.
#include "RunHistory.h"

#include "execution/RepositoryBackup.h"
#include "execution/RunTexts.h"

namespace {

enum class Line {
    Other, // within a run, the tool's own error lines
    Start,
    RunNow, // a run-now run's first line: it has no finish line
    Finish,
    Missed,
    CatchingUp,
    // Written while the worker runs the task.
    ToolSucceeded,
    ToolFailed, // its reason follows
    RunFailed,  // the line is its own reason: a path, a connection, a program that did not start
    RunWarning, // the run found nothing to do where it should have
    LimitExceeded,
    Interrupted,
    // Written when what the run started beside the worker has ended.
    BackupDone,
    BackupWarnings, // the copy went to its end, leaving out what it names
    BackupFailed,
    ProgramEnded, // with its exit code
    ProgramSignaled,
};

// A text with "%1" in it, as the part before and the part after the value.
struct Pattern {
    explicit Pattern(const QString& text) {
        const int at = text.indexOf(QLatin1String("%1"));
        head = at < 0 ? text : text.left(at);
        tail = at < 0 ? QString() : text.mid(at + 2);
    }
    bool Fits(const QString& message, QString* value = nullptr) const {
        if (message.size() < head.size() + tail.size() || !message.startsWith(head) ||
            !message.endsWith(tail)) {
            return false;
        }
        if (value != nullptr) {
            *value = message.mid(head.size(), message.size() - head.size() - tail.size());
        }
        return true;
    }
    QString head;
    QString tail;
};

// The part of a backup's result line up to its first colon: the kind of the line, whatever follows.
Pattern BackupPrefix(BackupOutcome outcome) {
    BackupResult result;
    result.outcome = outcome;
    const QString line = BackupResultLine(result);
    return Pattern(line.left(line.indexOf(QLatin1Char(':')) + 1) + QStringLiteral("%1"));
}

// Made once: a failed tool may write a million lines, each of which passes through here.
struct Texts {
    QString start = RunTexts::Start();
    // The finish line ends in the next run or in the words that there is none.
    Pattern finish{RunTexts::Finish().section(QLatin1Char('.'), 0, 0) + QStringLiteral("%1")};
    Pattern missed{RunTexts::Missed().section(QLatin1Char(' '), 0, 1) + QStringLiteral("%1")};
    QString catchingUp = RunTexts::CatchingUp();
    QString toolSucceeded = RunTexts::ToolSucceeded();
    QString toolFailed = RunTexts::ToolFailed();
    Pattern badPath{RunTexts::BadPath().trimmed()};
    Pattern noConnection{RunTexts::NoConnection()};
    Pattern notFound{RunTexts::NotFound()};
    Pattern repositoryFailed{RunTexts::RepositoryFailed()};
    Pattern notStarted{RunTexts::NotStarted()};
    // Two values each: only the text before the first one is fixed.
    Pattern noOutputFolder{RunTexts::NoOutputFolder().section(QLatin1String("%1"), 0, 0) +
                           QStringLiteral("%1")};
    Pattern noRulesFile{RunTexts::NoRulesFile().section(QLatin1String("%1"), 0, 0) + QStringLiteral("%1")};
    Pattern noIfcSource{RunTexts::NoIfcSource().section(QLatin1String("%1"), 0, 0) + QStringLiteral("%1")};
    Pattern noDocuments{RunTexts::NoDocuments()};
    Pattern noIfcFiles{RunTexts::NoIfcFiles()};
    Pattern limitExceeded{RunTexts::LimitExceeded()};
    // Up to the seconds: the document named after them may hold anything.
    Pattern taskLimitExceeded{RunTexts::TaskLimitExceeded().section(QLatin1Char('('), 0, 0) +
                              QStringLiteral("(%1")};
    QString interrupted = RunTexts::Interrupted();
    QString killed = RunTexts::Killed();
    QString runNow = RunTexts::RunNow();
    Pattern backupDone = BackupPrefix(BackupOutcome::Copied);
    Pattern backupWarnings = BackupPrefix(BackupOutcome::Warnings);
    Pattern backupFailed = BackupPrefix(BackupOutcome::Failed);
    Pattern programEnded{RunTexts::ProgramExited()};
    Pattern programSignaled{RunTexts::ProgramSignaled()};
};

Line Classify(const QString& message, int& exitCode) {
    static const Texts texts;
    if (message == texts.start) {
        return Line::Start;
    }
    if (texts.finish.Fits(message)) {
        return Line::Finish;
    }
    if (message == texts.toolSucceeded) {
        return Line::ToolSucceeded;
    }
    if (message == texts.toolFailed) {
        return Line::ToolFailed;
    }
    if (message == texts.runNow) {
        return Line::RunNow;
    }
    if (message == texts.interrupted || message == texts.killed) {
        return Line::Interrupted;
    }
    if (texts.limitExceeded.Fits(message) || texts.taskLimitExceeded.Fits(message)) {
        return Line::LimitExceeded;
    }
    if (texts.badPath.Fits(message) || texts.noConnection.Fits(message) || texts.notFound.Fits(message) ||
        texts.repositoryFailed.Fits(message) || texts.notStarted.Fits(message) ||
        texts.noOutputFolder.Fits(message) || texts.noRulesFile.Fits(message) ||
        texts.noIfcSource.Fits(message)) {
        return Line::RunFailed;
    }
    if (texts.noDocuments.Fits(message) || texts.noIfcFiles.Fits(message)) {
        return Line::RunWarning;
    }
    if (texts.backupDone.Fits(message)) {
        return Line::BackupDone;
    }
    if (texts.backupWarnings.Fits(message)) {
        return Line::BackupWarnings;
    }
    if (texts.backupFailed.Fits(message)) {
        return Line::BackupFailed;
    }
    QString code;
    if (texts.programEnded.Fits(message, &code)) {
        exitCode = code.toInt();
        return Line::ProgramEnded;
    }
    if (texts.programSignaled.Fits(message)) {
        return Line::ProgramSignaled;
    }
    if (texts.missed.Fits(message)) {
        return Line::Missed;
    }
    if (message == texts.catchingUp) {
        return Line::CatchingUp;
    }
    return Line::Other;
}

bool WrittenByTheWorker(Line line) {
    return line == Line::ToolSucceeded || line == Line::ToolFailed || line == Line::RunFailed ||
           line == Line::RunWarning;
}

} // namespace

void RunHistory::Begin(TimePoint time) {
    m_start = time;
    m_end.reset();
    m_open = true;
    m_ended = false;
    m_reported = false;
    m_result = RunOutcome::None;
    m_firstError.clear();
}

void RunHistory::End(TimePoint time) {
    m_end = time;
    m_open = false;
    m_ended = true;
    if (m_result == RunOutcome::None) {
        m_result = RunOutcome::Succeeded; // nothing went wrong, or there was nothing to do
    }
}

void RunHistory::FinishReading() {
    if (m_open) {
        End(m_end.value_or(*m_start));
        Raise(RunOutcome::Interrupted, {});
        m_end.reset(); // when it ended is not known
    }
}

void RunHistory::Raise(RunOutcome outcome, const QString& errorLine) {
    if (RunResult::Rank(outcome) > RunResult::Rank(m_result)) {
        m_result = outcome;
    }
    if (m_firstError.empty() && !errorLine.isEmpty()) {
        // One line of reasonable length: a tool may write a line of megabytes.
        m_firstError = errorLine.left(static_cast<int>(RunResult::kFirstErrorLength)).toStdWString();
    }
}

void RunHistory::Feed(TimePoint time, const QString& text) {
    // A message may end in a newline of its own; the log then holds an empty line after it.
    QString message = text;
    while (message.endsWith(QLatin1Char('\n'))) {
        message.chop(1);
    }
    int exitCode = 0;
    const Line line = Classify(message, exitCode);
    switch (line) {
    case Line::Start:
        Begin(time);
        return;
    case Line::Finish:
        End(time);
        return;
    case Line::RunNow:
        m_start = time;
        m_end.reset();
        m_open = false;
        m_ended = false;
        m_reported = false;
        m_result = RunOutcome::None;
        m_firstError.clear();
        return;
    case Line::Missed:
        // Not a run, but the time one should have been.
        m_open = false;
        m_ended = true;
        m_result = RunOutcome::Missed;
        m_firstError.clear();
        return;
    case Line::CatchingUp:
        return;
    default:
        break;
    }
    m_reported = true;
    if (line == Line::Other) {
        // Only a failed tool writes lines of its own, after its failure line; the failure line itself
        // may lie before the part of a long log that was read back.
        Raise(RunOutcome::Failed, message);
        if (!m_open) {
            m_end = time; // a run-now run's
        }
        return;
    }
    // After an ended run, only a run-now request writes these (it has no start line of its own); the
    // end of a program or a copy belongs to the run that started it.
    if (WrittenByTheWorker(line) && !m_open && (m_ended || !m_start)) {
        m_start = time;
        m_ended = false;
        m_reported = true;
        m_result = RunOutcome::None;
        m_firstError.clear();
    }
    switch (line) {
    case Line::ToolSucceeded:
    case Line::BackupDone:
        Raise(RunOutcome::Succeeded, {});
        break;
    case Line::ProgramEnded:
        Raise(exitCode == 0 ? RunOutcome::Succeeded : RunOutcome::Failed,
              exitCode == 0 ? QString() : message);
        break;
    case Line::ToolFailed:
        Raise(RunOutcome::Failed, {}); // the reason follows
        break;
    case Line::BackupWarnings:
        Raise(RunOutcome::Warnings, message);
        break;
    case Line::LimitExceeded:
        Raise(RunOutcome::LimitExceeded, message);
        break;
    case Line::Interrupted:
        Raise(RunOutcome::Interrupted, {});
        break;
    case Line::RunWarning:
        Raise(RunOutcome::Warnings, message);
        break;
    default: // RunFailed, BackupFailed, ProgramSignaled
        Raise(RunOutcome::Failed, message);
        break;
    }
    if (!m_open) {
        m_end = time;
    }
}

TaskStatus RunHistory::Status() const {
    TaskStatus status;
    status.last_start = m_start;
    status.last_end = m_open ? std::nullopt : m_end;
    status.outcome = m_open ? RunOutcome::Running : m_result;
    status.first_error = m_firstError;
    return status;
}
