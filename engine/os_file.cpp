// The operations of os_file.h, each defined once for every system: the fault seam's check, then
// the system calls of os_file_platform.h, and what every system does alike around them.

#include "engine/os_file.h"

#include "engine/os_file_platform.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

namespace engine::os {

namespace {

FaultPlan* faultPlan = nullptr;

std::error_code posixError(int error) {
    return {error, std::generic_category()};
}

// The fault the plan injects at this operation, if any; counts the operation. Every operation
// that can fail starts here, and nowhere else.
std::error_code injectedFault() {
    if (!faultPlan)
        return {};
    const long operation = ++faultPlan->operations;
    if (faultPlan->before)
        faultPlan->before(operation);
    if (operation == faultPlan->failAt)
        return posixError(faultPlan->error);
    return {};
}

using seam::moment;
using seam::traced;

// Writes all of bytes; each piece written is a moment where moments is set.
std::error_code writeAll(const File& file, std::string_view bytes, bool moments) {
    while (!bytes.empty()) {
        std::size_t done = 0;
        if (const auto error = platform::writeSome(file, bytes, done))
            return error;
        if (done == 0)
            return posixError(EIO);
        bytes.remove_prefix(done);
        if (moments)
            moment();
    }
    return {};
}

// A note of this user's: a regular file with no other name, which no one else can have made.
bool isOwnNote(const FileStatus& found) {
    return found.kind == Kind::regular && found.ownedByUser && found.links == 1;
}

// A note is a line or two; anything bigger at its name is no note of this program's.
constexpr std::uint64_t longestNote = 64 * 1024;

} // namespace

void setFaultPlan(FaultPlan* plan) noexcept {
    faultPlan = plan;
}

namespace seam {

void traced(std::string_view step, std::intptr_t handle, const fs::path& name) {
    if (faultPlan && faultPlan->trace)
        faultPlan->trace(step, handle, name);
}

void moment() {
    if (faultPlan && faultPlan->inside)
        faultPlan->inside(++faultPlan->moments);
}

int refusedLock() {
    return faultPlan ? faultPlan->lockError : 0;
}

} // namespace seam

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (handle_ != none)
            platform::close(handle_);
        handle_ = other.handle_;
        other.handle_ = none;
    }
    return *this;
}

File::~File() {
    if (handle_ != none)
        platform::close(handle_);
}

std::intptr_t File::release() noexcept {
    return std::exchange(handle_, none);
}

std::error_code resolve(const fs::path& path, fs::path& result) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::resolve(path, result);
}

std::error_code openFolder(const fs::path& path, Folder& folder) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::openFolder(path, folder);
}

std::error_code openToRead(const Folder& folder, const fs::path& name, File& file) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::openToRead(folder, name, file);
}

std::error_code openToRewrite(const Folder& folder, const fs::path& name, File& file) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::openToRewrite(folder, name, file);
}

std::error_code openOwnFolder(const fs::path& path, Folder& folder) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::openOwnFolder(path, folder);
}

std::error_code openLog(const Folder& folder, const fs::path& name, File& file) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::openLog(folder, name, file);
}

std::error_code status(const File& file, FileStatus& result) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::status(file, result);
}

std::error_code makePrivate(const File& file) {
    if (const auto fault = injectedFault())
        return fault;
    if (const auto error = platform::makePrivate(file))
        return error;
    moment();
    return {};
}

std::error_code statusAt(const Folder& folder, const fs::path& name, FileStatus& result) {
    if (const auto fault = injectedFault())
        return fault;
    return platform::statusAt(folder, name, result);
}

