// The script files on a POSIX system: names that are bytes, owners, modes, links and files that
// never end.

#include "engine/os_file.h"
#include "engine/script_files.h"
#include "tests/engine/test_support_linux.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

struct NameCase {
    const char* name;
    std::string bytes;
    std::string text;
};

// Test lists show the case by name, not as a dump of its bytes.
void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.name;
}

// A name's readable form: valid UTF-8 as it is, and every other byte as \xHH.
class ReadableName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ReadableName, ValidTextIsKeptAndEveryOtherByteIsEscaped) {
    EXPECT_EQ(engine::displayPath(GetParam().bytes), GetParam().text);
    EXPECT_EQ(engine::isWellFormed(GetParam().bytes), GetParam().text == GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ReadableName,
    ::testing::Values(NameCase{"Utf8OfEveryLength",
                               "a\xC3\xB6\xE2\x80\x93\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
                               "a\xC3\xB6\xE2\x80\x93\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
                      NameCase{"Latin1InAFolderPath", "/u/caf\xE9/x.mrc", "/u/caf\\xE9/x.mrc"},
                      NameCase{"LoneContinuation", "a\x80z", "a\\x80z"},
                      NameCase{"CutOff", "\xF0\x9F\x98z\xE2\x82", "\\xF0\\x9F\\x98z\\xE2\\x82"},
                      NameCase{"Overlong", "\xC0\xAF\xE0\x80\xAF", "\\xC0\\xAF\\xE0\\x80\\xAF"},
                      NameCase{"EncodedSurrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
                      NameCase{"PastTheLastCodePoint", "\xF4\x90\x80\x80\xF5\xFF",
                               "\\xF4\\x90\\x80\\x80\\xF5\\xFF"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceFile, WritesTextAndTailKeepingPermissionsAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const fs::path file = folder / "s.mrc";
    writeBytes(file, "old content that is longer\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    engine::ScriptFile(file).write("new\r\n", "\r\n");

    EXPECT_EQ(readBytes(file), "new\r\n\r\n");
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"s.mrc"});
}

TEST(ReplaceFile, KeepsTheOwnerOfSomeoneElsesFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can hand a file to another user";
    TempFolder folder;
    const fs::path file = folder / "s.mrc";
    writeBytes(file, "old");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);

    engine::ScriptFile(file).write("new", "");

    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);
}

TEST(ReplaceFile, FollowsALinkAndKeepsIt) {
    TempFolder folder;
    fs::create_directory(folder / "real");
    writeBytes(folder / "real" / "s.mrc", "old");
    fs::create_symlink("real/s.mrc", folder / "link.mrc");

    engine::ScriptFile(folder / "link.mrc").write("new", "");

    EXPECT_TRUE(fs::is_symlink(folder / "link.mrc"));
    EXPECT_EQ(readBytes(folder / "real" / "s.mrc"), "new");
    EXPECT_EQ(namesIn(folder / "real"), std::vector<std::string>{"s.mrc"});
}

// Root may write a read-only file, so the script belongs to a user it binds, who runs the patch.
TEST(ReplaceFile, ReadOnlyFileIsRefusedAndKept) {
    TempFolder folder;
    const fs::path file = folder / "s.mrc";
    writeBytes(file, "old");
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_TRUE(testing_support::asOtherUser(folder.path(), [&] {
        try {
            engine::ScriptFile(file).write("new", "");
        } catch (const engine::FileError& error) {
            return error.code() == std::errc::permission_denied;
        }
        return false;
    }));
    EXPECT_EQ(readBytes(file), "old");
}

// Two saves within one second differ below it: both times are kept to the nanosecond, and one
// nanosecond in either makes another version.
TEST(FileVersion, TimesAreKeptToTheNanosecond) {
    TempFolder folder;
    const fs::path file = folder / "s.mrc";
    writeBytes(file, "text");
    const timespec times[2]{{1, 0}, {1'700'000'000, 123'456'789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const engine::os::File opened(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    engine::os::FileStatus version;
    ASSERT_FALSE(engine::os::status(opened, version));
    struct stat expected {};
    ASSERT_EQ(::stat(file.c_str(), &expected), 0);

    EXPECT_EQ(version.modified, 1'700'000'000'123'456'789);
    EXPECT_EQ(version.changed, expected.st_ctim.tv_sec * 1'000'000'000 + expected.st_ctim.tv_nsec);
    for (std::int64_t engine::os::FileStatus::*time :
         {&engine::os::FileStatus::modified, &engine::os::FileStatus::changed}) {
        engine::os::FileStatus other = version;
        other.*time += 1;
        EXPECT_FALSE(other.sameVersion(version));
    }
}

TEST(ReadFile, MoreThanTheLimitIsRefusedWithoutReadingItAll) {
    TempFolder folder;
    const fs::path sparse = folder / "huge.mrc";
    writeBytes(sparse, "");
    fs::resize_file(sparse, std::uintmax_t{1} << 32);
    const struct {
        fs::path path;
        std::size_t hint;
    } cases[] = {{"/proc/self/pagemap", 0}, {sparse, std::size_t{1} << 32}};
    for (const auto& c : cases) {
        const engine::os::File file(::open(c.path.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(file) << c.path;
        std::string bytes;
        EXPECT_EQ(engine::os::readAll(file, c.hint, std::size_t{1} << 20, bytes),
                  std::errc::file_too_large)
            << c.path;
        EXPECT_LE(bytes.size(), (std::size_t{1} << 20) + 1) << c.path;
    }
}

} // namespace
