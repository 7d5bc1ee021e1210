#include "engine/interrupted_write.h"

#include "engine/patch_rules.h"
#include "engine/script_files.h"

#include <new>
#include <optional>
#include <string>

namespace engine {

namespace fs = std::filesystem;

namespace {

// What the cut-short write may have left whole: the script as it was, either patch of it, or the
// version raised on a script patched before.
bool couldBeWhole(const std::string& now, const std::string& backup) try {
    if (now == backup)
        return true;
    const std::string text = scriptTextFromBytes(backup);
    const std::string category = applyCategoryPatch(text).text;
    const auto written = [&](const std::string& content) {
        return now.size() == content.size() + lineEnd.size() && now.starts_with(content) &&
               now.ends_with(lineEnd);
    };
    return written(category) || written(applyVersionPatch(category).text) ||
           written(applyVersionPatch(text).text);
} catch (const std::bad_alloc&) {
    return false; // then the user is asked
}

// The log is named only when it is there to be read.
std::string logSentence(const fs::path& log) {
    os::Folder folder;
    os::FileStatus found;
    if (os::openFolder(log.parent_path(), folder) || os::statusAt(folder, log.filename(), found) ||
        found.kind != os::Kind::regular || found.size == 0)
        return {};
    return " The patch log \"" + displayPath(log) + "\" keeps the text as it was read.";
}

} // namespace

bool answerAnInterruptedWrite(const fs::path& script, std::string_view shownName, PatchUi& ui,
                              const fs::path& log) {
    const fs::path backupPath = backupPathFor(script);
    const fs::path marker = markerNameFor(script.filename());
    // The script, its backup and the marker are reached through the folder, opened once.
    os::Folder folder;
    std::optional<ScriptFile> scriptFile;
    std::optional<BackupFile> backup;
    try {
        // A missing folder is for the run to report, as it reports a missing script.
        const std::error_code opened = os::openFolder(script.parent_path(), folder);
        if (opened == std::errc::no_such_file_or_directory || opened == std::errc::not_a_directory)
            return false;
        check(opened, "open the script", script);
        std::string note;
        bool found = false;
        check(os::readNote(folder, marker, note, found), "open the script", script);
        if (!found || !markerNamesBackupOf(note, script.filename()))
            return false;

        const std::string name = "'" + std::string(shownName) + "'";
        const std::string backupName = "'" + displayName(backupPath.filename()) + "'";
        const std::string interrupted = "The last patch of " + name +
                                        " was interrupted while the script was written: the "
                                        "script may be incomplete.";
        os::FileStatus there;
        check(os::statusAt(folder, backupPath.filename(), there), "read the backup", backupPath);
        if (there.kind != os::Kind::regular) {
            ui.showInfo(interrupted + " Its backup " + backupName +
                        (there.kind == os::Kind::missing ? " is gone" : " is not a regular file") +
                        ", so it cannot be put back." + logSentence(log));
            return true;
        }
        scriptFile.emplace(folder, script.filename(), script);
        backup.emplace(folder, backupPath.filename(), backupPath);
        const std::string bytes = backup->read();
        if (couldBeWhole(scriptFile->read(), bytes)) {
            check(os::removeNote(backup->folder(), backup->markerName()), "remove the marker",
                  backup->markerPath());
            return false;
        }
        if (!ui.askYesNo(interrupted + " The backup " + backupName +
                             " holds the text as it was. Do you want to put the backup back "
                             "first? No leaves the script as it is.",
                         true, DefaultAnswer::no))
            return true;
        ui.setBrowserEnabled(false);
        ui.showStatus("Putting the backup back...");
        scriptFile->write(bytes, {}, &*backup);
        check(os::removeNote(backup->folder(), backup->markerName()), "remove the marker",
              backup->markerPath());
        ui.showInfo("The backup " + backupName + " was put back: " + name +
                    " holds the text from before the interrupted patch again.");
        ui.setBrowserEnabled(true);
        return false;
    } catch (const FileError& failure) {
        std::string text = failure.what();
        const std::string shown = "\"" + displayPath(script) + "\"";
        if (scriptFile && scriptFile->incomplete())
            text += " The script " + shown + " may be incomplete.";
        else
            text += " The script " + shown +
                    (scriptFile && scriptFile->changed() ? " was changed." : " was not changed.");
        // Named only where it is still the file that was read.
        os::FileStatus now;
        if (backup && !os::statusAt(backup->folder(), backup->name(), now) &&
            now.sameVersion(backup->found()))
            text += " The backup \"" + displayPath(backupPath) + "\" holds the text as it was.";
        throw PatchError(text, failure.code());
    }
}

} // namespace engine
