#pragma once

#include <QString>

// The folder that holds the patch log. On Linux that is the per-user data folder
// (~/.local/share/morvane-patch/), as the executable's folder is usually not writable there;
// on Windows it is the executable's folder, or morvane-patch in the user's own %LOCALAPPDATA%
// where that one is no place for it (log_folder_windows.h). The patch run makes it when it is
// missing.
QString logFolder();
