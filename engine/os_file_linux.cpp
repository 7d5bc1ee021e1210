// The system calls beneath os_file.h on POSIX systems (Linux first).

#include "engine/os_file_platform.h"
#include "engine/os_signals_linux.h"
#include "engine/temporary_name.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace engine::os {

namespace {

using seam::moment;

std::error_code errorCode(int error) {
    return {error, std::generic_category()};
}

std::error_code lastError() {
    return errorCode(errno != 0 ? errno : EIO);
}

int fd(const File& file) {
    return static_cast<int>(file.handle());
}

// How file systems without owners, permissions or extended attributes (vfat, some FUSE
// drivers) answer the calls that set them: there is nothing to keep there.
bool unsupported(int error) {
    return error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS;
}

// How a file system that cannot lock at all answers (NFS without its lock service, some FUSE).
bool cannotLock(int error) {
    return error == ENOLCK || error == EINVAL || unsupported(error);
}

// An exclusive lock that does not wait: 0 when it is taken, or why not.
int lockNow(int file) {
    if (const int refused = seam::refusedLock())
        return refused;
    return ::flock(file, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
}

FileStatus statusOf(const struct stat& file) {
    FileStatus result;
    result.kind = S_ISREG(file.st_mode)   ? Kind::regular
                  : S_ISDIR(file.st_mode) ? Kind::folder
                  : S_ISLNK(file.st_mode) ? Kind::link
                                          : Kind::other;
    result.device = static_cast<std::uint64_t>(file.st_dev);
    result.identity = static_cast<std::uint64_t>(file.st_ino);
    result.size = static_cast<std::uint64_t>(file.st_size);
    result.modified =
        static_cast<std::int64_t>(file.st_mtim.tv_sec) * 1'000'000'000 + file.st_mtim.tv_nsec;
    result.changed =
        static_cast<std::int64_t>(file.st_ctim.tv_sec) * 1'000'000'000 + file.st_ctim.tv_nsec;
    result.links = static_cast<std::uint64_t>(file.st_nlink);
    result.ownedByUser = file.st_uid == ::geteuid();
    result.othersMayWrite = (file.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    result.othersMayRead = (file.st_mode & (S_IRGRP | S_IXGRP | S_IROTH | S_IXOTH)) != 0;
    return result;
}

bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// What the run makes is this user's alone from the moment it exists: a temporary file gets the
// script's access only once it holds the whole text, and the log keeps every text for good.
std::error_code openAt(int folder, const char* name, int flags, File& file) {
    const int opened = ::openat(folder, name, flags | O_NOCTTY | O_CLOEXEC, 0600);
    if (opened < 0)
        return lastError();
    file = File(opened);
    moment();
    return {};
}

// Extended attributes: the ACL is one of them ("system.posix_acl_access"), so copying them
// all carries it over with no ACL library.
std::error_code attributeNames(int file, std::vector<std::string>& names) {
    names.clear();
    std::vector<char> list;
    for (;;) {
        const ssize_t size = ::flistxattr(file, nullptr, 0);
        if (size < 0)
            return unsupported(errno) ? std::error_code{} : lastError();
        list.resize(static_cast<std::size_t>(size));
        const ssize_t got = size == 0 ? 0 : ::flistxattr(file, list.data(), list.size());
        if (got >= 0) {
            list.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) // the list grew in between
            return lastError();
    }
    for (auto at = list.begin(); at != list.end();) {
        const auto end = std::find(at, list.end(), '\0');
        names.emplace_back(at, end);
        at = end == list.end() ? end : end + 1;
    }
    return {};
}

// ENODATA when the attribute went away in between.
std::error_code attributeValue(int file, const std::string& name, std::string& value) {
    for (;;) {
        const ssize_t size = ::fgetxattr(file, name.c_str(), nullptr, 0);
        if (size < 0)
            return lastError();
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::fgetxattr(file, name.c_str(), value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return {};
        }
        if (errno != ERANGE)
            return lastError();
    }
}

// A refusal of this process (not its to set) makes the copy incomplete; other failures fail it.
std::error_code refusedOrFailed(int error, bool& complete) {
    if (unsupported(error))
        return {};
    if (error == EPERM || error == EACCES || error == EINVAL) {
        complete = false;
        return {};
    }
    return errorCode(error);
}

std::error_code copyAttributes(int from, int to, bool& complete) {
    std::vector<std::string> wanted;
    std::vector<std::string> present;
    if (const auto error = attributeNames(from, wanted))
        return error;
    if (const auto error = attributeNames(to, present))
        return error;
    // What the new file took from its folder, a default ACL above all, and the old file does
    // not have would leave the new one more open than the old.
    for (const auto& name : present) {
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end())
            continue;
        if (::fremovexattr(to, name.c_str()) != 0 && errno != ENODATA) {
            if (const auto error = refusedOrFailed(errno, complete))
                return error;
        }
    }
    std::string value;
    for (const auto& name : wanted) {
        if (const auto error = attributeValue(from, name, value)) {
            if (error.value() == ENODATA)
                continue;
            return error;
        }
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) {
            if (const auto error = refusedOrFailed(errno, complete))
                return error;
        }
    }
    return {};
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// A leftover is removed only when it is this user's and no run holds its lock: a live run takes
// it before anything else, so one that can be taken belongs to a run that has ended. Another
// user's, in a folder shared with them, is left to that user's runs.
void removeIfAbandoned(int folder, const char* name) {
    struct stat named {};
    if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode) ||
        named.st_uid != ::geteuid())
        return;
    File file;
    if (openAt(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, file))
        return;
    struct stat opened {};
    if (::fstat(fd(file), &opened) != 0 || !sameFile(opened, named))
        return;
    if (lockNow(fd(file)) == 0) {
        moment();
        ::unlinkat(folder, name, 0);
        moment();
    }
}

