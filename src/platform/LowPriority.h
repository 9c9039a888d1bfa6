// Work that runs unattended (backups, the suite's tool) gives way to the user's: it gets the processor
// and the disk only when nothing else wants them.
#pragma once

namespace platform {

// From now on the calling thread, and the threads and programs it starts, take the processor and the
// disk last. Cannot be undone for the thread (raising a priority again needs a privilege), so it is
// called only on threads made for the work. Failures are ignored: the work goes on at its old priority.
void LowerThisThreadsPriority();

// From now on the calling thread gets a smaller share of a busy processor than the program's other
// threads, yet a share that lets its work end within a second or so: for background work that must
// not wait long, such as saving the tasks, and must not take the window's processor while it works.
void GiveThisThreadASmallerShare();

} // namespace platform
