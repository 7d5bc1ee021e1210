// The system calls beneath os_file.h on Windows.
//
// Win32 has no calls relative to an open folder, so names are reached by the folder's path; the
// folder is held open without delete sharing, which keeps that path its own for the whole run.
// Every path goes to the system in its \\?\ form, so that a name is the file of that name: the
// plain form drops a trailing dot or blank and takes CON or NUL for a device.
// Locks are mandatory on Windows: a lock on the file's bytes would stop other programs reading
// the script, so every lock here is on one byte far past any file's end.

#include "engine/os_file_platform.h"

#include "engine/temporary_name.h"

#include <windows.h>

#include <aclapi.h>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <random>
#include <sddl.h>
#include <utility>

namespace engine::os {

namespace {

using seam::moment;
using seam::traced;

// Windows' own words for a code the table below does not know.
class WindowsCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int code) const override {
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
        if (length == 0)
            return "Windows error " + std::to_string(code);
        std::wstring wide(text, length);
        while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' ||
                                 wide.back() == L' ' || wide.back() == L'.'))
            wide.pop_back();
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
        std::string out(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                            size, nullptr, nullptr);
        return out;
    }
};

const WindowsCategory windowsCategory;

// The run and its messages speak in the C library's error numbers, as on every system, so that a
// full disk reads "No space left on device" wherever it happens.
std::error_code errorCode(DWORD error) {
    struct Mapping {
        DWORD windows;
        int posix;
    };
    static constexpr Mapping table[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT},
        {ERROR_PATH_NOT_FOUND, ENOENT},
        {ERROR_INVALID_DRIVE, ENOENT},
        {ERROR_BAD_NETPATH, ENOENT},
        {ERROR_BAD_NET_NAME, ENOENT},
        {ERROR_ACCESS_DENIED, EACCES},
        {ERROR_SHARING_VIOLATION, EBUSY},
        {ERROR_LOCK_VIOLATION, EWOULDBLOCK},
        {ERROR_FILE_EXISTS, EEXIST},
        {ERROR_ALREADY_EXISTS, EEXIST},
        {ERROR_DISK_FULL, ENOSPC},
        {ERROR_HANDLE_DISK_FULL, ENOSPC},
        {ERROR_WRITE_PROTECT, EROFS},
        {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
        {ERROR_OUTOFMEMORY, ENOMEM},
        {ERROR_INVALID_NAME, EINVAL},
        {ERROR_BAD_PATHNAME, EINVAL},
        {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
        {ERROR_DIRECTORY, ENOTDIR},
        {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
        {ERROR_NOT_READY, EIO},
        {ERROR_CRC, EIO},
        {ERROR_DEV_NOT_EXIST, ENODEV},
        {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
        {ERROR_NOT_SUPPORTED, ENOTSUP},
        {ERROR_INVALID_FUNCTION, ENOTSUP},
        {ERROR_CALL_NOT_IMPLEMENTED, ENOSYS},
        {ERROR_PRIVILEGE_NOT_HELD, EPERM},
        {ERROR_FILE_TOO_LARGE, EFBIG},
    };
    for (const auto& mapping : table)
        if (mapping.windows == error)
            return {mapping.posix, std::generic_category()};
    return {static_cast<int>(error), windowsCategory};
}

std::error_code lastError() {
    const DWORD error = GetLastError();
    return errorCode(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
}

std::error_code posixError(int error) {
    return {error, std::generic_category()};
}

HANDLE handleOf(const File& file) {
    return reinterpret_cast<HANDLE>(file.handle());
}

File fileOf(HANDLE handle) {
    return File(reinterpret_cast<std::intptr_t>(handle));
}

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path as the system takes it literally: absolute, with backslashes, "." and ".." worked
// out here, and the \\?\ prefix. The last name is kept exactly as given, since working out
// the full path by the system's own rules would drop its trailing dots and blanks.
std::wstring systemPath(const fs::path& path) {
    const std::wstring given = fs::path(path).make_preferred().native();
    if (given.starts_with(LR"(\\?\)") || given.starts_with(LR"(\\.\)"))
        return given;
    fs::path full = fs::path(given).lexically_normal();
    if (!full.is_absolute()) {
        std::error_code unknown;
        const fs::path parent = fs::absolute(full.parent_path(), unknown);
        if (unknown)
            return given;
        full = (parent / full.filename()).lexically_normal();
    }
    const std::wstring& native = full.native();
    if (native.starts_with(LR"(\\)"))
        return LR"(\\?\UNC\)" + native.substr(2);
    return LR"(\\?\)" + native;
}

// Every opening is of the name itself: a link (a reparse point) is opened as a link, and
// refused where a file is wanted, as O_NOFOLLOW refuses it.
std::error_code openPath(const fs::path& path, DWORD access, DWORD share, DWORD disposition,
                         DWORD flags, File& file, SECURITY_ATTRIBUTES* security = nullptr) {
    const HANDLE opened = CreateFileW(systemPath(path).c_str(), access, share, security,
                                      disposition, flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return lastError();
    file = fileOf(opened);
    return {};
}

std::int64_t nanosecondsSinceEpoch(const FILETIME& time) {
    constexpr std::int64_t from1601To1970 = 116'444'736'000'000'000; // in 100 ns
    const std::int64_t ticks =
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    return (ticks - from1601To1970) * 100;
}

std::error_code statusOf(HANDLE handle, FileStatus& result) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return lastError();
    result = FileStatus{};
    const DWORD type = GetFileType(handle);
    result.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Kind::link
                  : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)   ? Kind::folder
                  : type == FILE_TYPE_DISK                               ? Kind::regular
                                                                         : Kind::other;
    result.device = info.dwVolumeSerialNumber;
    result.identity = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    result.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    result.modified = nanosecondsSinceEpoch(info.ftLastWriteTime);
    // A program can set the write time back (a copy that keeps times does), but not the change
    // time. Devices and pipes have none: it stays zero there.
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        result.changed = nanosecondsSinceEpoch(
            FILETIME{basic.ChangeTime.LowPart, static_cast<DWORD>(basic.ChangeTime.HighPart)});
    result.links = info.nNumberOfLinks;
    return {};
}

std::error_code statusAtPath(const fs::path& path, FileStatus& result) {
    File file;
    if (const auto error = openPath(path, FILE_READ_ATTRIBUTES, shareAll, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, file)) {
        if (error == std::errc::no_such_file_or_directory) {
            result = FileStatus{};
            return {};
        }
        return error;
    }
    return statusOf(handleOf(file), result);
}

// Refuses a folder that is a link (a reparse point: a symbolic link or a junction). Wine opens
// a Unix link to a folder as the folder even when asked for the link, but marks it in the
// attributes it gives for the name.
std::error_code requireNoLink(const fs::path& folder) {
    FileStatus found;
    if (const auto error = statusAtPath(folder, found))
        return error;
    const DWORD attributes = GetFileAttributesW(systemPath(folder).c_str());
    if (found.kind == Kind::link ||
        (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        return posixError(ELOOP);
    return {};
}

// Hands over a file opened without following a link, unless it is one: then it is closed.
std::error_code keepUnlessALink(File& opened, File& file) {
    FileStatus found;
    if (const auto error = statusOf(handleOf(opened), found))
        return error;
    if (found.kind == Kind::link)
        return posixError(ELOOP);
    file = std::move(opened);
    return {};
}

// Opens a file at name for reading or writing; a folder is left to the caller's own check of
// its kind, a link is refused.
std::error_code openFileAt(const Folder& folder, const fs::path& name, DWORD access, File& file) {
    File opened;
    if (const auto error = openPath(folder.path / name, access, shareAll, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, opened))
        return error;
    return keepUnlessALink(opened, file);
}

bool cannotLock(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_CALL_NOT_IMPLEMENTED;
}

// The byte every lock is taken on: past the end of any script, so that the script's own bytes
// stay readable by every other program while a run holds it.
constexpr std::uint64_t lockedByte = std::uint64_t{1} << 62;

bool lockNow(HANDLE handle, DWORD& error) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(lockedByte);
    at.OffsetHigh = static_cast<DWORD>(lockedByte >> 32);
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
    error = GetLastError();
    return false;
}

// A refusal of this process (not its to set) makes the copy incomplete; other failures fail it.
std::error_code refusedOrFailed(DWORD error, bool& complete) {
    if (cannotLock(error))
        return {};
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD ||
        error == ERROR_INVALID_OWNER) {
        complete = false;
        return {};
    }
    return errorCode(error);
}

std::error_code setAttributes(HANDLE handle, DWORD attributes) {
    FILE_BASIC_INFO basic{}; // times of zero are left as they are
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic))
        return lastError();
    return {};
}

// What a file's attributes say of it that a copy of its text should say too.
constexpr DWORD keptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

std::wstring wide(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

// Who may open a new temporary file or a new log: this user alone, from the moment it exists, so
// that no one else reads the text while it is written. A temporary file takes the script's own
// DACL once it is complete; the log, which keeps every script's text, keeps this one.
class OwnerOnly {
public:
    OwnerOnly() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::string buffer(size, '\0');
        wchar_t* sid = nullptr;
        if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
            // A protected DACL: nothing is inherited from the folder.
            const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
            ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                 &descriptor_, nullptr);
            LocalFree(sid);
        }
        CloseHandle(token);
    }
    OwnerOnly(const OwnerOnly&) = delete;
    OwnerOnly& operator=(const OwnerOnly&) = delete;
    ~OwnerOnly() { LocalFree(descriptor_); }

    // Null, for the folder's own inheritance, where the user's SID could not be had.
    SECURITY_ATTRIBUTES* attributes() {
        if (!descriptor_)
            return nullptr;
        attributes_ = {sizeof attributes_, descriptor_, FALSE};
        return &attributes_;
    }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// Whether path is a folder and no link by its attributes alone, which need no right to open it.
