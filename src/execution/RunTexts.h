// The texts a run writes to its task's log (context "TaskStorage"), in one place for the code that
// writes them and the code that reads a log back. "%1" stands where a value goes.
#pragma once

#include <QString>

namespace RunTexts {

QString Start();             // "Начало выполнения задания."
QString Finish();            // the end of a timed run; %2 when it runs next
QString FinishWithoutNext(); // the end of a timed run after which none is planned
QString ToolSucceeded();     // "Задание успешно выполнено."
QString ToolFailed();        // "Задание не выполнено:"
QString BadPath();           // an export's project path cannot be parsed; %1 the path
QString NoConnection();      // an export's connection is unknown; %1 the path
QString NotFound();          // an export's project path does not resolve; %1 the path
QString RepositoryFailed();  // the repository failed during an export; %1 its description
QString NoOutputFolder();    // an export's output folder cannot be made; %1 the folder, %2 why
QString NoRulesFile();       // a check's IDS file is missing or unreadable; %1 the file, %2 why
QString NoIfcSource();       // a check's IFC folder or file is missing or unreadable; %1 it, %2 why
QString NoDocuments();       // an export's project folder holds no documents; %1 the path
QString NoIfcFiles();        // a check's IFC folder holds no IFC files; %1 the folder
QString LimitExceeded();     // after the failure lines of a tool ended at the time limit; %1 the seconds
QString TaskLimitExceeded(); // the same for the whole task's limit; %1 the seconds, %2 the document
QString StoppedOnDocument(); // after the limit's line: the document the tool was stopped on; %1 it
QString Interrupted();       // after the lines of a run the closing program cut short
QString Killed();            // at start-up, for a run the program was stopped in the middle of
QString RunNow();            // before the lines of a run the user asked for
QString NotStarted();        // a command's program was not started; %1 the reason
QString ProgramExited();     // a command's program ended; %1 its exit code
QString ProgramSignaled();   // a command's program was ended by a signal; %1 its number
QString Missed();            // %1 the latest missed time
QString MissedMore();        // %1 the latest missed time, %2 how many more were missed
QString CatchingUp();        // after the start line of a run that makes up for a missed one
QString Retry();             // after the start line of a retry; %1 its number, %2 how many there may be
QString Waiting();           // a slot waits for the task's run conditions; %1 the slot, %2 what is unmet
QString Skipped();           // a slot that waited until the next one came; %1 the slot, %2 what was unmet
QString Unavailable();       // a run that needs its folders found one missing; %1 what, %2 the path
QString LineCut();           // after a tool's error line cut short; %1 the bytes left out of it
QString OutputCut();         // after a tool's error lines when more than could be held; %1 the bytes

} // namespace RunTexts
