// Ends the event loop when the session or the user asks the program to stop, and the program itself when
// the event loop cannot.
#pragma once

// After this call SIGTERM, SIGINT and SIGHUP make QCoreApplication::exec() return 0 instead of killing
// the process, so the program shuts down the way its exit command does: the engine finishes its
// current step, the files are complete and the single-instance block is released. The signals are taken
// on a thread of their own: when the event loop has not taken the request within two seconds (its thread
// is stuck), or a second signal comes during the clean exit, the process ends as the signal would have
// ended it without a handler. Call once, after the application object exists, from its thread.
void QuitOnTerminationSignals();
