#include "ui/program_folder.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

namespace {

// Whether this user may make files in the folder: a hidden probe, gone when it is closed. The
// folder's read-only attribute means nothing on Windows, so only trying tells.
bool canWriteIn(const QString& folder) {
    const QString probe = QDir::toNativeSeparators(
        folder + QStringLiteral("/.~mpprobe%1").arg(GetCurrentProcessId()));
    const HANDLE file = CreateFileW(
        reinterpret_cast<const wchar_t*>(probe.utf16()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

} // namespace

// The log stays beside the executable, where the user looks for it. Installed under Program
// Files, that folder is the administrator's: the log then goes to the user's own
// %LOCALAPPDATA%\morvane-patch\, which the run makes when it is missing, and a failure there
// names that folder.
QString programFolder() {
    const QString beside = QCoreApplication::applicationDirPath();
    if (canWriteIn(beside))
        return beside;
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty())
        return beside;
    return QDir::fromNativeSeparators(local) + QStringLiteral("/morvane-patch");
}