bool isPlainFolder(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Each missing folder is made, and each one made is checked to be a folder and no link, as
// someone could put a link in the place of one just made.
std::error_code makeFolders(const fs::path& folder) {
    const fs::path full = fs::path(folder).make_preferred().lexically_normal();
    fs::path reached;
    for (const fs::path& part : full) {
        reached /= part;
        if (reached == full.root_path() || reached == full.root_name())
            continue;
        FileStatus there;
        if (const auto error = statusAtPath(reached, there)) {
            // A folder above the log's that this user may pass through but not open (Wine opens
            // a Unix folder only with the right to list it: a clone under /root, say) is still
            // there to pass through.
            if (reached != full && isPlainFolder(reached))
                continue;
            return error;
        }
        if (there.kind == Kind::folder || (there.kind == Kind::link && reached != full))
            continue;
        if (there.kind != Kind::missing)
            return posixError(there.kind == Kind::link ? ELOOP : ENOTDIR);
        if (!CreateDirectoryW(systemPath(reached).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return lastError();
        if (const auto error = requireNoLink(reached))
            return error;
    }
    return {};
}

// The access a temporary file gives all of the other programs once it is complete.
constexpr DWORD temporaryAccess = GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC;

// The last looks before a temporary file is put in place, as close to it as they can be: the
// temporary name must still hold this file, and the target be the version expected. there is
// what is at the target.
std::error_code lastLooks(const fs::path& temporary, const fs::path& target, const FileStatus& own,
                          const FileStatus* expected, FileStatus& there,
                          TemporaryFile::Obstacle& obstacle) {
    FileStatus named;
    if (const auto error = statusAtPath(temporary, named))
        return error;
    if (!named.sameFile(own))
        obstacle = TemporaryFile::Obstacle::temporaryTaken;
    else if (const auto error = statusAtPath(target, there))
        return error;
    else if (expected && !there.sameVersion(*expected))
        obstacle = TemporaryFile::Obstacle::targetChanged;
    return {};
}

// The attributes the file has once in place: a script's own (keepTargets), or for anything else,
// a backup above all, the ones it was given, the temporary name's hidden mark taken off.
std::error_code attributesInPlace(const File& file, const fs::path& target, bool keepTargets,
                                  DWORD& attributes) {
    if (keepTargets) {
        attributes = GetFileAttributesW(systemPath(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return lastError();
    } else {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(handleOf(file), &info))
            return lastError();
        attributes = info.dwFileAttributes & ~FILE_ATTRIBUTE_HIDDEN;
    }
    attributes &= keptAttributes;
    return {};
}

// Renames the closed temporary file over target, a link at target replaced as a name and never
// followed. A script (keepTargets) keeps its own ACL, attributes and creation time through
// ReplaceFileW.
bool putInPlace(const fs::path& temporary, const fs::path& target, bool keepTargets) {
    const auto moveIntoPlace = [&] {
        return MoveFileExW(systemPath(temporary).c_str(), systemPath(target).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    };
    if (!keepTargets)
        return moveIntoPlace();
    if (ReplaceFileW(systemPath(target).c_str(), systemPath(temporary).c_str(), nullptr, 0, nullptr,
                     nullptr))
        return true;
    const DWORD error = GetLastError();
    // Without a backup name, this failure has taken the target away and left the new file
    // under its temporary name: it is moved into place as a new file is.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        FileStatus left;
        if (!statusAtPath(target, left) && left.kind == Kind::missing)
            return moveIntoPlace();
    }
    SetLastError(error);
    return false;
}

// The file under its new name, open and locked again, as the caller knew it; obstacle tells
// when what is there is no longer it.
std::error_code takeBackInPlace(const fs::path& target, const fs::path& name, const FileStatus& own,
                                DWORD attributes, File& file, TemporaryFile::Obstacle& obstacle) {
    File reopened;
    if (const auto error = openPath(target, GENERIC_READ | FILE_WRITE_ATTRIBUTES, shareAll,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, reopened))
        return error;
    FileStatus now;
    if (const auto error = statusOf(handleOf(reopened), now))
        return error;
    if (!now.sameFile(own)) {
        obstacle = TemporaryFile::Obstacle::temporaryTaken;
        return {};
    }
    traced("rename", reopened.handle(), name);
    if (const auto error = setAttributes(handleOf(reopened), attributes))
        return error;
    DWORD lockError = ERROR_SUCCESS;
    if (!lockNow(handleOf(reopened), lockError) && !cannotLock(lockError))
        return errorCode(lockError);
    file = std::move(reopened);
    return {};
}

} // namespace

namespace platform {

std::error_code close(std::intptr_t handle) {
    if (!CloseHandle(reinterpret_cast<HANDLE>(handle)))
        return lastError();
    return {};
}

std::error_code resolve(const fs::path& path, fs::path& result) {
    File file;
    if (const auto error = openPath(path, FILE_READ_ATTRIBUTES, shareAll, OPEN_EXISTING, 0, file))
        return error;
    // Room for the longest path Windows has.
    std::wstring found(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(
        handleOf(file), found.data(), static_cast<DWORD>(found.size()), FILE_NAME_NORMALIZED);
    if (length == 0 && GetLastError() == ERROR_MORE_DATA) {
        // Wine names a file by its handle only up to 260 characters. Past that the path is taken
        // as given: links, which only administrators make on Windows, are not followed there.
        std::error_code error;
        result = fs::absolute(path, error).lexically_normal();
        return error;
    }
    if (length == 0 || length >= found.size())
        return lastError();
    found.resize(length);
    // The long-path prefix is the system's, not the user's: drive paths are given back as such.
    if (found.starts_with(LR"(\\?\UNC\)"))
        found = LR"(\\)" + found.substr(8);
    else if (found.starts_with(LR"(\\?\)") && found.size() >= 6 && found[5] == L':')
        found = found.substr(4);
    result = found;
    // Wine gives a name that ends in dots or blanks without them; the file is the one named.
    const std::wstring given = path.filename().native();
    const std::wstring named = result.filename().native();
    if (given.size() > named.size() && given.starts_with(named) &&
        given.find_first_not_of(L". ", named.size()) == std::wstring::npos)
        result.replace_filename(given);
    return {};
}

std::error_code openFolder(const fs::path& path, Folder& folder) {
    File opened;
    // No delete sharing: while the run holds it, the folder keeps its path.
    if (const auto error = openPath(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0, opened))
        return error;
    FileStatus found;
    if (const auto error = statusOf(handleOf(opened), found))
        return error;
    if (found.kind != Kind::folder)
        return posixError(ENOTDIR);
    folder.file = std::move(opened);
    folder.path = path;
    return {};
}

std::error_code openToRead(const Folder& folder, const fs::path& name, File& file) {
    return openFileAt(folder, name, GENERIC_READ, file);
}

std::error_code openToRewrite(const Folder& folder, const fs::path& name, File& file) {
    return openFileAt(folder, name, GENERIC_READ | GENERIC_WRITE, file);
}

// Made where missing and opened by its path. Whoever may write where the log is kept could put
// a link (a reparse point) in the place of its folder or of the log, to a folder or file of an
// administrator's, who would then append a script's text to it: neither is opened through one.
// The opening is an operation of its own for the fault seam, after the making, as it has always
// been here.
std::error_code openOwnFolder(const fs::path& path, Folder& folder) {
    if (const auto error = makeFolders(path))
        return error;
    if (const auto error = requireNoLink(path))
        return error;
    return os::openFolder(path, folder);
}

std::error_code openLog(const Folder& folder, const fs::path& name, File& file) {
    File opened;
    OwnerOnly ownerOnly;
    // Appending only: each write lands at the end, whoever else appends.
    if (const auto error =
            openPath(folder.path / name,
                     FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT,
                     opened, ownerOnly.attributes()))
        return error;
    return keepUnlessALink(opened, file);
}

std::error_code status(const File& file, FileStatus& result) {
    return statusOf(handleOf(file), result);
}

std::error_code statusAt(const Folder& folder, const fs::path& name, FileStatus& result) {
    return statusAtPath(folder.path / name, result);
}

// The owner and mode of FileStatus keep their defaults here: no one else, nothing to change, so
// no run asks for this.
std::error_code makePrivate(const File&) {
    return {};
}

// A file system that cannot lock has nothing to wait for, so no run asks for a lock file here.
LockTry tryLock(const File& file, std::error_code& failure) {
    DWORD error = ERROR_SUCCESS;
    if (lockNow(handleOf(file), error) || cannotLock(error))
        return LockTry::taken;
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
        return LockTry::busy;
    failure = errorCode(error);
    return LockTry::failed;
}

std::error_code readSome(const File& file, char* data, std::size_t size, std::size_t& got) {
    DWORD done = 0;
    if (!ReadFile(handleOf(file), data,
                  static_cast<DWORD>(std::min<std::size_t>(size, DWORD{1} << 30)), &done, nullptr))
        return lastError();
    got = done;
    return {};
}

std::error_code writeSome(const File& file, std::string_view bytes, std::size_t& done) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), DWORD{1} << 30));
    DWORD written = 0;
    if (!WriteFile(handleOf(file), bytes.data(), wanted, &written, nullptr))
        return lastError();
    done = written;
    return {};
}

std::error_code endHere(const File& file) {
    if (!SetEndOfFile(handleOf(file)))
        return lastError();
    return {};
}

std::error_code sync(const File& file) {
    if (!FlushFileBuffers(handleOf(file)))
        return lastError();
    return {};
}

// Windows writes a folder's entries through with the renaming (MOVEFILE_WRITE_THROUGH).
std::error_code syncFolder(const Folder&, bool& synced) {
    synced = false;
    return {};
}

// Windows keeps who may do what in the file's DACL, and what it is in its attributes: both are
// given to the new file. The owner stays this user's, as it would with any editor's save.
std::error_code copyAccess(const File& from, const File& to, bool& complete) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD got = GetSecurityInfo(handleOf(from), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, &dacl, nullptr, &descriptor);
    const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    if (got != ERROR_SUCCESS) {
        if (const auto error = refusedOrFailed(got, complete))
            return error;
    } else {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        // A DACL the script inherits from its folder is inherited by the new file the same way;
        // one set on the script itself is copied as it is.
        const SECURITY_INFORMATION which =
            DACL_SECURITY_INFORMATION |
            ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                           : UNPROTECTED_DACL_SECURITY_INFORMATION);
        const DWORD set =
            SetSecurityInfo(handleOf(to), SE_FILE_OBJECT, which, nullptr, nullptr, dacl, nullptr);
        if (set != ERROR_SUCCESS) {
            if (const auto error = refusedOrFailed(set, complete))
                return error;
        }
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handleOf(from), &info))
        return lastError();
    // Read-only last of all, once the text is in: it is set on the handle, which stays writable.
    // The temporary name stays hidden until it is given up.
    const DWORD attributes =
        (info.dwFileAttributes & keptAttributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_HIDDEN;
    return setAttributes(handleOf(to), attributes);
}

