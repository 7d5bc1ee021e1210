#pragma once

#include <QString>

// Where the log goes for a program kept in executableFolder: that folder, unless this user may
// not write there, or others may (a copy unpacked where everyone may write); then the user's own
// %LOCALAPPDATA%\morvane-patch\.
QString logFolderFor(const QString& executableFolder);
