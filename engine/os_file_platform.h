#pragma once

// What each platform's file gives the operations of os_file.h: the system calls beneath each
// one, without the fault seam's check, which os_file.cpp makes once for every operation. A
// primitive that makes several system calls tells the seam of the moments between them itself
// (seam::moment), as only it knows where they are.

#include "engine/os_file.h"

namespace engine::os::seam {

// A moment inside an operation, after a system call that changed something.
void moment();
// Tells the plan's trace, if any, of a step that was done (os_file.h).
void traced(std::string_view step, std::intptr_t handle, const fs::path& name = {});
// The error the plan refuses every lock with, or 0.
int refusedLock();

} // namespace engine::os::seam

namespace engine::os::platform {

// Closes the handle in every case.
std::error_code close(std::intptr_t handle);

std::error_code resolve(const fs::path& path, fs::path& result);
std::error_code openFolder(const fs::path& path, Folder& folder);
std::error_code openToRead(const Folder& folder, const fs::path& name, File& file);
std::error_code openToRewrite(const Folder& folder, const fs::path& name, File& file);
std::error_code openOwnFolder(const fs::path& path, Folder& folder);
std::error_code openLog(const Folder& folder, const fs::path& name, File& file);
std::error_code status(const File& file, FileStatus& result);
std::error_code statusAt(const Folder& folder, const fs::path& name, FileStatus& result);
std::error_code makePrivate(const File& file);

// Tries the lock once: taken, held by another (busy), or an error that ends the wait.
enum class LockTry { taken, busy, failed };
LockTry tryLock(const File& file, std::error_code& error);

// Reads up to size bytes into data, setting got (0 at the end of the file).
std::error_code readSome(const File& file, char* data, std::size_t size, std::size_t& got);
// Writes the start of bytes, setting done to how much.
std::error_code writeSome(const File& file, std::string_view bytes, std::size_t& done);
std::error_code endHere(const File& file);
std::error_code sync(const File& file);
// synced is false where the system writes a folder's entries through by itself.
std::error_code syncFolder(const Folder& folder, bool& synced);
std::error_code copyAccess(const File& from, const File& to, bool& complete);

// TemporaryFile's steps (os_file.h): made under a fresh name, locked; removed unless placed;
// put in the place of target.
std::error_code makeTemporary(const Folder& folder, std::size_t nameLength, std::string& name,
                              File& file, FileStatus& own);
void removeTemporary(const Folder& folder, const std::string& name, File& file,
                     const FileStatus& own, bool placed) noexcept;
std::error_code placeTemporary(const Folder& folder, const std::string& name, File& file,
                               const FileStatus& own, const fs::path& target,
                               const FileStatus* expected, TemporaryFile::Obstacle& obstacle,
                               bool& placed);

// LockFile::take; made tells whether the lock file now exists, own which file it is.
std::error_code takeLockFile(const Folder& folder, const fs::path& name, std::string& holder,
                             FileStatus& own, bool& made);
// Removes name in folder if it is still the file own.
void removeIfSame(const Folder& folder, const fs::path& name, const FileStatus& own) noexcept;

// A note's steps: opened for writing, made where missing and readable by its owner alone; opened
// for reading; emptied, and made its owner's alone where it was not; its name removed.
std::error_code createNote(const Folder& folder, const fs::path& name, File& file);
std::error_code openNote(const Folder& folder, const fs::path& name, File& file);
std::error_code emptyNote(const File& file);
std::error_code removeName(const Folder& folder, const fs::path& name);

} // namespace engine::os::platform
