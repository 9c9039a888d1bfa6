// Keeps the program's standard error for what its user must know: Qt's offscreen platform, on which a
// start without a display runs, warns at every start about something that concerns nobody.
#pragma once

// Installs a message handler that drops those messages and hands every other one to the handler that
// was there before. Call once, before the application object exists.
void InstallQtMessageFilter();
