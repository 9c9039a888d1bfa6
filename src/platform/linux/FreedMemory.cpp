// glibc keeps freed heap pages in its arenas; malloc_trim releases every whole free page of them.
#include "platform/FreedMemory.h"

#include <malloc.h>

void ReturnFreedMemory() {
    malloc_trim(0);
}
