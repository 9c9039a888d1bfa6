// A terminal command's (or a starting window's) way to the running engine of its installation: one request,
// one reply.
#pragma once

#include "singleinstance/InstanceModes.h"

#include <QByteArray>
#include <QString>

struct InstanceAnswer {
    enum class Status {
        NotRunning, // nobody listens: the program is not running
        Answered,
        Refused,  // the program closed the connection without a reply (another user's, or too old)
        NoAnswer, // no reply within the time given
        Failed,   // the connection failed otherwise; `error` says how
    };
    Status status = Status::NotRunning;
    QByteArray reply;
    QString error;
};

// Finds the running engine (the window's program or the background engine, whichever runs the tasks)
// under the key it computed itself (so call this with the modes the program gives its guard, before any
// name of the application is set), sends the request after a connect message
// of kind TerminalRequest and waits up to `timeoutMs` for the reply. Never touches the shared block: a
// command is no start of the program and takes no instance number.
InstanceAnswer AskRunningInstance(const QByteArray& request, InstanceModes::Modes modes, int timeoutMs);
