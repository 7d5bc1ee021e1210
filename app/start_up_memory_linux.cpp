#include "app/start_up_memory.h"

#include <malloc.h>

// glibc keeps freed memory for later allocations unless asked; start-up frees far more than the
// idle program will ever ask for again.
void releaseStartUpMemory() {
    malloc_trim(0);
}