// The folder at path, made where it is missing with the levels above it. A level that exists is
// followed as the system would unless it is the last and must not be; a level made here, or the
// last, is opened without following a link, which it then is (ELOOP).
std::error_code openOrMake(const fs::path& path, bool last, File& folder) {
    if (!last) {
        const auto error = openAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY, folder);
        if (error != std::errc::no_such_file_or_directory)
            return error;
    }
    const fs::path name = path.filename();
    if (name.empty() || name == "." || name == "..") // a root or a path that names no level
        return openAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY, folder);
    File above;
    if (const auto error =
            openOrMake(path.has_parent_path() ? path.parent_path() : ".", false, above))
        return error;
    if (::mkdirat(fd(above), name.c_str(), last ? 0700 : 0777) != 0 && errno != EEXIST)
        return lastError();
    moment();
    const auto error = openAt(fd(above), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW, folder);
    struct stat found {};
    if (error == std::errc::not_a_directory &&
        ::fstatat(fd(above), name.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(found.st_mode))
        return errorCode(ELOOP);
    return error;
}

std::string hostName() {
    std::array<char, 256> host{};
    ::gethostname(host.data(), host.size() - 1);
    return host.data();
}

// Who a lock file names, and whether that process is gone: only a process of this host can be
// looked for, and one that cannot be told (another user's) is taken to be there.
bool holderIsGone(std::string_view text, std::string& holder) {
    const std::size_t space = text.find(' ');
    const std::size_t end = text.find('\n');
    if (space == std::string_view::npos || end == std::string_view::npos || end < space ||
        space == 0 || space > 9 ||
        text.substr(0, space).find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    const std::string pid(text.substr(0, space));
    const std::string host(text.substr(space + 1, end - space - 1));
    holder = "process " + pid + " on " + host;
    const long id = std::stol(pid);
    return id > 0 && host == hostName() && ::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

} // namespace

namespace platform {

// Linux closes the file even when close is interrupted, so EINTR is no failure.
std::error_code close(std::intptr_t handle) {
    if (::close(static_cast<int>(handle)) != 0 && errno != EINTR)
        return lastError();
    return {};
}

std::error_code resolve(const fs::path& path, fs::path& result) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved)
        return lastError();
    result = resolved.get();
    return {};
}

