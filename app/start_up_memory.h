#pragma once

// Hands the memory that start-up used and freed (the fonts' edited copies, the pictures as
// decoded) back to the system, so the idle program keeps only what it uses.
void releaseStartUpMemory();