std::error_code makeTemporary(const Folder& folder, std::size_t nameLength, std::string& name,
                              File& file, FileStatus& own) {
    std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(nameLength, random());
        File made;
        // Hidden, so that no file list shows it; this user's alone, and shared with no one,
        // while it is written.
        OwnerOnly ownerOnly;
        auto error = openPath(folder.path / wide(name), temporaryAccess, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, made, ownerOnly.attributes());
        if (error == std::errc::file_exists)
            continue;
        if (error)
            return error;
        DWORD lockError = ERROR_SUCCESS;
        if (!lockNow(handleOf(made), lockError) && !cannotLock(lockError)) {
            FILE_DISPOSITION_INFO gone{TRUE};
            SetFileInformationByHandle(handleOf(made), FileDispositionInfo, &gone, sizeof gone);
            return errorCode(lockError);
        }
        if ((error = statusOf(handleOf(made), own)))
            return error;
        file = std::move(made);
        return {};
    }
    return posixError(EEXIST);
}

void removeTemporary(const Folder& folder, const std::string& name, File& file,
                     const FileStatus& own, bool placed) noexcept {
    if (placed || name.empty())
        return;
    // Removed through its own handle where it still has one: whatever someone else put at its
    // name is left to them.
    FILE_DISPOSITION_INFO gone{TRUE};
    if (file && SetFileInformationByHandle(handleOf(file), FileDispositionInfo, &gone, sizeof gone))
        return;
    file = File();
    if (own.kind != Kind::missing)
        removeIfSame(folder, wide(name), own);
}