std::error_code lock(const File& file, std::chrono::milliseconds patience) {
    if (const auto fault = injectedFault())
        return fault;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        std::error_code error;
        switch (platform::tryLock(file, error)) {
        case platform::LockTry::taken:
            moment();
            return {};
        case platform::LockTry::failed:
            return error;
        case platform::LockTry::busy:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return posixError(EWOULDBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::error_code readAll(const File& file, std::size_t sizeHint, std::size_t limit,
                        std::string& bytes) {
    if (const auto fault = injectedFault())
        return fault;
    if (sizeHint > limit)
        return posixError(EFBIG);
    // One byte more than expected, so that reaching the end needs no second buffer, and room for
    // what the patch adds (a few dozen bytes in a script), so that the rules need none either.
    // Whole pages are asked for at a time, as some /proc files take nothing else.
    constexpr std::size_t page = 4096;
    const auto pages = [](std::size_t size) { return (size + page - 1) / page * page; };
    bytes.reserve(pages(sizeHint + 1) + sizeHint / 1024 + page);
    adviseLargePages(bytes.data(), bytes.capacity());
    bytes.resize(pages(sizeHint + 1));
    std::size_t used = 0;
    for (;;) {
        std::size_t got = 0;
        if (const auto error =
                platform::readSome(file, bytes.data() + used, bytes.size() - used, got))
            return error;
        if (got == 0)
            break;
        used += got;
        if (used > limit) {
            bytes.resize(limit + 1);
            return posixError(EFBIG);
        }
        if (used == bytes.size()) // the file grew while it was read
            bytes.resize(pages(std::min(bytes.size() * 2, limit + 1)));
    }
    bytes.resize(used);
    return {};
}

std::error_code write(const File& file, std::string_view bytes) {
    if (const auto fault = injectedFault())
        return fault;
    if (const auto error = writeAll(file, bytes, true))
        return error;
    traced("write", file.handle());
    return {};
}

std::error_code endHere(const File& file) {
    if (const auto fault = injectedFault())
        return fault;
    if (const auto error = platform::endHere(file))
        return error;
    traced("truncate", file.handle());
    moment();
    return {};
}

std::error_code sync(const File& file) {
    if (const auto fault = injectedFault())
        return fault;
    if (const auto error = platform::sync(file))
        return error;
    traced("sync", file.handle());
    moment();
    return {};
}

// The file is closed even when the plan fails the operation: a failed close has closed it too.
std::error_code close(File& file) {
    const auto fault = injectedFault();
    const auto error = platform::close(file.release());
    return fault ? fault : error;
}

std::error_code copyAccess(const File& from, const File& to, bool& complete) {
    if (const auto fault = injectedFault())
        return fault;
    complete = true;
    return platform::copyAccess(from, to, complete);
}

TemporaryFile::TemporaryFile(const Folder& folder, std::size_t nameLength, std::error_code& error)
    : folder_(folder) {
    if ((error = injectedFault()))
        return;
    error = platform::makeTemporary(folder, nameLength, name_, file_, own_);
}

TemporaryFile::~TemporaryFile() {
    platform::removeTemporary(folder_, name_, file_, own_, placed_);
}

std::error_code TemporaryFile::replace(const fs::path& name, const FileStatus* expected,
                                       Obstacle& obstacle) {
    if (const auto fault = injectedFault())
        return fault;
    obstacle = Obstacle::none;
    return platform::placeTemporary(folder_, name_, file_, own_, name, expected, obstacle, placed_);
}

LockFile::~LockFile() {
    if (folder_)
        platform::removeIfSame(*folder_, name_, own_);
}

std::error_code LockFile::take(const Folder& folder, const fs::path& name, std::string& holder) {
    if (const auto fault = injectedFault())
        return fault;
    bool made = false;
    FileStatus own;
    const auto error = platform::takeLockFile(folder, name, holder, own, made);
    if (made) { // from here on, the object removes it
        folder_ = &folder;
        name_ = name;
        own_ = own;
    }
    return error;
}

std::error_code writeNote(const Folder& folder, const fs::path& name, std::string_view bytes) {
    if (const auto fault = injectedFault())
        return fault;
    FileStatus there;
    if (!platform::statusAt(folder, name, there) && there.kind != Kind::missing &&
        !isOwnNote(there))
        return posixError(EEXIST);
    File note;
    if (const auto error = platform::createNote(folder, name, note))
        return error;
    FileStatus found;
    if (const auto error = platform::status(note, found))
        return error;
    if (!isOwnNote(found))
        return posixError(EEXIST);
    if (const auto error = platform::emptyNote(note))
        return error;
    if (const auto error = writeAll(note, bytes, false))
        return error;
    traced("write", note.handle());
    moment();
    if (const auto error = platform::sync(note))
        return error;
    traced("sync", note.handle());
    if (const auto error = platform::close(note.release()))
        return error;
    bool synced = false;
    if (const auto error = platform::syncFolder(folder, synced))
        return error;
    if (synced)
        traced("sync", folder.file.handle());
    return {};
}

std::error_code readNote(const Folder& folder, const fs::path& name, std::string& bytes,
                         bool& found) {
    if (const auto fault = injectedFault())
        return fault;
    bytes.clear();
    found = false;
    File note;
    if (const auto error = platform::openNote(folder, name, note))
        return error == std::errc::no_such_file_or_directory ||
                       error == std::errc::too_many_symbolic_link_levels
                   ? std::error_code{}
                   : error;
    FileStatus status;
    if (const auto error = platform::status(note, status))
        return error;
    if (!isOwnNote(status) || status.size > longestNote)
        return {};
    bytes.resize(static_cast<std::size_t>(status.size));
    std::size_t used = 0;
    while (used < bytes.size()) {
        std::size_t got = 0;
        if (const auto error =
                platform::readSome(note, bytes.data() + used, bytes.size() - used, got))
            return error;
        if (got == 0)
            break;
        used += got;
    }
    bytes.resize(used);
    found = true;
    return {};
}

std::error_code removeNote(const Folder& folder, const fs::path& name) {
    if (const auto fault = injectedFault())
        return fault;
    FileStatus there;
    if (const auto error = platform::statusAt(folder, name, there))
        return error;
    if (!isOwnNote(there))
        return {};
    if (const auto error = platform::removeName(folder, name);
        error && error != std::errc::no_such_file_or_directory)
        return error;
    traced("remove", folder.file.handle(), name);
    moment();
    bool synced = false;
    if (const auto error = platform::syncFolder(folder, synced))
        return error;
    if (synced)
        traced("sync", folder.file.handle());
    return {};
}

void syncFolder(const Folder& folder) noexcept {
    bool synced = false;
    if (!platform::syncFolder(folder, synced) && synced)
        traced("sync", folder.file.handle());
}

} // namespace engine::os
