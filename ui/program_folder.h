#pragma once

#include <QString>

// The program's own folder, which holds the patch log. On Linux that is the per-user data folder
// (~/.local/share/morvane-patch/), as the executable's folder is usually not writable there;
// on Windows it is the executable's folder. The patch run makes it when it is missing.
QString programFolder();
