// Work that runs unattended (backups, the suite's tool) gives way to the user's: it gets the processor
// and the disk only when nothing else wants them.
#pragma once

namespace platform {

// From now on the calling thread, and the threads and programs it starts, take the processor and the
// disk last. Cannot be undone for the thread (raising a priority again needs a privilege), so it is
// called only on threads made for the work. Failures are ignored: the work goes on at its old priority.
void LowerThisThreadsPriority();

} // namespace platform
