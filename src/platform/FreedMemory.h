// Giving memory that the program has freed back to the system.
#pragma once

// Reading or writing the storage file builds a parse tree several times the size of the tasks and
// frees it again; the allocator would keep those pages for the life of the program. Called after each
// such peak, this hands the free pages back, so the resident size of a long-running scheduler reflects
// the tasks it holds.
void ReturnFreedMemory();
