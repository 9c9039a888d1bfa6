// The application object of the single-instance guard; the work is done by its private part.
#include "singleinstance/SingleApplication.h"

#include "singleinstance/SingleApplicationPrivate.h"

#include "platform/SharedMemoryBlock.h"

#include <cstdlib>

SingleApplication::SingleApplication(int& argc, char* argv[], bool allowSecondary, Modes mode, int timeout)
    : QApplication(argc, argv), d(new SingleApplicationPrivate(this)) {
    Q_UNUSED(allowSecondary)
    d->start(mode, timeout);
}

SingleApplication::~SingleApplication() {
    delete d;
}

bool SingleApplication::isPrimaryInstance() const {
    return d->server != nullptr;
}

qint64 SingleApplication::primaryProcessId() const {
    return d->primaryProcessId();
}

void SingleApplication::abortSafely() {
    const SharedMemoryBlock* memory = d->memory.get();
    qCritical("SingleApplication: %d %s", memory ? static_cast<int>(memory->LastError()) : 0,
              memory ? qUtf8Printable(memory->ErrorString()) : "");
    delete d;
    d = nullptr;
    std::exit(EXIT_FAILURE);
}
