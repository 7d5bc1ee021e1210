#include "ui/log_folder_windows.h"
#include "ui/log_folder.h"

#include <QCoreApplication>
#include <QDir>

#include <windows.h>

#include <aclapi.h>
#include <memory>
#include <string>

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

// Whether someone besides this user, the system and the administrators may make files in the
// folder (a portable copy unpacked where everyone may write, say). The log there could be
// swapped for a link by any of them, or read: it holds every patched script's text.
bool othersMayWrite(const QString& folder) {
    const std::wstring path = QDir::toNativeSeparators(folder).toStdWString();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    if (!dacl)
        return true; // no DACL at all lets everyone in

    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return true;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string user(size, '\0');
    const bool known = GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!known)
        return true;
    const PSID self = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;

    constexpr ACCESS_MASK makesFiles = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE |
                                       GENERIC_ALL | WRITE_DAC | WRITE_OWNER;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) ||
            header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const PSID who = &ace->SidStart;
        if (!(ace->Mask & makesFiles) || EqualSid(who, self) ||
            IsWellKnownSid(who, WinLocalSystemSid) ||
            IsWellKnownSid(who, WinBuiltinAdministratorsSid) ||
            IsWellKnownSid(who, WinCreatorOwnerSid) ||
            IsWellKnownSid(who, WinCreatorOwnerRightsSid))
            continue;
        return true;
    }
    return false;
}

} // namespace

// The log stays beside the executable, where the user looks for it. Installed under Program
// Files, that folder is the administrator's, and unpacked where everyone may write, it is no
// place for the text of every patched script: the log then goes to the user's own
// %LOCALAPPDATA%\morvane-patch\, which the run makes when it is missing, and a failure there
// names that folder.
QString logFolderFor(const QString& beside) {
    if (canWriteIn(beside) && !othersMayWrite(beside))
        return beside;
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty())
        return beside;
    return QDir::fromNativeSeparators(local) + QStringLiteral("/morvane-patch");
}

QString logFolder() {
    return logFolderFor(QCoreApplication::applicationDirPath());
}
