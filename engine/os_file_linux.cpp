// The system layer on POSIX systems (Linux first).

#include "engine/os_file.h"

#include "engine/os_file_shared.h"
#include "engine/temporary_name.h"

#include <algorithm>
#include <array>
#include <atomic>
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
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace engine::os {

namespace {

using shared::injectedFault;
using shared::moment;
using shared::traced;

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
int tryLock(int file) {
    if (const int refused = shared::refusedLock())
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

// What SIGTERM, SIGINT and SIGHUP do while a temporary file exists or a file is written in
// place. The handler may run on any thread, so what it reads is set before it may look, and the
// mode and a signal that waits are one word: a signal is either seen by the code that changes
// the mode or handled in the mode that code set, never lost in between.
constexpr std::array<int, 3> endingSignals{SIGTERM, SIGINT, SIGHUP};

enum SignalMode : int { ending, removing, deferring };

constexpr int modeBits = 0xff;

struct SignalHandling {
    std::atomic<int> state{ending}; // the mode, and above it a signal that waits
    int folder = -1;
    std::array<char, 64> name{};
    std::array<struct sigaction, endingSignals.size()> previous{};
    std::array<bool, endingSignals.size()> installed{};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only use these");

SignalHandling signalHandling;

// Ends the program as the signal would have, once the temporary file is gone where there is one.
void endAsSignalled(int signal, int mode) {
    if (mode == removing)
        ::unlinkat(signalHandling.folder, signalHandling.name.data(), 0);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    ::raise(signal);
}

void onEndingSignal(int signal) {
    const int savedErrno = errno;
    int state = signalHandling.state.load();
    while ((state & modeBits) == deferring) {
        if (signalHandling.state.compare_exchange_weak(state, deferring | signal << 8)) {
            errno = savedErrno;
            return;
        }
    }
    // The signal is blocked while this runs, and arrives on return.
    endAsSignalled(signal, state & modeBits);
    errno = savedErrno;
}

// A signal that waited is handled as it would have been in the new mode: the program ends.
void setSignalMode(SignalMode mode) noexcept {
    const int before = signalHandling.state.exchange(mode);
    if (const int signal = before >> 8)
        endAsSignalled(signal, mode);
}

// Only where the signal would end the program as it stands: one it ignores or handles itself
// never leaves a file half done.
void startHandlingSignals() noexcept {
    signalHandling.state.store(ending);
    struct sigaction ours {};
    ours.sa_handler = onEndingSignal;
    sigemptyset(&ours.sa_mask);
    for (const int signal : endingSignals)
        sigaddset(&ours.sa_mask, signal);
    for (std::size_t i = 0; i < endingSignals.size(); ++i) {
        struct sigaction& previous = signalHandling.previous[i];
        signalHandling.installed[i] = ::sigaction(endingSignals[i], nullptr, &previous) == 0 &&
                                      !(previous.sa_flags & SA_SIGINFO) &&
                                      previous.sa_handler == SIG_DFL &&
                                      ::sigaction(endingSignals[i], &ours, nullptr) == 0;
    }
}

void stopHandlingSignals() noexcept {
    const int before = signalHandling.state.exchange(ending);
    for (std::size_t i = 0; i < endingSignals.size(); ++i)
        if (signalHandling.installed[i])
            ::sigaction(endingSignals[i], &signalHandling.previous[i], nullptr);
    if (const int signal = before >> 8)
        ::raise(signal);
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
    if (::fstat(fd(file), &opened) != 0 || opened.st_dev != named.st_dev ||
        opened.st_ino != named.st_ino)
        return;
    if (tryLock(fd(file)) == 0) {
        moment();
        ::unlinkat(folder, name, 0);
        moment();
    }
}

} // namespace

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ != none)
            ::close(static_cast<int>(handle_));
        handle_ = other.handle_;
        other.handle_ = none;
    }
    return *this;
}

File::~File() {
    if (handle_ != none)
        ::close(static_cast<int>(handle_));
}

std::intptr_t File::release() noexcept {
    return std::exchange(handle_, none);
}

std::error_code resolve(const fs::path& path, fs::path& result) {
    if (const auto fault = injectedFault())
        return fault;
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved)
        return lastError();
    result = resolved.get();
    return {};
}

