#include "app/start_up_memory.h"

// The Windows heap gives large freed blocks back by itself.
void releaseStartUpMemory() {}
