// Linux has no debugger output channel: the trace goes to Qt's message log at debug level, so it reaches
// the journal or standard error and can be switched off through the logging rules.
#include "platform/DebugOutput.h"

#include "platform/LogCategory.h"

#include <QString>

void WriteDebugOutput(const QString& text) {
    qCDebug(lcZelkor).noquote() << text;
}
