// The organization and application names, which name the program's per-user folders.
#pragma once

// Sets them on QCoreApplication. The guard that finds a running scheduler computes its key before any
// name is set, so each way of starting calls this only after that.
void SetApplicationNames();
