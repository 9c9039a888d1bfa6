// The terminal commands of the program: --list, --history, --run, --pause, --resume, --help, --version,
// and the answer to bad usage.
#pragma once

#include "CommandLine.h"
#include "singleinstance/InstanceModes.h"

// Carries out the command and returns the exit status: 0 done, 1 failed (the reason on standard error),
// 2 bad usage. Makes a core application object only, so no display is needed, and never starts the
// scheduler. The running program is found under the key its guard made with `guardModes`; when none
// runs, --list and --history read the storage file and the run journal without writing anything, and
// --pause and --resume change the task in the storage file.
int RunTerminalCommand(int& argc, char* argv[], const CommandLine& command, InstanceModes::Modes guardModes);
