#include "engine/patch_run.h"

#include "engine/interrupted_write.h"
#include "engine/os_file.h"
#include "engine/patch_findings.h"
#include "engine/patch_rules.h"
#include "engine/run_steps.h"
#include "engine/script_files.h"

#include <array>
#include <optional>
#include <utility>

namespace engine {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view versionQuestion =
    "The file has been successfully patched to unofficial version 4.8a. Would you like to update "
    "the Morvane version information to reflect this change (you may be told that you are "
    "running an old version of Morvane when you start it up)?";

// One run, once the user has confirmed it: its script open and read, and what it has written,
// which a failure's message is made from.
class Run {
public:
    // Everything that can be refused before the script is read is refused here. markerLeft: a
    // marker of an earlier write in place is left beside the backup.
    Run(const fs::path& folder, const fs::path& fileName, const fs::path& log, PatchUi& ui,
        const LocalClock& clock, std::string_view shownName, bool markerLeft)
        : log_(log)
        , ui_(ui)
        , clock_(clock)
        , name_(shownName)
        , markerLeft_(markerLeft)
        , folder_(openedFolder(folder, folder / fileName))
        , script_(folder_, fileName, folder / fileName)
        , backup_(folder_, backupPathFor(fileName), backupPathFor(folder / fileName)) {
        refuseItsOwnFiles(script_, backup_, log_);
    }

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

    std::string failureText(const FileError& failure) const {
        return engine::failureText(failure, script_, backup_,
                                   backupSaved_ && backup_.holdsWhatWasWritten(), log_,
                                   logSaved_ && logStillHolds(log_, logWritten_));
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
        if (!ui_.askYesNo(versionQuestion, false, DefaultAnswer::yes))
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
        if (!ui_.askYesNo(versionQuestion, false, DefaultAnswer::yes))
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
        LogFile log(log_);
        appendLogRecord(log, clock_(), content.text(), logWritten_);
        backup_.write(script_, content.bytes());
        backupSaved_ = true;
        // The backup holds what the script is now: an earlier marker saying it holds the text
        // from before a cut-short write would mislead.
        if (markerLeft_)
            check(os::removeNote(backup_.folder(), backup_.markerName()), "remove the marker",
                  backup_.markerPath());
        closeLog(log, ui_);
        logSaved_ = true;
        ui_.showStatus("Backup file created. Patching...");
    }

    void writeVersion(const std::string& text) {
        writeScript(text);
        ui_.showStatus("Version changes applied.");
        ui_.showInfo("Version changes have been applied.");
    }

    void writeScript(const std::string& text) { script_.write(text, lineEnd, &backup_); }

    fs::path log_;
    PatchUi& ui_;
    const LocalClock& clock_;
    std::string name_;
    bool markerLeft_;
    os::Folder folder_;
    ScriptFile script_;
    BackupFile backup_;
    bool backupSaved_ = false;
    bool logSaved_ = false;
    os::FileStatus logWritten_; // the log with this run's record, before it was flushed
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
    const fs::path script = folder / fileName;
    const fs::path log = logFolder / logFileName;

    ui.showStatus("Loading Patch Data...");
    const bool markerLeft = answerAnInterruptedWrite(script, shownName, ui, log);
    if (!ui.askYesNo("Are you sure you want to patch '" + shownName + "' to version 4.8a?", true,
                     DefaultAnswer::yes)) {
        ui.showStatus("");
        return;
    }
    ui.setBrowserEnabled(false);
    ui.showStatus("Patching...");

    std::optional<Run> run;
    carryOutOrSayWhy(
        run, [&] { run.emplace(folder, fileName, log, ui, clock, shownName, markerLeft); }, "patch",
        script);
    ui.setBrowserEnabled(true);
}

} // namespace engine
