// Patch runs on a POSIX system: names that are bytes, links, files that never end, scripts
// this run may not write, and full and read-only file systems of the test's own.

#include "engine/os_file.h"
#include "engine/script_files.h"
#include "tests/engine/patch_run_cases.h"
#include "tests/engine/test_support_linux.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

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
    EXPECT_EQ(readBytes(root / "scripts" / (name + ".bak")), script());

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
    EXPECT_EQ(readBytes(backupPath()), script());
}

struct UnwritableCase {
    const char* name;
    fs::perms script;
    fs::perms folder;   // of the folder the script is in
    bool linked;        // the chosen name is a link to the script in another folder
    bool backupRefused; // the backup is the first thing refused, as it was before any change
};

// Test lists show the case by name.
void PrintTo(const UnwritableCase& c, std::ostream* out) {
    *out << c.name;
}

class Unwritable : public PatchRun, public ::testing::WithParamInterface<UnwritableCase> {};

// Refused before the log record and the backup are written, with the words writing would have
// given. Root may write anyway, so the files belong to a user they bind, who runs the patch.
TEST_P(Unwritable, IsRefusedBeforeTheLogAndTheBackupAreWritten) {
    const UnwritableCase& c = GetParam();
    const fs::path home = c.linked ? root / "real" : root / "scripts";
    fs::create_directories(home);
    writeBytes(home / "morvane.mrc", script());
    if (c.linked)
        fs::create_symlink(home / "morvane.mrc", scriptPath());
    if (::geteuid() == 0) {
        for (const fs::path& path : {root / "scripts", home, home / "morvane.mrc"})
            ASSERT_EQ(::chown(path.c_str(), testing_support::nobody(), testing_support::nogroup()),
                      0);
    }
    fs::permissions(home / "morvane.mrc", c.script);
    fs::permissions(home, c.folder);
    const std::string expected =
        (c.backupRefused ? "Could not write the backup \"" + backupPath().string()
                         : "Could not write the script \"" + scriptPath().string()) +
        "\": Permission denied. The script \"" + scriptPath().string() + "\" was not changed.";
    EXPECT_TRUE(testing_support::asOtherUser(root.path(), [&] {
        RecordingUi ui({true, true});
        const std::string text = failureOf([&] { run(ui); });
        if (text != expected)
            std::fprintf(stderr, "failure: %s\nexpected: %s\n", text.c_str(), expected.c_str());
        return text == expected && ui.events.back() == "status:Creating backup file...";
    }));
    fs::permissions(home, fs::perms::owner_all);
    EXPECT_EQ(readBytes(home / "morvane.mrc"), script());
    EXPECT_EQ(namesIn(home), std::vector<std::string>{"morvane.mrc"});
    EXPECT_EQ(namesIn(root / "scripts"), std::vector<std::string>{"morvane.mrc"});
    EXPECT_FALSE(fs::exists(root / "logs"));
}

constexpr fs::perms readable =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms writable = readable | fs::perms::owner_write;
constexpr fs::perms openFolder =
    fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all;
constexpr fs::perms closedFolder =
    openFolder & ~(fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);

INSTANTIATE_TEST_SUITE_P(
    Kinds, Unwritable,
    ::testing::Values(UnwritableCase{"ReadOnlyScript", readable, openFolder, false, false},
                      UnwritableCase{"ReadOnlyFolder", writable, closedFolder, false, true},
                      UnwritableCase{"LinkIntoAReadOnlyFolder", writable, closedFolder, true,
                                     false}),
    [](const auto& info) { return std::string(info.param.name); });

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
    EXPECT_EQ(readBytes(small / "morvane.mrc.bak"), bytes);
    EXPECT_EQ(readBytes(logPath()), header() + bytes);
    EXPECT_EQ(namesIn(small), (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
}

// The same file system made read-only once the script is on it.
using ReadOnlyDisk = FullDisk;

TEST_F(ReadOnlyDisk, ScriptIsRefusedBeforeTheLogAndTheBackupAreWritten) {
    writeBytes(small / "morvane.mrc", script());
    ASSERT_EQ(::mount(nullptr, small.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    RecordingUi ui({true, true});
    const auto [text, code] = failureAndCodeOf(
        [&] { engine::runPatch(small, "morvane.mrc", ui, root / "logs", fixedTime); });
    EXPECT_EQ(text, "Could not write the backup \"" + (small / "morvane.mrc.bak").string() +
                        "\": Read-only file system. The script \"" +
                        (small / "morvane.mrc").string() + "\" was not changed.");
    EXPECT_EQ(code, std::errc::read_only_file_system);
    EXPECT_EQ(readBytes(small / "morvane.mrc"), script());
    EXPECT_EQ(namesIn(small), std::vector<std::string>{"morvane.mrc"});
    EXPECT_FALSE(fs::exists(root / "logs"));
}

} // namespace
