// A descriptor that becomes readable when a child process ends (a pidfd), for the waits of this folder.
#pragma once

// A pidfd for the child, close-on-exec, or -1 where the kernel has none (before 5.3, some sandboxes) or
// they are switched off; the caller then falls back to a wait of its own.
int OpenProcessDescriptor(int pid);
