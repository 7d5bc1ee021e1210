#include "engine/restore_run.h"

#include "engine/file_formats.h"
#include "engine/os_file.h"
#include "engine/run_steps.h"
#include "engine/script_files.h"

#include <optional>
#include <string>

namespace engine {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view readBackup = "read the backup";

// Only a regular file at the backup's name is put back: a link could lead the script's new text
// to be read from anywhere, and a folder or device holds no text.
void requireBackupToRestore(const os::Folder& folder, const fs::path& name, const fs::path& path) {
    os::FileStatus found;
    check(os::statusAt(folder, name, found), readBackup, path);
    switch (found.kind) {
    case os::Kind::regular:
        return;
    case os::Kind::missing:
        throw FileError(readBackup, path,
                        std::make_error_code(std::errc::no_such_file_or_directory),
                        "there is no backup to put back");
    case os::Kind::folder:
        throw FileError(readBackup, path, std::make_error_code(std::errc::is_a_directory),
                        "it is a folder");
    case os::Kind::link:
        throw FileError(readBackup, path, Refusal::isALink);
    case os::Kind::other:
        break;
    }
    throw FileError(readBackup, path, Refusal::notRegularFile);
}

// One restore, once the user has agreed: the script open and locked, its backup checked.
class Restore {
public:
    Restore(const fs::path& folder, const fs::path& fileName, const fs::path& log, PatchUi& ui,
            const LocalClock& clock)
        : log_(log)
        , ui_(ui)
        , clock_(clock)
        , folder_(openedFolder(folder, folder / fileName))
        , script_(folder_, fileName, folder / fileName) {
        const fs::path backupName = backupPathFor(fileName);
        const fs::path backupPath = backupPathFor(folder / fileName);
        requireBackupToRestore(folder_, backupName, backupPath);
        backup_.emplace(folder_, backupName, backupPath);
        refuseItsOwnFiles(script_, *backup_, log_);
    }

    void carryOut() {
        const std::string original = backup_->read();
        const ScriptContent present(script_.read());
        if (present.bytes() == original) {
            ui_.showStatus("");
            ui_.showInfo(displayPath(script_.path().filename()) +
                         " already holds the text of its backup. Nothing was changed.");
            return;
        }
        // Refused before the log record is written, as a patch run refuses it.
        script_.requireWritable();
        LogFile log(log_);
        appendLogRecord(log, clock_(), present.text(), logWritten_);
        closeLog(log, ui_);
        logSaved_ = true;
        script_.write(original, {}, &*backup_);
        // The backup is the script again: a marker of an earlier write in place cut short no
        // longer says anything true.
        check(os::removeNote(backup_->folder(), backup_->markerName()), "remove the marker",
              backup_->markerPath());
        ui_.showStatus("Original restored.");
    }

    std::string failureText(const FileError& failure) const {
        return engine::failureText(failure, script_, *backup_, false, log_,
                                   logSaved_ && logStillHolds(log_, logWritten_));
    }

private:
    fs::path log_;
    PatchUi& ui_;
    const LocalClock& clock_;
    os::Folder folder_;
    ScriptFile script_;
    std::optional<BackupFile> backup_;
    bool logSaved_ = false;
    os::FileStatus logWritten_;
};

} // namespace

bool hasBackupToRestore(const fs::path& folder, const fs::path& fileName) {
    os::Folder opened;
    os::FileStatus found;
    return !fileName.empty() && !os::openFolder(folder, opened) &&
           !os::statusAt(opened, backupPathFor(fileName), found) && found.kind == os::Kind::regular;
}

void runRestore(const fs::path& folder, const fs::path& fileName, PatchUi& ui,
                const fs::path& logFolder) {
    runRestore(folder, fileName, ui, logFolder, localNow);
}

void runRestore(const fs::path& folder, const fs::path& fileName, PatchUi& ui,
                const fs::path& logFolder, const LocalClock& clock) {
    checkFileName(fileName);
    const std::string shownName = displayPath(fileName);
    const fs::path script = folder / fileName;
    if (!ui.askYesNo("Put back " + shownName +
                         " as it was before it was patched? Its present "
                         "text is kept in the patch log.",
                     true, DefaultAnswer::no))
        return;
    ui.setBrowserEnabled(false);
    ui.showStatus("Restoring original...");

    std::optional<Restore> restore;
    carryOutOrSayWhy(
        restore, [&] { restore.emplace(folder, fileName, logFolder / logFileName, ui, clock); },
        "restore", script);
    ui.setBrowserEnabled(true);
}

} // namespace engine
