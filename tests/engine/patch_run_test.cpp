#include "engine/os_file.h"
#include "engine/patch_rules.h"
#include "engine/patch_run.h"
#include "engine/script_files.h"
#include "tests/engine/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/mount.h>

namespace {

namespace fs = std::filesystem;
using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::RecordingUi;
using testing_support::TempFolder;
using testing_support::writeBytes;

const std::string c1(engine::ruleC1.find);
const std::string c2(engine::ruleC2.find);
const std::string c3(engine::ruleC3.find);
const std::string c1Patched(engine::ruleC1.replacement);
const std::string c2Patched(engine::ruleC2.replacement);
const std::string c3Patched(engine::ruleC3.replacement);

// A cut-down morvane.mrc holding every text the patch looks for.
std::string script(const std::string& eol = "\r\n", const std::string& version = "4.8") {
    return "; Morvane " + version + eol + "alias msn.vver return " + version + eol +
           "on *:DIALOG:msn.room.*:init:*: {" + eol + "  " + c1 + eol + "}" + eol +
           "on *:DIALOG:msn.roomcat:init:0: {" + eol + "  " + c2 + eol + "}" + eol + "raw *:*: {" +
           eol + "  " + c3 + eol + "}" + eol;
}

std::string patchedScript(const std::string& version, const std::string& marker = c3Patched) {
    return "; Morvane 4.8\r\nalias msn.vver return " + version +
           "\r\non *:DIALOG:msn.room.*:init:*: {\r\n  " + c1Patched +
           "\r\n}\r\non *:DIALOG:msn.roomcat:init:0: {\r\n  " + c2Patched +
           "\r\n}\r\nraw *:*: {\r\n  " + marker + "\r\n}\r\n";
}

const std::string firstQuestion =
    "ask?:Are you sure you want to patch 'morvane.mrc' to version 4.8a?";
const std::string versionQuestion =
    "ask:The file has been successfully patched to unofficial version 4.8a. Would you like to "
    "update the Morvane version information to reflect this change (you may be told that you "
    "are running an old version of Morvane when you start it up)?";

std::tm fixedTime() {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_hour = 14;
    time.tm_min = 5;
    time.tm_sec = 9;
    return time;
}

std::string header() {
    return engine::logHeader(fixedTime(), engine::userLocale());
}

// A script folder and a log folder side by side, as the program has them.
class PatchRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(root / "scripts");
        fs::create_directory(root / "logs");
    }

    fs::path scriptPath() const { return root / "scripts" / "morvane.mrc"; }
    fs::path backupPath() const { return root / "scripts" / "morvane.mrc.bak"; }
    fs::path logPath() const { return root / "logs" / "parselog.log"; }

    void run(RecordingUi& ui, std::string_view name = "morvane.mrc") {
        engine::runPatch(root / "scripts", name, ui, root / "logs", fixedTime);
    }

    std::vector<std::string> runWith(std::vector<bool> answers, std::string_view bytes) {
        writeBytes(scriptPath(), bytes);
        RecordingUi ui(std::move(answers));
        run(ui);
        return ui.events;
    }

    TempFolder root;
};

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

    // C1 and C2 are already there, so the run counts as complete; C3 adds a second marker.
    EXPECT_NE(std::find(ui.events.begin(), ui.events.end(), "status:File patched successfully!"),
              ui.events.end());
    EXPECT_EQ(readBytes(backupPath()), once + "\r\n");
    EXPECT_EQ(readBytes(logPath()), header() + script() + header() + once);
    EXPECT_EQ(readBytes(scriptPath()),
              patchedScript("4.8a", ";-debug-(removed by patcher); " + c3Patched) + "\r\n\r\n");
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

// Runs expecting a PatchError and gives back its text and code.
std::pair<std::string, std::error_code> failureAndCodeOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const engine::PatchError& error) {
        return {error.what(), error.code()};
    }
    ADD_FAILURE() << "the run did not fail";
    return {};
}

