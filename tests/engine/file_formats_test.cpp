#include "engine/file_formats.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct LineCase {
    const char* name;
    std::string bytes;
    std::string text;
};

// Test lists show the case by name, not as a dump of its bytes.
void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.name;
}

class ScriptText : public ::testing::TestWithParam<LineCase> {};

TEST_P(ScriptText, EveryLineEndsInCrLf) {
    EXPECT_EQ(engine::scriptTextFromBytes(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ScriptText,
    ::testing::Values(LineCase{"Empty", "", ""}, LineCase{"CrLfKept", "a\r\nb\r\n", "a\r\nb\r\n"},
                      LineCase{"LastLineUnterminated", "a\r\nb", "a\r\nb\r\n"},
                      LineCase{"LfOnlyIsOneLine", "a\nb\n", "a\nb\n\r\n"},
                      LineCase{"LoneCrEndsALine", "a\rb", "a\r\nb\r\n"},
                      LineCase{"LoneCrAtTheEnd", "a\r", "a\r\n"},
                      LineCase{"OneEmptyLine", "\r\n", "\r\n"},
                      LineCase{"CrBeforeCrLf", "\r\r\n", "\r\n\r\n"},
                      LineCase{"LfThenLoneCr", "a\n\rb", "a\n\r\nb\r\n"},
                      LineCase{"LoneLf", "\n", "\n\r\n"},
                      LineCase{"Nul", std::string("a\0b", 3), std::string("a\0b\r\n", 5)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScriptText, EveryByteValuePassesThrough) {
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes += static_cast<char>(value);
    std::string expected = bytes;
    expected.replace(13, 1, "\r\n"); // the CR is followed by 14, so it ends a line
    expected += "\r\n";
    EXPECT_EQ(engine::scriptTextFromBytes(bytes), expected);
}

// A lone CR in a long text is found wherever it lies, at every place in a block of bytes that
// are looked at together, and when it is the very last byte.
TEST(ScriptText, LoneCrIsFoundAnywhereInALongText) {
    const std::string lines = [] {
        std::string text;
        for (int i = 0; i < 8; ++i)
            text += "did -a $dname 5 x\r\n";
        return text;
    }();
    for (std::size_t at = 0; at <= lines.size(); ++at) {
        if (at > 0 && lines[at - 1] == '\r')
            continue; // between CR and LF it would make another case: CR before CR LF
        std::string bytes = lines;
        bytes.insert(at, "\r");
        std::string expected = lines;
        expected.insert(at, "\r\n");
        EXPECT_EQ(engine::scriptTextFromBytes(bytes), expected) << "lone CR at " << at;
    }
}

std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

TEST(LogHeader, DateAndTimeInTheFrameThenTheMarker) {
    const std::locale c = std::locale::classic();
    EXPECT_EQ(engine::logHeader(at(2026, 12, 8, 14, 5, 9), c),
              "-- 12/08/26 14:05:09--\r\n-- v48a.catmend --\r\n");
    EXPECT_EQ(engine::logDateText(at(2026, 12, 8, 0, 0, 0), c), "12/08/26");
    EXPECT_EQ(engine::logDateText(at(2026, 12, 8, 0, 0, 1), c), "12/08/26 00:00:01");
}

TEST(Paths, BackupAppendsToTheWholeNameAndFolderSeparatorsAreNotDoubled) {
    EXPECT_EQ(engine::backupPathFor("/a/morvane.mrc").string(), "/a/morvane.mrc.bak");
    EXPECT_EQ((fs::path("/") / engine::pathFromUtf8("x.mrc")).string(), "/x.mrc");
    EXPECT_EQ((fs::path("/a/") / engine::pathFromUtf8("x.mrc")).string(), "/a/x.mrc");
}

} // namespace
