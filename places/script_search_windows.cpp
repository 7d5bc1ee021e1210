// On Windows the chat client keeps a user's scripts in %APPDATA%\mIRC, and older versions beside
// the program in Program Files.

#include "places/script_search.h"

#include <QDir>

namespace places {

QStringList scriptFolders() {
    QStringList folders;
    for (const char* variable : {"APPDATA", "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString base = qEnvironmentVariable(variable);
        if (!base.isEmpty())
            folders << QDir::fromNativeSeparators(base) + QStringLiteral("/mIRC");
    }
    // A 64-bit program sees the same folder as ProgramFiles and ProgramW6432.
    folders.removeDuplicates();
    return folders;
}

} // namespace places
