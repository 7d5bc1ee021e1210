#include "engine/patch_rules.h"
#include "engine/patch_run.h"
#include "engine/script_files.h"
#include "tests/engine/patch_run_cases.h"

#include <gtest/gtest.h>

namespace {

using namespace patch_run_cases;

TEST_F(PatchRun, YesAndYesWritesBothPatchesAndKeepsTheTextAsRead) {
    const auto events = runWith({true, true}, script());
    EXPECT_EQ(
        events,
        (std::vector<std::string>{
            "status:Loading Patch Data...", firstQuestion, "browser:off", "status:Patching...",
            "status:Creating backup file...", "status:Backup file created. Patching...",
            "status:Writing updated file...", "status:File patched successfully!", versionQuestion,
            "status:Applying version changes...", "status:Version changes applied.",
            "info:Version changes have been applied.", "browser:on"}));
    EXPECT_EQ(readBytes(scriptPath()), patchedScript("4.8a") + "\r\n");
    EXPECT_EQ(readBytes(backupPath()), script() + "\r\n");
    EXPECT_EQ(readBytes(logPath()), header() + script());
    EXPECT_EQ(namesIn(root / "scripts"),
              (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
}

TEST_F(PatchRun, YesThenNoLeavesTheVersionAlone) {
    const auto events = runWith({true, false}, script());
    EXPECT_EQ(events.back(), "browser:on");
    EXPECT_EQ(events[events.size() - 3], "status:File patched successfully!");
    EXPECT_EQ(readBytes(scriptPath()), patchedScript("4.8") + "\r\n");
    EXPECT_EQ(readBytes(backupPath()), script() + "\r\n");
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

TEST_F(PatchRun, SecondRunBacksUpThePatchedTextAndAppendsASecondRecord) {
    runWith({true, true}, script());
    const std::string once = readBytes(scriptPath());
    RecordingUi ui({true, true});
    run(ui);

    // C1 and C2 are already there, so the run counts as complete; C3 leaves the command it
    // commented out the first time.
    EXPECT_NE(std::find(ui.events.begin(), ui.events.end(), "status:File patched successfully!"),
              ui.events.end());
    EXPECT_EQ(readBytes(backupPath()), once + "\r\n");
    EXPECT_EQ(readBytes(logPath()), header() + script() + header() + once);
    EXPECT_EQ(readBytes(scriptPath()), patchedScript("4.8a") + "\r\n\r\n");
}

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

TEST_P(LineEnds, FilesAreWrittenWithCrLfAndTheRulesStillMatch) {
    const auto& c = GetParam();
    runWith({true, false}, c.bytes);
    EXPECT_EQ(readBytes(logPath()), header() + c.text);
    EXPECT_EQ(readBytes(backupPath()), c.text + "\r\n");
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
    EXPECT_EQ(readBytes(backupPath()), text + "\r\n");
    EXPECT_EQ(readBytes(logPath()), header() + text);
}

struct OutcomeCase {
    const char* name;
    std::string bytes;
    std::string status;
    std::string createRoom;
    std::string roomBrowser;
    std::string debugLog;
    bool rewritten;
};

// Test lists show the case by name, not as a dump of its bytes.
void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class Outcomes : public PatchRun, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcomes, AnIncompletePatchIsReportedNotCalledASuccess) {
    const auto& c = GetParam();
    const auto events = runWith({true, true}, c.bytes);
    const std::string report = "info:Some of the changes could not be made to morvane.mrc:\r\n"
                               "Chat Partners in the create-room list: " +
                               c.createRoom +
                               "\r\nChat Partners in the room browser: " + c.roomBrowser +
                               "\r\nDebug log command: " + c.debugLog;
    std::vector<std::string> expected{"status:Loading Patch Data...",
                                      firstQuestion,
                                      "browser:off",
                                      "status:Patching...",
                                      "status:Creating backup file...",
                                      "status:Backup file created. Patching..."};
    if (c.rewritten)
        expected.push_back("status:Writing updated file...");
    expected.insert(expected.end(), {"status:" + c.status, report, "browser:on"});
    EXPECT_EQ(events, expected);

    const std::string text = engine::scriptTextFromBytes(c.bytes);
    EXPECT_EQ(readBytes(scriptPath()),
              c.rewritten ? engine::applyCategoryPatch(text).text + "\r\n" : c.bytes);
    EXPECT_EQ(readBytes(backupPath()), text + "\r\n");
    EXPECT_EQ(readBytes(logPath()), header() + text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Outcomes,
    ::testing::Values(
        OutcomeCase{"Unrelated", "alias hello { echo hi }\n", "File not patched.", "not found",
                    "not found", "not found", false},
        OutcomeCase{"Empty", "", "File not patched.", "not found", "not found", "not found", false},
        OutcomeCase{"DebugOnly", c3 + "\r\n", "File not fully patched.", "not found", "not found",
                    "commented out", true},
        OutcomeCase{"CreateRoomOnly", c1 + "\r\n", "File not fully patched.", "added", "not found",
                    "not found", true},
        OutcomeCase{"ChangedByHand", c1Patched + "\r\n" + c3 + "\r\n", "File not fully patched.",
                    "already there", "not found", "commented out", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PatchRun, ListsAlreadyThereCountAsPatched) {
    const auto events = runWith({true, false}, c1Patched + "\r\n" + c2Patched + "\r\n");
    EXPECT_EQ(events[events.size() - 3], "status:File patched successfully!");
    EXPECT_EQ(events[events.size() - 2], versionQuestion);
}

TEST_F(PatchRun, WithoutAFileNameNothingIsShownOrTouched) {
    using namespace std::string_view_literals;
    for (std::string_view name :
         {""sv, "."sv, ".."sv, "../morvane.mrc"sv, "scripts/morvane.mrc"sv, "a\0b.mrc"sv}) {
        RecordingUi ui({true, true});
        failureOf([&] { run(ui, name); });
        EXPECT_TRUE(ui.events.empty()) << name;
    }
    EXPECT_TRUE(namesIn(root / "logs").empty());
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

TEST_F(PatchRun, VersionStepWithoutTheAliasLeavesTheScriptAndSaysSo) {
    writeBytes(scriptPath(), c1 + "\r\n" + c2 + "\r\n");
    RecordingUi ui({true, true});
    run(ui);
    const std::string afterCategory = c1Patched + "\r\n" + c2Patched + "\r\n\r\n";
    EXPECT_EQ(readBytes(scriptPath()), afterCategory);
    const std::vector<std::string> ending(ui.events.end() - 4, ui.events.end());
    EXPECT_EQ(ending, (std::vector<std::string>{
                          "status:Applying version changes...", "status:Version not changed.",
                          "info:The version information was not changed: morvane.mrc has no "
                          "line \"alias msn.vver return 4.8\".",
                          "browser:on"}));
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
