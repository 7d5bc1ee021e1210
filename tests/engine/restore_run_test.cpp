#include "engine/restore_run.h"
#include "tests/engine/patch_run_cases.h"

#include <gtest/gtest.h>

namespace {

using namespace patch_run_cases;

const std::string question = "ask?[No]:Put back morvane.mrc as it was before it was patched? Its "
                             "present text is kept in the patch log.";
// What the user patched, and what the backup kept of the script before: bytes as they were,
// a lone LF and no last line end included.
const std::string patched = "alias msn.vver return 4.8a\r\n; patched\r\n\r\n";
const std::string original = "alias msn.vver return 4.8\r\n; as\nshipped\r\nno end";

class Restore : public PatchRun {
protected:
    void restore(RecordingUi& ui) {
        engine::runRestore(root / "scripts", "morvane.mrc", ui, root / "logs", fixedTime);
    }
};

TEST_F(Restore, PutsTheBackupBackAndLogsThePresentText) {
    writeBytes(scriptPath(), patched);
    writeBytes(backupPath(), original);
    EXPECT_TRUE(engine::hasBackupToRestore(root / "scripts", "morvane.mrc"));
    RecordingUi ui({true});
    restore(ui);

    EXPECT_EQ(ui.events,
              (std::vector<std::string>{question, "browser:off", "status:Restoring original...",
                                        "status:Original restored.", "browser:on"}));
    EXPECT_EQ(readBytes(scriptPath()), original);
    EXPECT_EQ(readBytes(backupPath()), original);
    EXPECT_EQ(readBytes(logPath()), header() + patched);
    EXPECT_EQ(namesIn(root / "scripts"),
              (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
}

// Nothing to put back: the script already holds the backup's bytes, and the log gains nothing.
TEST_F(Restore, ScriptThatIsItsBackupIsLeftAlone) {
    writeBytes(scriptPath(), original);
    writeBytes(backupPath(), original);
    RecordingUi ui({true});
    restore(ui);

    EXPECT_EQ(ui.events.back(), "browser:on");
    EXPECT_EQ(ui.events[ui.events.size() - 2],
              "info:morvane.mrc already holds the text of its backup. Nothing was changed.");
    EXPECT_FALSE(fs::exists(root / "logs"));
}

// What stands at the backup's name instead of a regular file, and why it is not put back.
struct NotABackup {
    const char* name;
    std::function<void(const fs::path& backup)> make;
    const char* reason;
};

void PrintTo(const NotABackup& c, std::ostream* out) {
    *out << c.name;
}

class RestoreRefused : public Restore, public ::testing::WithParamInterface<NotABackup> {};

TEST_P(RestoreRefused, WritesNothingAndSaysWhy) {
    writeBytes(scriptPath(), patched);
    writeBytes(root / "elsewhere", original);
    try {
        GetParam().make(backupPath());
    } catch (const fs::filesystem_error& error) {
        GTEST_SKIP() << "cannot make it here: " << error.what();
    }
    EXPECT_FALSE(engine::hasBackupToRestore(root / "scripts", "morvane.mrc"));
    RecordingUi ui({true});
    const std::string failure = failureOf([&] { restore(ui); });

    EXPECT_EQ(failure, "Could not read the backup \"" + backupPath().string() +
                           "\": " + GetParam().reason + ". The script \"" + scriptPath().string() +
                           "\" was not changed.");
    EXPECT_EQ(readBytes(scriptPath()), patched);
    EXPECT_EQ(readBytes(root / "elsewhere"), original);
    EXPECT_FALSE(fs::exists(root / "logs"));
}

INSTANTIATE_TEST_SUITE_P(
    AtTheBackupsName, RestoreRefused,
    ::testing::Values(NotABackup{"Missing", [](const fs::path&) {},
                                 "there is no backup to put back"},
                      NotABackup{"Folder", [](const fs::path& at) { fs::create_directory(at); },
                                 "it is a folder"},
                      NotABackup{"Link",
                                 [](const fs::path& at) {
                                     fs::create_symlink(
                                         at.parent_path().parent_path() / "elsewhere", at);
                                 },
                                 "it is a link"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
