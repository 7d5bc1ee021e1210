#include "engine/patch_rules.h"
#include "engine/patch_run.h"
#include "engine/script_files.h"
#include "tests/engine/patch_run_cases.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace patch_run_cases;

// What a run writes and says, for each kind of script a user may patch.
struct RunCase {
    const char* name;
    std::string script;            // the script's bytes before the run
    std::vector<bool> answers;     // to the run's questions, from the first on
    std::vector<std::string> said; // what the run shows and asks after "Patching..."
    std::string written = {};      // what the script holds afterwards; empty: left as it was
    bool backedUp = false;         // a backup of the bytes as read and a log record were written
    bool readOnly = false;
    bool refused = false; // the run ends with the reason the script cannot be written
};

// Test lists show the case by name, not as a dump of its bytes.
void PrintTo(const RunCase& c, std::ostream* out) {
    *out << c.name;
}

class Runs : public PatchRun, public ::testing::WithParamInterface<RunCase> {};

TEST_P(Runs, WriteAndSayWhatTheScriptCallsFor) {
    const RunCase& c = GetParam();
    writeBytes(scriptPath(), c.script);
    if (c.readOnly) {
        fs::permissions(scriptPath(),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        if (std::ofstream(scriptPath(), std::ios::app))
            GTEST_SKIP() << "this user may write a read-only file, as root may";
    }
    const auto folderChanged = fs::last_write_time(root / "scripts");
    RecordingUi ui(c.answers);
    std::error_code failed;
    std::string failure;
    try {
        run(ui);
    } catch (const engine::PatchError& error) {
        failed = error.code();
        failure = error.what();
    }

    std::vector<std::string> said{"status:Loading Patch Data...", firstQuestion, "browser:off",
                                  "status:Patching..."};
    said.insert(said.end(), c.said.begin(), c.said.end());
    if (!c.refused)
        said.push_back("browser:on");
    EXPECT_EQ(ui.events, said);
    if (c.refused) {
        EXPECT_EQ(failed, std::errc::permission_denied) << failure;
        EXPECT_TRUE(
            contains(failure, "Could not write the script \"" + scriptPath().string() + "\": "))
            << failure;
        EXPECT_TRUE(contains(failure, "was not changed.")) << failure;
    } else {
        EXPECT_TRUE(failure.empty()) << failure;
    }
    EXPECT_EQ(readBytes(scriptPath()), c.written.empty() ? c.script : c.written);
    if (c.backedUp) {
        EXPECT_EQ(readBytes(backupPath()), c.script);
        EXPECT_EQ(readBytes(logPath()), header() + c.script);
        EXPECT_EQ(namesIn(root / "scripts"),
                  (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
    } else {
        EXPECT_EQ(namesIn(root / "scripts"), std::vector<std::string>{"morvane.mrc"});
        EXPECT_FALSE(fs::exists(root / "logs"));
        if (!c.refused) {
            EXPECT_EQ(fs::last_write_time(root / "scripts"), folderChanged)
                << "a run that writes nothing made or removed a file beside the script";
        }
    }
}

std::string report(const std::string& createRoom, const std::string& roomBrowser,
                   const std::string& debugLog) {
    return "info:Some of the changes could not be made to morvane.mrc:\r\n"
           "Chat Partners in the create-room list: " +
           createRoom + "\r\nChat Partners in the room browser: " + roomBrowser +
           "\r\nDebug log command: " + debugLog;
}

const std::vector<std::string> firstRun{
    "status:Creating backup file...", "status:Backup file created. Patching...",
    "status:Writing updated file...", "status:File patched successfully!", versionQuestion};
const std::vector<std::string> versionRaised{"status:Applying version changes...",
                                             "status:Version changes applied.",
                                             "info:Version changes have been applied."};

std::vector<std::string> operator+(std::vector<std::string> first,
                                   const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Patched once and answered No to the version; with it; and by the program before the debug
// command was commented out once only, which put a note before it on every run.
const std::string once = patchedScript("4.8") + "\r\n";
const std::string withVersion = patchedScript("4.8a") + "\r\n";
const std::string twiceByAnEarlierVersion =
    patchedScript("4.8a", ";-debug-(removed by patcher); " + c3Patched) + "\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Scripts, Runs,
    ::testing::Values(
        RunCase{"OriginalYesYes",
                script(),
                {true, true},
                firstRun + versionRaised,
                patchedScript("4.8a") + "\r\n",
                true},
        RunCase{"OriginalYesNo", script(), {true, false}, firstRun, once, true},
        RunCase{"OriginalWithoutTheVersionAlias",
                c1 + "\r\n" + c2 + "\r\n",
                {true, true},
                firstRun + std::vector<std::string>{"status:Applying version changes...",
                                                    "status:Version not changed.",
                                                    "info:The version information was not "
                                                    "changed: morvane.mrc has no line \"alias "
                                                    "msn.vver return 4.8\"."},
                c1Patched + "\r\n" + c2Patched + "\r\n\r\n",
                true},
        RunCase{"OncePatchedYesYes",
                once,
                {true, true},
                std::vector<std::string>{"status:File already patched.", versionQuestion,
                                         "status:Creating backup file...",
                                         "status:Backup file created. Patching..."} +
                    versionRaised,
                patchedScript("4.8a") + "\r\n\r\n",
                true},
        RunCase{"OncePatchedYesNo",
                once,
                {true, false},
                {"status:File already patched.", versionQuestion}},
        RunCase{"PatchedWithTheVersion",
                withVersion,
                {true, true},
                {"status:File already patched.",
                 "info:morvane.mrc is already patched. Nothing was changed."}},
        RunCase{"PatchedTwiceByAnEarlierVersion",
                twiceByAnEarlierVersion,
                {true, true},
                {"status:File already patched.",
                 "info:morvane.mrc is already patched. Nothing was changed."}},
        RunCase{"ListsPatchedByHandWithoutDebugCommandOrAlias",
                c1Patched + "\r\n" + c2Patched + "\r\n",
                {true, true},
                {"status:File already patched.",
                 "info:morvane.mrc is already patched. Nothing was changed."}},
        RunCase{"PartlyPatchable",
                c1 + "\r\n",
                {true, true},
                {"status:Creating backup file...", "status:Backup file created. Patching...",
                 "status:Writing updated file...", "status:File not fully patched.",
                 report("added", "not found", "not found")},
                c1Patched + "\r\n\r\n",
                true},
        RunCase{"PartlyPatchedByHand",
                c1Patched + "\r\n" + c3 + "\r\n",
                {true, true},
                {"status:Creating backup file...", "status:Backup file created. Patching...",
                 "status:Writing updated file...", "status:File not fully patched.",
                 report("already there", "not found", "commented out")},
                c1Patched + "\r\n" + c3Patched + "\r\n\r\n",
                true},
        RunCase{"PartlyPatchedAlready",
                c1Patched + "\r\n" + c3Patched + "\r\n",
                {true, true},
                {"status:File not patched.",
                 report("already there", "not found", "already commented out")}},
        RunCase{"NotTheScript",
                "alias hello { echo hi }\n",
                {true, true},
                {"status:File not patched.",
                 "info:morvane.mrc does not look like the Morvane 4.8 script: none of the lines "
                 "the patch changes were found. Nothing was changed."}},
        RunCase{"Empty",
                "",
                {true, true},
                {"status:File not patched.",
                 "info:morvane.mrc does not look like the Morvane 4.8 script: none of the lines "
                 "the patch changes were found. Nothing was changed."}},
        RunCase{"ReadOnly",
                script(),
                {true, true},
                {"status:Creating backup file..."},
                {},
                false,
                true,
                true},
        RunCase{"ReadOnlyPatchedWithTheVersion",
                withVersion,
                {true, true},
                {"status:File already patched.",
                 "info:morvane.mrc is already patched. Nothing was changed."},
                {},
                false,
                true}),
    [](const auto& info) { return std::string(info.param.name); });

// Pressing Patch again to be sure leaves the first run's backup and log record as they were.
TEST_F(PatchRun, ASecondRunKeepsTheFirstRunsBackupAndLog) {
    runWith({true, true}, script());
    const auto events = runWith({true, true}, readBytes(scriptPath()));
    EXPECT_EQ(events[4], "status:File already patched.");
    EXPECT_EQ(readBytes(scriptPath()), withVersion);
    EXPECT_EQ(readBytes(backupPath()), script());
    EXPECT_EQ(readBytes(logPath()), header() + script());
}

TEST_F(PatchRun, NoTouchesNothing) {
    const auto events = runWith({false}, script());
    EXPECT_EQ(events,
              (std::vector<std::string>{"status:Loading Patch Data...", firstQuestion, "status:"}));
    EXPECT_EQ(readBytes(scriptPath()), script());
    EXPECT_FALSE(fs::exists(backupPath()));
    EXPECT_FALSE(fs::exists(logPath()));
}

// What the next run finds when a write in place was cut short: the marker beside the script
// (".~" + name + "#", its first line the backup's name), the backup, and the script as left.
struct InterruptedCase {
    const char* name;
    std::string script; // as the cut-short write left it
    std::string backup; // empty: none; "/": a folder at its name
    std::string marker; // what the marker holds
    std::vector<bool> answers;
    std::vector<std::string> said; // after "Loading Patch Data...", up to the first question
    std::string written;           // what the script holds afterwards; empty: as it was
    bool markerLeft;
    bool logKept = false; // an earlier run's record is in the log
};

void PrintTo(const InterruptedCase& c, std::ostream* out) {
    *out << c.name;
}

class AfterAnInterruptedWrite : public PatchRun,
                                public ::testing::WithParamInterface<InterruptedCase> {};

TEST_P(AfterAnInterruptedWrite, TheNextRunSaysSoFirstAndOffersTheBackup) {
    const InterruptedCase& c = GetParam();
    const fs::path marker = root / "scripts" / ".~morvane.mrc#";
    writeBytes(scriptPath(), c.script);
    writeBytes(marker, c.marker);
    if (c.backup == "/")
        fs::create_directory(backupPath());
    else if (!c.backup.empty())
        writeBytes(backupPath(), c.backup);
    if (c.logKept) {
        fs::create_directory(root / "logs");
        writeBytes(logPath(), header() + script());
    }
    RecordingUi ui(c.answers);
    run(ui);

    std::vector<std::string> said{"status:Loading Patch Data..."};
    for (std::string text : c.said) {
        if (const auto at = text.find("{log}"); at != std::string::npos)
            text.replace(at, 5, logPath().string());
        said.push_back(text);
    }
    said.push_back(firstQuestion);
    EXPECT_EQ(std::vector<std::string>(ui.events.begin(),
                                       ui.events.begin() + std::min(ui.events.size(), said.size())),
              said);
    EXPECT_EQ(readBytes(scriptPath()), c.written.empty() ? c.script : c.written);
    EXPECT_EQ(fs::exists(marker), c.markerLeft);
    if (c.backup.size() > 1) {
        const bool patched = c.answers.size() > 1 && c.answers[1];
        EXPECT_EQ(readBytes(backupPath()), patched ? c.script : c.backup);
    }
}

// Cut short in the room browser's list, the create-room list whole.
const std::string cutShort = script().substr(0, script().find(c2) + 20);
// The create-room list patched and the rest as it was, every line ended, one more line end.
std::string cutShortPatched() {
    std::string text = cutShort;
    text.replace(text.find(c1), c1.size(), c1Patched);
    return text + "\r\n\r\n";
}
const std::string markerText = "morvane.mrc.bak\n";
const std::string interrupted =
    "The last patch of 'morvane.mrc' was interrupted while the script was written: the script "
    "may be incomplete.";
const std::string offered = "ask?[No]:" + interrupted +
                            " The backup 'morvane.mrc.bak' holds the text as it was. Do you want "
                            "to put the backup back first? No leaves the script as it is.";
const std::vector<std::string> putBack{
    offered, "browser:off", "status:Putting the backup back...",
    "info:The backup 'morvane.mrc.bak' was put back: 'morvane.mrc' holds the text from before "
    "the interrupted patch again.",
    "browser:on"};

INSTANTIATE_TEST_SUITE_P(
    Scenes, AfterAnInterruptedWrite,
    ::testing::Values(
        InterruptedCase{
            "PutBack", cutShort, script(), markerText, {true, false}, putBack, script(), false},
        InterruptedCase{
            "LeftAsItIs", cutShort, script(), markerText, {false, false}, {offered}, {}, true},
        // Patched as it is: the backup then holds the cut-short script, the marker would lie.
        InterruptedCase{"LeftAndPatched",
                        cutShort,
                        script(),
                        markerText,
                        {false, true, false},
                        {offered},
                        cutShortPatched(),
                        false},
        InterruptedCase{"BackupGone",
                        cutShort,
                        "",
                        markerText,
                        {false},
                        {"info:" + interrupted +
                         " Its backup 'morvane.mrc.bak' is gone, so it cannot be put back. The "
                         "patch log \"{log}\" keeps the text as it was read."},
                        {},
                        true,
                        true},
        InterruptedCase{"BackupNotAFile",
                        cutShort,
                        "/",
                        markerText,
                        {false},
                        {"info:" + interrupted +
                         " Its backup 'morvane.mrc.bak' is not a regular file, so it "
                         "cannot be put back."},
                        {},
                        true},
        // Cut short before its first byte or after its last: nothing to say, nothing to keep.
        InterruptedCase{"ScriptAsItWas", script(), script(), markerText, {false}, {}, {}, false},
        InterruptedCase{"ScriptWhole",
                        patchedScript("4.8a") + "\r\n",
                        script(),
                        markerText,
                        {false},
                        {},
                        {},
                        false},
        // Not a marker this program wrote: left alone, and nothing said.
        InterruptedCase{
            "MarkerOfAnotherFile", cutShort, script(), "other.mrc.bak\n", {false}, {}, {}, true},
        InterruptedCase{
            "MarkerCutShort", cutShort, script(), "morvane.mrc.b", {false}, {}, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineEndCase {
    const char* name;
    std::string bytes;
    std::string text; // the script text the bytes are read as
};

// Test lists show the case by name, not as a dump of its bytes.
void PrintTo(const LineEndCase& c, std::ostream* out) {
    *out << c.name;
}

class LineEnds : public PatchRun, public ::testing::WithParamInterface<LineEndCase> {};

// The script is written with CR LF line ends; the log keeps the text as read, line by line, and
// the backup the file as it was, byte for byte.
TEST_P(LineEnds, FilesAreWrittenWithCrLfAndTheRulesStillMatch) {
    const auto& c = GetParam();
    runWith({true, false}, c.bytes);
    EXPECT_EQ(readBytes(logPath()), header() + c.text);
    EXPECT_EQ(readBytes(backupPath()), c.bytes);
    EXPECT_EQ(readBytes(scriptPath()), engine::applyCategoryPatch(c.text).text + "\r\n");
    EXPECT_NE(readBytes(scriptPath()).find(c1Patched), std::string::npos);
}

std::string withoutFinalLineEnd() {
    std::string bytes = script();
    bytes.resize(bytes.size() - 2);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Variants, LineEnds,
    ::testing::Values(LineEndCase{"CrLf", script(), script()},
                      LineEndCase{"LfOnly", script("\n"), script("\n") + "\r\n"},
                      LineEndCase{"LoneCr", script("\r"), script()},
                      LineEndCase{"NoFinalLineEnd", withoutFinalLineEnd(), script()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PatchRun, EveryByteValueOutsideThePatchedTextsComesBackUnchanged) {
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        if (value != '\r')
            bytes += static_cast<char>(value);
    const std::string text = bytes + "\r\n" + script() + bytes + "\r\n";
    runWith({true, false}, text);
    EXPECT_EQ(readBytes(scriptPath()), bytes + "\r\n" + patchedScript("4.8") + bytes + "\r\n\r\n");
    EXPECT_EQ(readBytes(backupPath()), text);
    EXPECT_EQ(readBytes(logPath()), header() + text);
}

TEST_F(PatchRun, WithoutAFileNameNothingIsShownOrTouched) {
    using namespace std::string_view_literals;
    for (std::string_view name :
         {""sv, "."sv, ".."sv, "../morvane.mrc"sv, "scripts/morvane.mrc"sv, "a\0b.mrc"sv}) {
        RecordingUi ui({true, true});
        failureOf([&] { run(ui, name); });
        EXPECT_TRUE(ui.events.empty()) << name;
    }
    EXPECT_FALSE(fs::exists(root / "logs"));
}

TEST_F(PatchRun, AFolderIsNeverTakenForAnEmptyScript) {
    fs::create_directory(root / "scripts" / "folder.mrc");
    RecordingUi ui({true, true});
    const std::string text = failureOf([&] { run(ui, "folder.mrc"); });
    EXPECT_TRUE(contains(text, (root / "scripts" / "folder.mrc").string())) << text;
    EXPECT_TRUE(contains(text, "folder")) << text;
    EXPECT_FALSE(fs::exists(logPath()));
    EXPECT_FALSE(fs::exists(root / "scripts" / "folder.mrc.bak"));
}

TEST_F(PatchRun, MissingScriptFailsBeforeTheLogIsOpened) {
    RecordingUi ui({true, true});
    const auto [text, code] = failureAndCodeOf([&] { run(ui, "gone.mrc"); });
    EXPECT_TRUE(contains(text, "Could not open the script")) << text;
    EXPECT_EQ(code, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(PatchRun, LogThatCannotBeOpenedLeavesTheScriptAlone) {
    writeBytes(scriptPath(), script());
    writeBytes(root / "logs-file", "x");
    fs::create_directories(root / "log-is-folder" / "parselog.log");
    for (const fs::path& logFolder : {root / "log-is-folder", root / "logs-file"}) {
        RecordingUi ui({true, true});
        const std::string text = failureOf(
            [&] { engine::runPatch(root / "scripts", "morvane.mrc", ui, logFolder, fixedTime); });
        EXPECT_TRUE(
            contains(text, "Could not open the log \"" + (logFolder / "parselog.log").string()) ||
            contains(text, "Could not create the log folder \"" + logFolder.string()))
            << text;
        EXPECT_TRUE(contains(text, "was not changed")) << text;
        EXPECT_EQ(ui.events.back(), "status:Creating backup file...");
    }
    EXPECT_EQ(readBytes(scriptPath()), script());
    EXPECT_FALSE(fs::exists(backupPath()));
}

// A folder at the backup's name is seen before anything is written, the log included.
TEST_F(PatchRun, BackupThatCannotBeWrittenLeavesTheScriptAlone) {
    writeBytes(scriptPath(), script());
    fs::create_directory(backupPath());
    RecordingUi ui({true, true});
    const auto [text, code] = failureAndCodeOf([&] { run(ui); });
    EXPECT_TRUE(contains(text, "Could not write the backup")) << text;
    EXPECT_EQ(code, std::errc::is_a_directory);
    EXPECT_TRUE(contains(text, "was not changed")) << text;
    EXPECT_EQ(readBytes(scriptPath()), script());
    EXPECT_FALSE(fs::exists(logPath()));
    EXPECT_EQ(namesIn(root / "scripts"),
              (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
}

} // namespace