std::error_code openFolder(const fs::path& path, Folder& folder) {
    if (const auto fault = injectedFault())
        return fault;
    folder.path = path;
    return openAt(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY, folder.file);
}

std::error_code openToRead(const Folder& folder, const fs::path& name, File& file) {
    if (const auto fault = injectedFault())
        return fault;
    return openAt(fd(folder.file), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, file);
}

std::error_code openToRewrite(const Folder& folder, const fs::path& name, File& file) {
    if (const auto fault = injectedFault())
        return fault;
    return openAt(fd(folder.file), name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK, file);
}

namespace {

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

} // namespace

std::error_code openOwnFolder(const fs::path& path, Folder& folder) {
    if (const auto fault = injectedFault())
        return fault;
    fs::path normal = path.lexically_normal();
    if (normal.filename().empty() && normal.has_parent_path())
        normal = normal.parent_path(); // a trailing separator
    folder.path = path;
    return openOrMake(normal, true, folder.file);
}

std::error_code openLog(const Folder& folder, const fs::path& name, File& file) {
    if (const auto fault = injectedFault())
        return fault;
    return openAt(fd(folder.file), name.c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK, file);
}

std::error_code status(const File& file, FileStatus& result) {
    if (const auto fault = injectedFault())
        return fault;
    struct stat found {};
    if (::fstat(fd(file), &found) != 0)
        return lastError();
    result = statusOf(found);
    return {};
}

std::error_code makePrivate(const File& file) {
    if (const auto fault = injectedFault())
        return fault;
    struct stat found {};
    if (::fstat(fd(file), &found) != 0 || ::fchmod(fd(file), found.st_mode & 0700) != 0)
        return lastError();
    moment();
    return {};
}