std::error_code placeTemporary(const Folder& folder, const std::string& name, File& file,
                               const FileStatus& own, const fs::path& target,
                               const FileStatus* expected, TemporaryFile::Obstacle& obstacle,
                               bool& placed) {
    const fs::path temporary = folder.path / wide(name);
    const fs::path targetPath = folder.path / target;
    FileStatus there;
    if (const auto error = lastLooks(temporary, targetPath, own, expected, there, obstacle))
        return error;
    if (obstacle != TemporaryFile::Obstacle::none)
        return {};
    const bool keepTargets = expected && there.kind == Kind::regular;
    DWORD attributes = 0;
    if (const auto error = attributesInPlace(file, targetPath, keepTargets, attributes))
        return error;
    // Both ways of renaming open the file themselves, sharing it with no one, so this run's
    // handle, and the lock it holds, go first. Until the file is opened and locked again under
    // its new name, a second run could take it: a rename through this handle would keep the
    // lock, but it cannot replace a file that is open, and the run holds the script open, and
    // locked, until it is replaced. What a second run takes in that moment is the patched
    // script; the log and the backup already hold the text as read, and this run then says
    // that another run took the script.
    file = File();
    if (!putInPlace(temporary, targetPath, keepTargets)) {
        const auto error = lastError();
        // Opened again so that the temporary file is still this object's to remove.
        openPath(temporary, temporaryAccess, 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, file);
        return error;
    }
    placed = true;
    moment();
    return takeBackInPlace(targetPath, target, own, attributes, file, obstacle);
}

