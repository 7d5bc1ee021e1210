#include "ui/program_folder.h"

#include <QStandardPaths>

// The folder beside the executable is seldom writable on Linux (/usr/bin), so the log lives in
// the user's data folder, ~/.local/share/morvane-patch/. The run makes it when it first writes
// the log, so a folder that cannot be made fails that run with the reason in words.
QString programFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}
