#pragma once

// Picks the font engine before the application starts, so that the program's built-in Tahoma
// is drawn by the same engine on every system.
void chooseFontEngine();