// lock() here takes a file system that cannot lock for one with nothing to wait for, so no run
// asks for a lock file on Windows.
std::error_code takeLockFile(const Folder&, const fs::path&, std::string&, FileStatus&, bool&) {
    return posixError(ENOTSUP);
}

void removeIfSame(const Folder& folder, const fs::path& name, const FileStatus& own) noexcept {
    const fs::path path = folder.path / name;
    FileStatus named;
    if (!statusAtPath(path, named) && named.sameFile(own))
        DeleteFileW(systemPath(path).c_str());
}

// Notes are hidden files, made as the temporary files are: the user's alone from the moment
// they exist, and every name opened as itself, a link refused.
std::error_code createNote(const Folder& folder, const fs::path& name, File& file) {
    OwnerOnly ownerOnly;
    return openPath(folder.path / name, GENERIC_WRITE, 0, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, file,
                    ownerOnly.attributes());
}

std::error_code openNote(const Folder& folder, const fs::path& name, File& file) {
    return openPath(folder.path / name, GENERIC_READ, shareAll, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, file);
}

std::error_code emptyNote(const File& file) {
    if (!SetEndOfFile(handleOf(file)))
        return lastError();
    return {};
}

std::error_code removeName(const Folder& folder, const fs::path& name) {
    if (!DeleteFileW(systemPath(folder.path / name).c_str()))
        return lastError();
    return {};
}

} // namespace platform