std::error_code statusAt(const Folder& folder, const fs::path& name, FileStatus& result) {
    if (const auto fault = injectedFault())
        return fault;
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

std::error_code lock(const File& file, std::chrono::milliseconds patience) {
    if (const auto fault = injectedFault())
        return fault;
    return shared::lockWithin(
        [&](std::error_code& error) {
            for (;;) {
                const int refused = tryLock(fd(file));
                if (refused == 0) {
                    moment();
                    return shared::LockTry::taken;
                }
                if (refused == EINTR)
                    continue;
                if (refused == EWOULDBLOCK)
                    return shared::LockTry::busy;
                error = errorCode(cannotLock(refused) ? ENOLCK : refused);
                return shared::LockTry::failed;
            }
        },
        patience);
}

namespace {

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

LockFile::~LockFile() {
    if (!folder_)
        return;
    struct stat named {};
    const int at = fd(folder_->file);
    if (::fstatat(at, name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        statusOf(named).sameFile(own_))
        ::unlinkat(at, name_.c_str(), 0);
}

std::error_code LockFile::take(const Folder& folder, const fs::path& name, std::string& holder) {
    if (const auto fault = injectedFault())
        return fault;
    const int at = fd(folder.file);
    const std::string mine = std::to_string(::getpid()) + " " + hostName() + "\n";
    std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 10; ++attempt) {
        File made;
        std::error_code error =
            openAt(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, made);
        if (!error) {
            struct stat own {};
            if (::fstat(fd(made), &own) != 0)
                error = lastError();
            else {
                folder_ = &folder; // from here on, the object removes it
                name_ = name;
                own_ = statusOf(own);
            }
            if (!error &&
                ::write(fd(made), mine.data(), mine.size()) != static_cast<ssize_t>(mine.size()))
                error = lastError();
            if (!error && ::fsync(fd(made)) != 0)
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
        const bool same = ::fstatat(at, aside.c_str(), &moved, AT_SYMLINK_NOFOLLOW) == 0 &&
                          moved.st_dev == seen.st_dev && moved.st_ino == seen.st_ino;
        if (!same)
            ::linkat(at, aside.c_str(), at, name.c_str(), 0);
        ::unlinkat(at, aside.c_str(), 0);
        moment();
        if (!same)
            return errorCode(EWOULDBLOCK);
    }
    return errorCode(EWOULDBLOCK);
}

std::error_code readAll(const File& file, std::size_t sizeHint, std::size_t limit,
                        std::string& bytes) {
    if (const auto fault = injectedFault())
        return fault;
    return shared::readAll(
        [&](char* data, std::size_t size, std::size_t& got) {
            for (;;) {
                const ssize_t done = ::read(fd(file), data, size);
                if (done < 0 && errno == EINTR)
                    continue;
                if (done < 0)
                    return lastError();
                got = static_cast<std::size_t>(done);
                return std::error_code{};
            }
        },
        sizeHint, limit, bytes);
}

std::error_code write(const File& file, std::string_view bytes) {
    if (const auto fault = injectedFault())
        return fault;
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd(file), bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? lastError() : errorCode(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(done));
        moment();
    }
    traced("write", file.handle());
    return {};
}

std::error_code endHere(const File& file) {
    if (const auto fault = injectedFault())
        return fault;
    const off_t at = ::lseek(fd(file), 0, SEEK_CUR);
    if (at < 0 || ::ftruncate(fd(file), at) != 0)
        return lastError();
    traced("truncate", file.handle());
    moment();
    return {};
}

std::error_code sync(const File& file) {
    if (const auto fault = injectedFault())
        return fault;
    if (::fsync(fd(file)) != 0)
        return lastError();
    traced("sync", file.handle());
    moment();
    return {};
}

std::error_code close(File& file) {
    const auto fault = injectedFault();
    // Linux closes the file even when close is interrupted, so EINTR is no failure.
    if (::close(static_cast<int>(file.release())) != 0 && errno != EINTR)
        return fault ? fault : lastError();
    return fault;
}

std::error_code copyAccess(const File& from, const File& to, bool& complete) {
    if (const auto fault = injectedFault())
        return fault;
    complete = true;
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

std::error_code createFolders(const fs::path& folder) {
    if (const auto fault = injectedFault())
        return fault;
    std::error_code error;
    fs::create_directories(folder, error);
    return error;
}

TemporaryFile::TemporaryFile(const Folder& folder, std::size_t nameLength, std::error_code& error)
    : folder_(folder) {
    startHandlingSignals();
    if ((error = injectedFault()))
        return;
    std::mt19937_64 random{std::random_device{}()};
    const int at = fd(folder.file);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name_ = temporaryName(nameLength, random());
        std::copy_n(name_.c_str(), name_.size() + 1, signalHandling.name.data());
        signalHandling.folder = at;
        // A signal waits from just before the file exists until its removal is armed, and is
        // then handled by removing it: the signal handler cannot tell whether the file was made.
        setSignalMode(deferring);
        File made;
        error = openAt(at, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, made);
        if (error) {
            setSignalMode(ending);
            if (error == std::errc::file_exists)
                continue;
            return;
        }
        // Locked before anything else, so that no other run takes it for a dead run's. One that
        // did so first is removing it: this run leaves it to that one and takes another name.
        const int locked = tryLock(fd(made));
        moment();
        struct stat opened {};
        struct stat named {};
        const bool stillOurs = ::fstat(fd(made), &opened) == 0 &&
                               ::fstatat(at, name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                               opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
        if ((locked == 0 || cannotLock(locked)) && stillOurs) {
            file_ = std::move(made);
            setSignalMode(removing);
            return;
        }
        setSignalMode(ending);
    }
    error = errorCode(EEXIST);
}

TemporaryFile::~TemporaryFile() {
    struct stat own {};
    struct stat named {};
    // Nothing is removed by name once this file is gone from it: a signal waits until the end.
    setSignalMode(deferring);
    // What someone else put at the name is left to them.
    if (file_ && !placed_ && ::fstat(fd(file_), &own) == 0 &&
        ::fstatat(fd(folder_.file), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == own.st_dev && named.st_ino == own.st_ino) {
        ::unlinkat(fd(folder_.file), name_.c_str(), 0);
        moment();
    }
    file_ = File();
    stopHandlingSignals();
}

std::error_code TemporaryFile::replace(const fs::path& name, const FileStatus* expected,
                                       Obstacle& obstacle) {
    if (const auto fault = injectedFault())
        return fault;
    const int at = fd(folder_.file);
    // The last looks, as close to the renaming as they can be: the renaming moves whatever
    // the temporary name holds.
    struct stat own {};
    struct stat named {};
    if (::fstat(fd(file_), &own) != 0)
        return lastError();
    obstacle = Obstacle::none;
    if (::fstatat(at, name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != own.st_dev || named.st_ino != own.st_ino)
        obstacle = Obstacle::temporaryTaken;
    else if (expected && (::fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                          !statusOf(named).sameVersion(*expected)))
        obstacle = Obstacle::targetChanged;
    if (obstacle != Obstacle::none)
        return {};
    if (::renameat(at, name_.c_str(), at, name.c_str()) != 0)
        return lastError();
    // The name is the target's now: nothing is left to remove.
    setSignalMode(ending);
    moment();
    placed_ = true;
    traced("rename", file_.handle(), name);
    return {};
}

SignalsDeferred::SignalsDeferred() noexcept {
    startHandlingSignals();
    setSignalMode(deferring);
}

SignalsDeferred::~SignalsDeferred() {
    stopHandlingSignals();
}

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

namespace {

// A note of this user's: a regular file with no other name, which no one else can have made.
bool isOwnNote(const struct stat& found) {
    return S_ISREG(found.st_mode) && found.st_uid == ::geteuid() && found.st_nlink == 1;
}

// A note is a line or two; anything bigger at its name is no note of this program's.
constexpr off_t longestNote = 64 * 1024;

} // namespace

std::error_code writeNote(const Folder& folder, const fs::path& name, std::string_view bytes) {
    if (const auto fault = injectedFault())
        return fault;
    const int at = fd(folder.file);
    struct stat there {};
    if (::fstatat(at, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && !isOwnNote(there))
        return errorCode(EEXIST);
    // Made as the temporary files are: 0600 from the moment it exists, through the folder's
    // handle, a link at the name refused.
    File note;
    if (const auto error =
            openAt(at, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, note))
        return error;
    const int opened = fd(note);
    struct stat found {};
    if (::fstat(opened, &found) != 0)
        return lastError();
    if (!isOwnNote(found))
        return errorCode(EEXIST);
    if (((found.st_mode & 07777) != 0600 && ::fchmod(opened, 0600) != 0) ||
        ::ftruncate(opened, 0) != 0)
        return lastError();
    for (std::string_view rest = bytes; !rest.empty();) {
        const ssize_t done = ::write(opened, rest.data(), rest.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? lastError() : errorCode(EIO);
        rest.remove_prefix(static_cast<std::size_t>(done));
    }
    traced("write", opened);
    moment();
    if (::fsync(opened) != 0)
        return lastError();
    traced("sync", opened);
    if (::close(static_cast<int>(note.release())) != 0 && errno != EINTR)
        return lastError();
    if (::fsync(at) != 0)
        return lastError();
    traced("sync", at);
    return {};
}

std::error_code readNote(const Folder& folder, const fs::path& name, std::string& bytes,
                         bool& found) {
    if (const auto fault = injectedFault())
        return fault;
    bytes.clear();
    found = false;
    const int opened = ::openat(fd(folder.file), name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (opened < 0)
        return errno == ENOENT || errno == ELOOP ? std::error_code{} : lastError();
    const File note(opened);
    struct stat status {};
    if (::fstat(opened, &status) != 0)
        return lastError();
    if (!isOwnNote(status) || status.st_size > longestNote)
        return {};
    bytes.resize(static_cast<std::size_t>(status.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t done = ::read(opened, bytes.data() + got, bytes.size() - got);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return lastError();
        if (done == 0)
            break;
        got += static_cast<std::size_t>(done);
    }
    bytes.resize(got);
    found = true;
    return {};
}

std::error_code removeNote(const Folder& folder, const fs::path& name) {
    if (const auto fault = injectedFault())
        return fault;
    const int at = fd(folder.file);
    struct stat there {};
    if (::fstatat(at, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? std::error_code{} : lastError();
    if (!isOwnNote(there))
        return {};
    if (::unlinkat(at, name.c_str(), 0) != 0 && errno != ENOENT)
        return lastError();
    traced("remove", at, name);
    moment();
    if (::fsync(at) != 0)
        return lastError();
    traced("sync", at);
    return {};
}

void syncFolder(const Folder& folder) noexcept {
    if (::fsync(fd(folder.file)) == 0)
        traced("sync", folder.file.handle());
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
