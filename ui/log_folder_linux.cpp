#include "ui/log_folder.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether path, or the nearest folder above it that exists, belongs to another user than the
// one this process acts as.
bool leadsToAnotherUsersFolder(const QString& path) {
    if (path.isEmpty())
        return false;
    std::filesystem::path at(QFile::encodeName(path).toStdString());
    for (;;) {
        struct stat found {};
        if (::stat(at.c_str(), &found) == 0)
            return found.st_uid != ::geteuid();
        if (!at.has_parent_path() || at.parent_path() == at)
            return false;
        at = at.parent_path();
    }
}

} // namespace

// The folder beside the executable is seldom writable on Linux (/usr/bin), so the log lives in
// the user's data folder, ~/.local/share/morvane-patch/. The run makes it when it first writes
// the log, so a folder that cannot be made fails that run with the reason in words.
//
// sudo -E, su -m and su without a dash keep the user's HOME or XDG_DATA_HOME for root: root's
// log would then lie in a folder the user controls. Where they lead to another user's folder,
// the log is kept under the effective user's own home from the password database, as ssh keeps
// its own files.
QString logFolder() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!leadsToAnotherUsersFolder(QFile::decodeName(qgetenv("HOME"))) &&
        !leadsToAnotherUsersFolder(data))
        return data;
    const passwd* user = ::getpwuid(::geteuid());
    if (!user || !user->pw_dir || *user->pw_dir == '\0')
        return data;
    return QFile::decodeName(user->pw_dir) + QStringLiteral("/.local/share/") +
           QCoreApplication::applicationName();
}
