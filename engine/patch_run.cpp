#include "engine/patch_run.h"

#include "engine/os_file.h"
#include "engine/patch_findings.h"
#include "engine/patch_rules.h"
#include "engine/script_files.h"

#include <array>
#include <new>
#include <utility>

namespace engine {

namespace fs = std::filesystem;

namespace {

// What the run has done so far; a failure's message tells the user where that leaves them.
struct RunRecord {
    fs::path script;
    fs::path backup;
    fs::path log;
    bool scriptChanged = false;
    bool backupSaved = false;
    bool logSaved = false;

    std::string failureText(const FileError& failure) const {
        std::string text = failure.what();
        const std::string name = "\"" + displayPath(script) + "\"";
        if (failure.code() == Refusal::changedByAnotherProgram)
            text += " The script " + name + " was left as that program saved it.";
        else
            text += " The script " + name +
                    (scriptChanged ? " was changed by this run." : " was not changed.");
        if (backupSaved && logSaved)
            text += " The text as read is kept in the backup \"" + displayPath(backup) +
                    "\" and in the log \"" + displayPath(log) + "\".";
        else if (backupSaved)
            text += " The text as read is kept in the backup \"" + displayPath(backup) + "\".";
        else if (logSaved)
            text += " The text as read is kept in the log \"" + displayPath(log) + "\".";
        return text;
    }
};

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    return *std::localtime(&now);
}

// A name from the file list is one name: anything that would lead out of the folder is refused.
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

constexpr std::string_view versionQuestion =
    "The file has been successfully patched to unofficial version 4.8a. Would you like to update "
    "the Morvane version information to reflect this change (you may be told that you are "
    "running an old version of Morvane when you start it up)?";

// The folder chosen, opened once: the script's name, the backup and every temporary file beside
// them are reached through it, however the path to it changes while the run goes on.
os::Folder openedFolder(const fs::path& folder, const fs::path& script) {
    os::Folder opened;
    check(os::openFolder(folder, opened), "open the script", script);
    return opened;
}

// One run, once the user has confirmed it: its script open and read, what it has written kept in
// the record that a failure's message is made from.
class Run {
public:
    // Everything that can be refused before the script is read is refused here.
    Run(RunRecord& record, PatchUi& ui, const LocalClock& clock, const fs::path& folder,
        const fs::path& fileName, std::string_view shownName)
        : record_(record)
        , ui_(ui)
        , clock_(clock)
        , name_(shownName)
        , folder_(openedFolder(folder, record.script))
        , script_(folder_, fileName, record.script)
        , backup_(folder_, backupPathFor(fileName), record.backup) {}

    // What the run does is decided here, from what the category patch would change; a run that
    // would change nothing writes nothing, so a second press of Patch leaves the first one's
    // backup and adds no log record.
    void carryOut() {
        ScriptContent content(script_.read());
        if (categoryPatchChanges(content.text())) {
            patch(std::move(content));
            return;
        }
        const PatchFindings found = findingsIn(content.text(), {});
        if (found.complete()) {
            ui_.showStatus("File already patched.");
            offerVersionOnly(content);
        } else if (found.nothingFound()) {
            ui_.showStatus("File not patched.");
            ui_.showInfo(name_ +
                         " does not look like the Morvane 4.8 script: none of the lines the patch "
                         "changes were found. Nothing was changed.");
        } else {
            ui_.showStatus("File not patched.");
            ui_.showInfo(partialReport(name_, found));
        }
    }

private:
    void patch(ScriptContent content) {
        keepTextAsRead(content);
        auto patched = applyCategoryPatch(std::move(content).takeText());
        const PatchFindings found = findingsIn(patched.text, patched.replacements);
        ui_.showStatus("Writing updated file...");
        writeScript(patched.text);
        if (found.complete()) {
            ui_.showStatus("File patched successfully!");
            offerVersionChange(std::move(patched.text));
        } else {
            ui_.showStatus("File not fully patched.");
            ui_.showInfo(partialReport(name_, found));
        }
    }

