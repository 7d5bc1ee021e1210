// Patch runs on a POSIX system: names that are bytes, links, files that never end and a full
// file system of the test's own.

#include "engine/os_file.h"
#include "engine/script_files.h"
#include "tests/engine/patch_run_cases.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

namespace {

using namespace patch_run_cases;

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
