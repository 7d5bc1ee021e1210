#pragma once

#include "engine/patch_run.h"
#include "engine/script_files.h"

#include <ctime>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// The steps a patch run and a restore run share: the checks before a script is opened, the log
// record that keeps its text before it is replaced, and the words a failure is reported in.
namespace engine {

std::tm localNow();

// A name from the file list is one name: anything that would lead out of the folder is refused.
// Throws PatchError.
void checkFileName(const std::filesystem::path& fileName);

// The folder chosen, opened once: the script's name, the backup and every temporary file beside
// them are reached through it, however the path to it changes while the run goes on.
os::Folder openedFolder(const std::filesystem::path& folder, const std::filesystem::path& script);

// A script whose name leads to a file the run writes itself would have that file written over
// its own text, or wait for ever on its own lock.
void refuseItsOwnFiles(const ScriptFile& script, const BackupFile& backup,
                       const std::filesystem::path& log);

// Appends one record to the open log: the header dated time, then text. written: the log with
// the record, before it is flushed, to tell later whether the log still holds it.
void appendLogRecord(LogFile& log, const std::tm& time, std::string_view text,
                     os::FileStatus& written);
// Flushes and closes the log, and tells the user when it had to be made private.
void closeLog(LogFile& log, PatchUi& ui);
// Whether the log at path is still the file written, with at least what was written in it.
bool logStillHolds(const std::filesystem::path& log, const os::FileStatus& written);

// A failure before the run had its files open: nothing was written.
std::string notChangedText(const FileError& failure, const std::filesystem::path& script);

// The failure, what became of the script, and the places that still hold the text as read,
// where the backup and the log are named only when the run wrote them and they still hold it.
std::string failureText(const FileError& failure, const ScriptFile& script,
                        const BackupFile& backup, bool backupKept, const std::filesystem::path& log,
                        bool logKept);

// Makes the run with start (which emplaces run) and carries it out. A file's failure, or memory
// running out, becomes the PatchError the window shows: in the run's words, which name the places
// that hold the text, once the run has its files open. operation names the run in a failure that
// memory caused.
template <typename Run, typename Start>
void carryOutOrSayWhy(std::optional<Run>& run, const Start& start, std::string_view operation,
                      const std::filesystem::path& script) {
    try {
        start();
        run->carryOut();
    } catch (const FileError& failure) {
        throw PatchError(run ? run->failureText(failure) : notChangedText(failure, script),
                         failure.code());
    } catch (const std::bad_alloc&) {
        // The new text outgrew memory after the read fitted: the same answer for the user.
        const FileError failure(operation, script, std::make_error_code(std::errc::file_too_large),
                                tooLargeReason);
        throw PatchError(run ? run->failureText(failure) : notChangedText(failure, script),
                         failure.code());
    }
}

} // namespace engine
