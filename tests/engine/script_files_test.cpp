#include "engine/script_files.h"
#include "tests/engine/test_support.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

TEST(ReplaceFile, FailureNamesTheOperationAndPathAndLeavesNothing) {
    TempFolder folder;
    writeBytes(folder / "plain", "x");
    const fs::path below = folder / "plain" / "s.mrc"; // a path below a regular file
    try {
        engine::BackupFile backup(below);
        FAIL() << "expected a FileError";
    } catch (const engine::FileError& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("Could not write the backup"), std::string::npos) << text;
        EXPECT_NE(text.find((folder / "plain").string()), std::string::npos) << text;
        EXPECT_EQ(error.code(), std::errc::not_a_directory) << text;
    }
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"plain"});
}

TEST(ReadFile, FoldersAndMissingFilesAreNotScripts) {
    TempFolder folder;
    const auto refusal = [](const fs::path& path) {
        try {
            engine::ScriptFile script(path);
        } catch (const engine::FileError& error) {
            return error.code();
        }
        return std::error_code{};
    };
    EXPECT_EQ(refusal(folder.path()), std::errc::is_a_directory);
    EXPECT_EQ(refusal(folder / "missing.mrc"), std::errc::no_such_file_or_directory);
}

TEST(LogFile, MakesItsFolderOrSaysWhyItCannot) {
    TempFolder folder;
    engine::LogFile(folder / "new" / "deeper" / "parselog.log").syncAndClose();
    EXPECT_TRUE(fs::is_regular_file(folder / "new" / "deeper" / "parselog.log"));

    writeBytes(folder / "file", "x");
    try {
        engine::LogFile log(folder / "file" / "logs" / "parselog.log");
        ADD_FAILURE() << "a log folder under a file was made";
    } catch (const engine::FileError& error) {
        EXPECT_TRUE(std::string(error.what())
                        .starts_with("Could not create the log folder \"" +
                                     (folder / "file" / "logs").string() + "\": "))
            << error.what();
        EXPECT_EQ(error.code(), std::errc::not_a_directory);
    }
}

TEST(LogFile, AppendsWithoutTruncating) {
    TempFolder folder;
    const fs::path path = folder / "parselog.log";
    writeBytes(path, "earlier\r\n");
    engine::LogFile log(path);
    log.append("more\r\n");
    log.syncAndClose();
    EXPECT_EQ(readBytes(path), "earlier\r\nmore\r\n");
}

} // namespace
