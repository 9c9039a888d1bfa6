// An anonymous temporary file for data too large to hold in memory.
#pragma once

#include <cstdio>

// A new file open for reading and writing that has no name (it vanishes with its last descriptor, also when
// the program is killed) and is kept from every program the scheduler starts. Null, with errno set, when
// none can be had.
std::FILE* OpenAnonymousTemporaryFile();
