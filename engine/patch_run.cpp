#include "engine/patch_run.h"

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

enum class ListState { added, alreadyThere, notFound };

ListState listState(std::size_t replacements, const std::string& text, const PatchRule& rule) {
    if (replacements > 0)
        return ListState::added;
    return text.find(rule.replacement) != std::string::npos ? ListState::alreadyThere
                                                            : ListState::notFound;
}

std::string_view describe(ListState state) {
    switch (state) {
    case ListState::added:
        return "added";
    case ListState::alreadyThere:
        return "already there";
    case ListState::notFound:
        break;
    }
    return "not found";
}

std::string partialReport(std::string_view fileName, ListState createRoom, ListState roomBrowser,
                          bool debugCommented) {
    std::string report = "Some of the changes could not be made to " + std::string(fileName) + ":";
    report += lineEnd;
    report += "Chat Partners in the create-room list: " + std::string(describe(createRoom));
    report += lineEnd;
    report += "Chat Partners in the room browser: " + std::string(describe(roomBrowser));
    report += lineEnd;
    report += "Debug log command: ";
    report += debugCommented ? "commented out" : "not found";
    return report;
}

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
}

void writeScript(RunRecord& run, ScriptFile& script, const std::string& text) {
    script.write(text, lineEnd);
    run.scriptChanged = true;
}

void offerVersionChange(RunRecord& run, ScriptFile& script, std::string_view fileName,
                        std::string text, PatchUi& ui) {
    if (!ui.askYesNo("The file has been successfully patched to unofficial version 4.8a. Would "
                     "you like to update the Morvane version information to reflect this change "
                     "(you may be told that you are running an old version of Morvane when you "
                     "start it up)?",
                     false))
        return;
    ui.showStatus("Applying version changes...");
    auto versioned = applyVersionPatch(std::move(text));
    // Without the version alias there is nothing to raise: saying it was raised would be false.
    if (versioned.replacements[0] == 0 && versioned.replacements[1] == 0) {
        ui.showStatus("Version not changed.");
        ui.showInfo("The version information was not changed: " + std::string(fileName) +
                    " has no line \"" + std::string(ruleV2.find) + "\".");
        return;
    }
    writeScript(run, script, versioned.text);
    ui.showStatus("Version changes applied.");
    ui.showInfo("Version changes have been applied.");
}

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
    ui.showStatus("Creating backup file...");

    RunRecord run;
    run.script = folder / fileName;
    run.backup = backupPathFor(run.script);
    run.log = logFolder / logFileName;
    try {
        // Everything that can be refused before anything is written is refused here.
        ScriptFile script(run.script);
        BackupFile backup(run.backup);
        LogFile log(run.log);
        log.append(logHeader(clock()));
        std::string text = scriptTextFromBytes(script.read());
        log.append(text);
        backup.write(script, text, lineEnd);
        run.backupSaved = true;
        log.syncAndClose();
        run.logSaved = true;
        ui.showStatus("Backup file created. Patching...");

        auto patched = applyCategoryPatch(std::move(text));
        const ListState createRoom = listState(patched.replacements[0], patched.text, ruleC1);
        const ListState roomBrowser = listState(patched.replacements[1], patched.text, ruleC2);
        const bool debugCommented = patched.replacements[2] > 0;
        const bool complete =
            createRoom != ListState::notFound && roomBrowser != ListState::notFound;
        const bool changed =
            createRoom == ListState::added || roomBrowser == ListState::added || debugCommented;

        // A script the rules did not change is left alone rather than rewritten for nothing.
        if (complete || changed) {
            ui.showStatus("Writing updated file...");
            writeScript(run, script, patched.text);
        }
        if (complete) {
            ui.showStatus("File patched successfully!");
            offerVersionChange(run, script, shownName, std::move(patched.text), ui);
        } else {
            ui.showStatus(changed ? "File not fully patched." : "File not patched.");
            ui.showInfo(partialReport(shownName, createRoom, roomBrowser, debugCommented));
        }
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
