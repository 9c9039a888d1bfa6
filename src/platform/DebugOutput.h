// Where the program's trace of its task-log lines and started programs goes.
#pragma once

class QString;

// Hands one line of trace text to the platform's debug channel. Never throws.
void WriteDebugOutput(const QString& text);
