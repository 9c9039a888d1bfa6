// Ends the event loop when the session or the user asks the program to stop.
#pragma once

// After this call SIGTERM, SIGINT and SIGHUP make QCoreApplication::exec() return 0 instead of killing
// the process, so the program shuts down the way its exit command does: the engine finishes its
// current step, the files are complete and the single-instance block is released. Call once, after the
// application object exists, from its thread.
void QuitOnTerminationSignals();
