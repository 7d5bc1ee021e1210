#include "engine/run_steps.h"

#include "engine/file_formats.h"
#include "engine/os_file.h"

namespace engine {

namespace fs = std::filesystem;

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    return *std::localtime(&now);
}

void checkFileName(const fs::path& fileName) {
    if (fileName.empty())
        throw PatchError("No script was chosen. Select the script to patch in the file list "
                         "first.");
    if (fileName == "." || fileName == ".." || fileName != fileName.filename() ||
        fileName.native().find_first_of(notInAName()) != fs::path::string_type::npos)
        throw PatchError("\"" + displayPath(fileName) + "\" is not the name of a script file.");
    // Checked before anything is opened: opening such a name would open the device.
    if (isDeviceName(fileName))
        throw PatchError("\"" + displayPath(fileName) +
                         "\" is the name of a Windows device, not of a script file.");
}

os::Folder openedFolder(const fs::path& folder, const fs::path& script) {
    os::Folder opened;
    check(os::openFolder(folder, opened), "open the script", script);
    return opened;
}

void refuseItsOwnFiles(const ScriptFile& script, const BackupFile& backup, const fs::path& log) {
    constexpr std::string_view operation = "open the script";
    if (script.status().sameFile(backup.found()))
        throw FileError(operation, script.path(), Refusal::leadsToOwnFile,
                        "its name leads to its backup \"" + displayPath(backup.path()) + "\"");
    // Only a log folder the log may be kept in is looked into: one that is a link, or is
    // missing, is for the log's own opening to refuse or make, and nothing is opened through it.
    const fs::path logFolderPath = log.parent_path();
    const auto missing = [](const std::error_code& error) {
        return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
    };
    os::Folder above;
    const std::error_code openedAbove = os::openFolder(logFolderPath.parent_path(), above);
    if (missing(openedAbove))
        return;
    check(openedAbove, "open the log folder", logFolderPath);
    os::FileStatus found;
    check(os::statusAt(above, logFolderPath.filename(), found), "open the log folder",
          logFolderPath);
    if (found.kind != os::Kind::folder)
        return;
    os::Folder logFolder;
    const std::error_code opened = os::openFolder(logFolderPath, logFolder);
    if (missing(opened))
        return;
    check(opened, "open the log folder", logFolderPath);
    check(os::statusAt(logFolder, log.filename(), found), "open the log", log);
    if (script.status().sameFile(found))
        throw FileError(operation, script.path(), Refusal::leadsToOwnFile,
                        "its name leads to the patch log \"" + displayPath(log) + "\"");
}

void appendLogRecord(LogFile& log, const std::tm& time, std::string_view text,
                     os::FileStatus& written) {
    log.append(logHeader(time));
    log.append(text);
    check(os::status(log.file(), written), "write to the log", log.path());
}

void closeLog(LogFile& log, PatchUi& ui) {
    log.syncAndClose();
    if (log.madePrivate())
        ui.showInfo("The patch log \"" + displayPath(log.path()) +
                    "\" could be read by other users. It is now readable by you alone.");
}

bool logStillHolds(const fs::path& log, const os::FileStatus& written) {
    os::Folder folder;
    os::FileStatus now;
    return !os::openFolder(log.parent_path(), folder) &&
           !os::statusAt(folder, log.filename(), now) && now.sameFile(written) &&
           now.size >= written.size;
}

std::string notChangedText(const FileError& failure, const fs::path& script) {
    return std::string(failure.what()) + " The script \"" + displayPath(script) +
           "\" was not changed.";
}

std::string failureText(const FileError& failure, const ScriptFile& script,
                        const BackupFile& backup, bool backupKept, const fs::path& log,
                        bool logKept) {
    std::string text = failure.what();
    const std::string name = "\"" + displayPath(script.path()) + "\"";
    if (failure.code() == Refusal::changedByAnotherProgram)
        text += " The script " + name + " was left as that program saved it.";
    else if (script.incomplete())
        text += " The script " + name +
                " may be incomplete: the next run on it offers to put the backup back.";
    else
        text += " The script " + name +
                (script.changed() ? " was changed by this run." : " was not changed.");
    const std::string backupName = "the backup \"" + displayPath(backup.path()) + "\"";
    const std::string logName = "the log \"" + displayPath(log) + "\"";
    if (backupKept && logKept)
        text += " The text as read is kept in " + backupName + " and in " + logName + ".";
    else if (backupKept)
        text += " The text as read is kept in " + backupName + ".";
    else if (logKept)
        text += " The text as read is kept in " + logName + ".";
    return text;
}

} // namespace engine
