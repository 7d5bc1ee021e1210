#pragma once

#include <QString>
#include <QStringList>

namespace places {

// The folders the chat client keeps its scripts in on this machine, read from where it installs
// and where it keeps a user's files, never from a whole home or drive:
// - on Linux, in each Wine prefix the drive list offers, drive_c/users/*/AppData/Roaming/mIRC and
//   drive_c/Program Files*/mIRC, then ~/mIRC;
// - on Windows, %APPDATA%\mIRC and the mIRC folder of each Program Files folder.
// A folder named here need not exist.
QStringList scriptFolders();

// The most recently modified morvane.mrc (its name matched without regard to case, as Windows
// does) that is a regular file in one of folders or below it, at most four folders down; an empty
// text when there is none. Links below the folders are not followed, since a home can hold links
// back up to itself; a folder that cannot be read is passed over.
QString newestScript(const QStringList& folders);

} // namespace places