std::string failureOf(const std::function<void()>& run) {
    return failureAndCodeOf(run).first;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
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

// A Latin-1 name, as older systems and archives leave them: not UTF-8, yet a name like any other.
TEST_F(PatchRun, ANameThatIsNotUtf8IsPatchedByItsBytesAndShownReadably) {
    const std::string name = "caf\xE9.mrc";
    writeBytes(root / "scripts" / name, script());
    RecordingUi ui({true, true});
    run(ui, name);
    EXPECT_EQ(ui.events[1], "ask?:Are you sure you want to patch 'caf\\xE9.mrc' to version 4.8a?");
    EXPECT_EQ(readBytes(root / "scripts" / name), patchedScript("4.8a") + "\r\n");
    EXPECT_EQ(namesIn(root / "scripts"), (std::vector<std::string>{name, name + ".bak"}));
    EXPECT_EQ(readBytes(root / "scripts" / (name + ".bak")), script() + "\r\n");

    RecordingUi yes({true});
    const std::string text = failureOf([&] { run(yes, "gone\xE9.mrc"); });
    EXPECT_TRUE(contains(text, "script \"" + (root / "scripts").string() + "/gone\\xE9.mrc\""))
        << text;
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

// A script bigger than memory, or a link to a /proc file that never ends.
TEST_F(PatchRun, ScriptTooLargeForMemoryEndsTheRunAndIsLeftAlone) {
    writeBytes(root / "scripts" / "huge.mrc", "");
    fs::resize_file(root / "scripts" / "huge.mrc", engine::os::memoryForAScript() + 1);
    fs::create_symlink("/proc/self/pagemap", root / "scripts" / "endless.mrc");
    for (const char* name : {"huge.mrc", "endless.mrc"}) {
        RecordingUi ui({true, true});
        const std::string text = failureOf([&] { run(ui, name); });
        EXPECT_TRUE(contains(text, "Could not read the script \"" +
                                       (root / "scripts" / name).string() +
                                       "\": it is too large to patch."))
            << text;
        EXPECT_TRUE(contains(text, "was not changed")) << text;
    }
    EXPECT_EQ(fs::file_size(root / "scripts" / "huge.mrc"), engine::os::memoryForAScript() + 1);
    EXPECT_EQ(namesIn(root / "scripts"), (std::vector<std::string>{"endless.mrc", "huge.mrc"}));
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

TEST_F(PatchRun, ALinkedScriptIsPatchedWhereItLivesAndStaysALink) {
    fs::create_directory(root / "real");
    writeBytes(root / "real" / "morvane.mrc", script());
    fs::create_symlink(root / "real" / "morvane.mrc", scriptPath());
    RecordingUi ui({true, true});
    run(ui);
    EXPECT_TRUE(fs::is_symlink(scriptPath()));
    EXPECT_EQ(readBytes(root / "real" / "morvane.mrc"), patchedScript("4.8a") + "\r\n");
    EXPECT_EQ(readBytes(backupPath()), script() + "\r\n");
}

// A tmpfs just big enough for the script and its backup, so writing the script runs out of room.
class FullDisk : public PatchRun {
protected:
    void SetUp() override {
        PatchRun::SetUp();
        small = root / "small";
        fs::create_directory(small);
        if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            ::umount(small.c_str());
    }
    fs::path small;
    bool mounted = false;
};

TEST_F(FullDisk, ScriptThatDoesNotFitIsKeptWholeAndTheErrorSaysWhereTheTextIs) {
    // Padding makes the script a little over a third of the file system.
    const std::string bytes = script() + std::string(22 * 1024, 'x') + "\r\n";
    writeBytes(small / "morvane.mrc", bytes);
    RecordingUi ui({true, true});
    const auto [text, code] = failureAndCodeOf(
        [&] { engine::runPatch(small, "morvane.mrc", ui, root / "logs", fixedTime); });
    EXPECT_TRUE(contains(text, "Could not write the script")) << text;
    EXPECT_EQ(code, std::errc::no_space_on_device);
    EXPECT_TRUE(contains(text, "was not changed")) << text;
    EXPECT_TRUE(contains(text, "kept in the backup \"" + (small / "morvane.mrc.bak").string() +
                                   "\" and in the log \"" + logPath().string() + "\""))
        << text;
    EXPECT_EQ(readBytes(small / "morvane.mrc"), bytes);
    EXPECT_EQ(readBytes(small / "morvane.mrc.bak"), bytes + "\r\n");
    EXPECT_EQ(readBytes(logPath()), header() + bytes);
    EXPECT_EQ(namesIn(small), (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
}

} // namespace