// No signal ends a Windows program part way through a write the way SIGTERM does: closing the
// window waits for the run, and a killed process is killed whatever it asks for.
SignalsDeferred::SignalsDeferred() noexcept = default;
SignalsDeferred::~SignalsDeferred() = default;

void removeLeftovers(const Folder& folder) noexcept {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(systemPath(folder.path / L".*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring_view name = found.cFileName;
        if (!std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; }))
            continue;
        if (!isTemporaryName(std::string(name.begin(), name.end())) ||
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            continue;
        // Opened shared with no one: a live run holds its file open, so only a dead run's opens.
        const HANDLE leftover = CreateFileW(
            systemPath(folder.path / found.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (leftover != INVALID_HANDLE_VALUE)
            CloseHandle(leftover);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void adviseLargePages(void*, std::size_t) noexcept {}

std::size_t memoryForAScript() noexcept {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory))
        return std::size_t{1} << 30;
    return static_cast<std::size_t>(memory.ullTotalPhys / 4);
}

std::size_t maxNameLength(const fs::path& folder) noexcept {
    const fs::path root = folder.root_path();
    DWORD longest = 0;
    if (!root.empty() &&
        GetVolumeInformationW((root.native() + L"\\").c_str(), nullptr, 0, nullptr, &longest,
                              nullptr, nullptr, 0) &&
        longest > 0)
        return longest;
    return 255;
}

std::size_t maxNameLength(const Folder& folder) noexcept {
    return maxNameLength(folder.path);
}

} // namespace engine::os