std::error_code openFolder(const fs::path& path, Folder& folder) {
    folder.path = path;
    return openAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY, folder.file);
}

std::error_code openToRead(const Folder& folder, const fs::path& name, File& file) {
    return openAt(fd(folder.file), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, file);
}

std::error_code openToRewrite(const Folder& folder, const fs::path& name, File& file) {
    return openAt(fd(folder.file), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK, file);
}

std::error_code openOwnFolder(const fs::path& path, Folder& folder) {
    fs::path normal = path.lexically_normal();
    if (normal.filename().empty() && normal.has_parent_path())
        normal = normal.parent_path(); // a trailing separator
    folder.path = path;
    return openOrMake(normal, true, folder.file);
}

std::error_code openLog(const Folder& folder, const fs::path& name, File& file) {
    return openAt(fd(folder.file), name.c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK, file);
}

std::error_code status(const File& file, FileStatus& result) {
    struct stat found {};
    if (::fstat(fd(file), &found) != 0)
        return lastError();
    result = statusOf(found);
    return {};
}

std::error_code makePrivate(const File& file) {
    struct stat found {};
    if (::fstat(fd(file), &found) != 0 || ::fchmod(fd(file), found.st_mode & 0700) != 0)
        return lastError();
    return {};
}

std::error_code statusAt(const Folder& folder, const fs::path& name, FileStatus& result) {
    struct stat found {};
    if (::fstatat(fd(folder.file), name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return lastError();
        result = FileStatus{};
        return {};
    }
    result = statusOf(found);
    return {};
}

LockTry tryLock(const File& file, std::error_code& error) {
    for (;;) {
        const int refused = lockNow(fd(file));
        if (refused == 0)
            return LockTry::taken;
        if (refused == EINTR)
            continue;
        if (refused == EWOULDBLOCK)
            return LockTry::busy;
        error = errorCode(cannotLock(refused) ? ENOLCK : refused);
        return LockTry::failed;
    }
}

std::error_code readSome(const File& file, char* data, std::size_t size, std::size_t& got) {
    for (;;) {
        const ssize_t done = ::read(fd(file), data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return lastError();
        got = static_cast<std::size_t>(done);
        return {};
    }
}

std::error_code writeSome(const File& file, std::string_view bytes, std::size_t& done) {
    for (;;) {
        const ssize_t written = ::write(fd(file), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return lastError();
        done = static_cast<std::size_t>(written);
        return {};
    }
}

std::error_code endHere(const File& file) {
    const off_t at = ::lseek(fd(file), 0, SEEK_CUR);
    if (at < 0 || ::ftruncate(fd(file), at) != 0)
        return lastError();
    return {};
}

std::error_code sync(const File& file) {
    if (::fsync(fd(file)) != 0)
        return lastError();
    return {};
}

std::error_code syncFolder(const Folder& folder, bool& synced) {
    synced = ::fsync(fd(folder.file)) == 0;
    return synced ? std::error_code{} : lastError();
}

std::error_code copyAccess(const File& from, const File& to, bool& complete) {
    struct stat wanted {};
    struct stat present {};
    if (::fstat(fd(from), &wanted) != 0 || ::fstat(fd(to), &present) != 0)
        return lastError();
    // The owner first: giving a file away clears its set-id bits, which the mode then restores.
    if ((present.st_uid != wanted.st_uid || present.st_gid != wanted.st_gid) &&
        ::fchown(fd(to), wanted.st_uid, wanted.st_gid) != 0) {
        if (const auto error = refusedOrFailed(errno, complete))
            return error;
    }
    moment();
    if (const auto error = copyAttributes(fd(from), fd(to), complete))
        return error;
    moment();
    // An ACL sets the mode with it, so the mode is looked at again.
    if (::fstat(fd(to), &present) != 0)
        return lastError();
    const mode_t mode = wanted.st_mode & 07777;
    if ((present.st_mode & 07777) != mode && ::fchmod(fd(to), mode) != 0) {
        if (const auto error = refusedOrFailed(errno, complete))
            return error;
    }
    moment();
    return {};
}

// While the file exists, SIGTERM, SIGINT and SIGHUP remove it before they end the program.
std::error_code makeTemporary(const Folder& folder, std::size_t nameLength, std::string& name,
                              File& file, FileStatus& own) {
    signals::startHandling();
    std::mt19937_64 random{std::random_device{}()};
    const int at = fd(folder.file);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(nameLength, random());
        signals::armRemoval(at, name.c_str());
        // A signal waits from just before the file exists until its removal is armed, and is
        // then handled by removing it: the signal handler cannot tell whether the file was made.
        signals::setMode(signals::deferring);
        File made;
        const auto error = openAt(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, made);
        if (error) {
            signals::setMode(signals::ending);
            if (error == std::errc::file_exists)
                continue;
            return error;
        }
        // Locked before anything else, so that no other run takes it for a dead run's. One that
        // did so first is removing it: this run leaves it to that one and takes another name.
        const int locked = lockNow(fd(made));
        moment();
        struct stat opened {};
        struct stat named {};
        const bool stillOurs = ::fstat(fd(made), &opened) == 0 &&
                               ::fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                               sameFile(opened, named);
        if ((locked == 0 || cannotLock(locked)) && stillOurs) {
            file = std::move(made);
            own = statusOf(opened);
            signals::setMode(signals::removing);
            return {};
        }
        signals::setMode(signals::ending);
    }
    return errorCode(EEXIST);
}

void removeTemporary(const Folder& folder, const std::string& name, File& file, const FileStatus&,
                     bool placed) noexcept {
    struct stat own {};
    struct stat named {};
    // Nothing is removed by name once this file is gone from it: a signal waits until the end.
    signals::setMode(signals::deferring);
    // What someone else put at the name is left to them.
    if (file && !placed && ::fstat(fd(file), &own) == 0 &&
        ::fstatat(fd(folder.file), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(named, own)) {
        ::unlinkat(fd(folder.file), name.c_str(), 0);
        moment();
    }
    file = File();
    signals::stopHandling();
}

std::error_code placeTemporary(const Folder& folder, const std::string& name, File& file,
                               const FileStatus&, const fs::path& target,
                               const FileStatus* expected, TemporaryFile::Obstacle& obstacle,
                               bool& placed) {
    using Obstacle = TemporaryFile::Obstacle;
    const int at = fd(folder.file);
    // The last looks, as close to the renaming as they can be: the renaming moves whatever
    // the temporary name holds.
    struct stat own {};
    struct stat named {};
    if (::fstat(fd(file), &own) != 0)
        return lastError();
    if (::fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(named, own))
        obstacle = Obstacle::temporaryTaken;
    else if (expected && (::fstatat(at, target.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                          !statusOf(named).sameVersion(*expected)))
        obstacle = Obstacle::targetChanged;
    if (obstacle != Obstacle::none)
        return {};
    if (::renameat(at, name.c_str(), at, target.c_str()) != 0)
        return lastError();
    // The name is the target's now: nothing is left to remove.
    signals::setMode(signals::ending);
    moment();
    placed = true;
    seam::traced("rename", file.handle(), target);
    return {};
}

std::error_code takeLockFile(const Folder& folder, const fs::path& name, std::string& holder,
                             FileStatus& own, bool& made) {
    const int at = fd(folder.file);
    const std::string mine = std::to_string(::getpid()) + " " + hostName() + "\n";
    std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 10; ++attempt) {
        File lockFile;
        std::error_code error =
            openAt(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, lockFile);
        if (!error) {
            struct stat opened {};
            if (::fstat(fd(lockFile), &opened) != 0)
                error = lastError();
            else {
                made = true;
                own = statusOf(opened);
            }
            if (!error && ::write(fd(lockFile), mine.data(), mine.size()) !=
                              static_cast<ssize_t>(mine.size()))
                error = lastError();
            if (!error && ::fsync(fd(lockFile)) != 0)
                error = lastError();
            moment();
            return error;
        }
        if (error != std::errc::file_exists)
            return error;
        File found;
        error = openAt(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, found);
        if (error == std::errc::no_such_file_or_directory) // given up meanwhile
            continue;
        if (error)
            return error;
        struct stat seen {};
        std::array<char, 512> text{};
        const ssize_t got = ::read(fd(found), text.data(), text.size() - 1);
        if (::fstat(fd(found), &seen) != 0 || got < 0)
            return lastError();
        holder.clear();
        if (!holderIsGone(std::string_view(text.data(), static_cast<std::size_t>(got)), holder))
            return errorCode(EWOULDBLOCK);
        // Moved aside before it is removed: of two runs that take it over, one moves it and the
        // other finds it gone, and a lock made since it was looked at is put back.
        const std::string aside = temporaryName(longestTemporaryName, random());
        if (::renameat(at, name.c_str(), at, aside.c_str()) != 0) {
            if (errno == ENOENT)
                continue;
            return lastError();
        }
        moment();
        struct stat moved {};
        const bool same =
            ::fstatat(at, aside.c_str(), &moved, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(moved, seen);
        if (!same)
            ::linkat(at, aside.c_str(), at, name.c_str(), 0);
        ::unlinkat(at, aside.c_str(), 0);
        moment();
        if (!same)
            return errorCode(EWOULDBLOCK);
    }
    return errorCode(EWOULDBLOCK);
}

void removeIfSame(const Folder& folder, const fs::path& name, const FileStatus& own) noexcept {
    struct stat named {};
    const int at = fd(folder.file);
    if (::fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        statusOf(named).sameFile(own))
        ::unlinkat(at, name.c_str(), 0);
}

// Made as the temporary files are: 0600 from the moment it exists, through the folder's handle,
// a link at the name refused.
std::error_code createNote(const Folder& folder, const fs::path& name, File& file) {
    return openAt(fd(folder.file), name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK,
                  file);
}

std::error_code openNote(const Folder& folder, const fs::path& name, File& file) {
    const int opened = ::openat(fd(folder.file), name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (opened < 0)
        return lastError();
    file = File(opened);
    return {};
}

std::error_code emptyNote(const File& file) {
    struct stat found {};
    if (::fstat(fd(file), &found) != 0 ||
        ((found.st_mode & 07777) != 0600 && ::fchmod(fd(file), 0600) != 0) ||
        ::ftruncate(fd(file), 0) != 0)
        return lastError();
    return {};
}

std::error_code removeName(const Folder& folder, const fs::path& name) {
    if (::unlinkat(fd(folder.file), name.c_str(), 0) != 0)
        return lastError();
    return {};
}

} // namespace platform

void removeLeftovers(const Folder& folder) noexcept {
    const int at = fd(folder.file);
    // A listing of its own, so that the folder's handle is not moved along.
    const int listing = ::openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    const std::unique_ptr<DIR, DirectoryCloser> directory(::fdopendir(listing));
    if (!directory) {
        ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(directory.get()))
        if (isTemporaryName(entry->d_name))
            removeIfAbandoned(at, entry->d_name);
}

void adviseLargePages(void* data, std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
    // Only whole, aligned large pages can be given; the kernel hands out the rest as before.
    constexpr std::uintptr_t large = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + large - 1) & ~(large - 1);
    const std::uintptr_t end = (start + size) & ~(large - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

std::size_t memoryForAScript() noexcept {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::size_t{1} << 30;
    return static_cast<std::size_t>(pages) / 4 * static_cast<std::size_t>(pageSize);
}

std::size_t maxNameLength(const fs::path& folder) noexcept {
    errno = 0;
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

std::size_t maxNameLength(const Folder& folder) noexcept {
    errno = 0;
    const long limit = ::fpathconf(fd(folder.file), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

} // namespace engine::os