    void offerVersionChange(std::string text) {
        if (!ui_.askYesNo(versionQuestion, false))
            return;
        ui_.showStatus("Applying version changes...");
        auto versioned = applyVersionPatch(std::move(text));
        // Without the version alias there is nothing to raise: saying it was raised would be false.
        if (versioned.replacements[0] == 0 && versioned.replacements[1] == 0) {
            ui_.showStatus("Version not changed.");
            ui_.showInfo("The version information was not changed: " + name_ + " has no line \"" +
                         std::string(ruleV2.find) + "\".");
            return;
        }
        writeVersion(versioned.text);
    }

    // An already patched script is written only to raise its version, and only when that would
    // change it.
    void offerVersionOnly(const ScriptContent& content) {
        auto versioned = applyVersionPatch(content.text());
        if (versioned.text == content.text()) {
            ui_.showInfo(name_ + " is already patched. Nothing was changed.");
            return;
        }
        if (!ui_.askYesNo(versionQuestion, false))
            return;
        keepTextAsRead(content);
        ui_.showStatus("Applying version changes...");
        writeVersion(versioned.text);
    }

    // The log record and then the backup, flushed, before the script changes. A script this run
    // could not write is refused before either is written.
    void keepTextAsRead(const ScriptContent& content) {
        ui_.showStatus("Creating backup file...");
        backup_.requireWritable();
        script_.requireWritable();
        LogFile log(record_.log);
        log.append(logHeader(clock_()));
        log.append(content.text());
        backup_.write(script_, content.bytes());
        record_.backupSaved = true;
        log.syncAndClose();
        record_.logSaved = true;
        if (log.madePrivate())
            ui_.showInfo("The patch log \"" + displayPath(log.path()) +
                         "\" could be read by other users. It is now readable by you alone.");
        ui_.showStatus("Backup file created. Patching...");
    }

    void writeVersion(const std::string& text) {
        writeScript(text);
        ui_.showStatus("Version changes applied.");
        ui_.showInfo("Version changes have been applied.");
    }

    void writeScript(const std::string& text) {
        script_.write(text, lineEnd);
        record_.scriptChanged = true;
    }

    RunRecord& record_;
    PatchUi& ui_;
    const LocalClock& clock_;
    std::string name_;
    os::Folder folder_;
    ScriptFile script_;
    BackupFile backup_;
};

} // namespace

void runPatch(const fs::path& folder, const fs::path& fileName, PatchUi& ui,
              const fs::path& logFolder) {
    runPatch(folder, fileName, ui, logFolder, localNow);
}

void runPatch(const fs::path& folder, const fs::path& fileName, PatchUi& ui,
              const fs::path& logFolder, const LocalClock& clock) {
    checkFileName(fileName);
    const std::string shownName = displayPath(fileName);

    ui.showStatus("Loading Patch Data...");
    if (!ui.askYesNo("Are you sure you want to patch '" + shownName + "' to version 4.8a?", true)) {
        ui.showStatus("");
        return;
    }
    ui.setBrowserEnabled(false);
    ui.showStatus("Patching...");

    RunRecord run;
    run.script = folder / fileName;
    run.backup = backupPathFor(run.script);
    run.log = logFolder / logFileName;
    try {
        Run(run, ui, clock, folder, fileName, shownName).carryOut();
    } catch (const FileError& failure) {
        throw PatchError(run.failureText(failure), failure.code());
    } catch (const std::bad_alloc&) {
        // The patched text outgrew memory after the read fitted: the same answer for the user.
        const FileError failure("patch", run.script,
                                std::make_error_code(std::errc::file_too_large), tooLargeReason);
        throw PatchError(run.failureText(failure), failure.code());
    }
    ui.setBrowserEnabled(true);
}

} // namespace engine
