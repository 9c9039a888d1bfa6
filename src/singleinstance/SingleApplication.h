// The program's application object, which also knows whether the program is already running.
#pragma once

#include "singleinstance/InstanceModes.h"

#include <QApplication>
#include <QByteArray>

class SingleApplicationPrivate;

// The first process of an installation becomes the primary instance and listens on a local server;
// every later one becomes a secondary instance, and with NotifySecondary tells the primary that it
// started. The decision is taken once, in the constructor. Its modes (Mode, Modes) are InstanceModes'.
class SingleApplication : public QApplication, public InstanceModes {
    Q_OBJECT

public:
    // `allowSecondary` is always true in this program; a secondary instance is never refused here, it
    // is left to the caller to end it.
    SingleApplication(int& argc, char* argv[], bool allowSecondary, Modes mode, int timeout);
    ~SingleApplication() override;

    bool isPrimaryInstance() const;
    // The process id recorded by the running primary, -1 when there is none.
    qint64 primaryProcessId() const;

    // Logs the shared block's error and ends the process with status 1. Used when the block cannot be
    // created, attached or locked.
    [[noreturn]] void abortSafely();

signals:
    void instanceStarted();
    void receivedMessage(quint32 instanceId, QByteArray message);

private:
    friend class SingleApplicationPrivate;

    SingleApplicationPrivate* d;
};
