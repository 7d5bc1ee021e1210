#include "bench/script_generator.h"
#include "engine/patch_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

std::size_t occurrences(std::string_view text, std::string_view find) {
    std::size_t count = 0;
    for (std::size_t at = text.find(find); at != std::string_view::npos;
         at = text.find(find, at + find.size()))
        ++count;
    return count;
}

// Every line ends in CR LF, the last one too: no lone CR or LF anywhere.
bool everyLineEndsInCrLf(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n'))
            return false;
        if (text[at] == '\n' && (at == 0 || text[at - 1] != '\r'))
            return false;
    }
    return text.ends_with("\r\n");
}

class GeneratedScript : public ::testing::TestWithParam<std::size_t> {};

TEST_P(GeneratedScript, HasTheSizeAskedForAndTheFourLinesOnce) {
    const std::size_t size = GetParam();
    const std::string script = bench::generateScript(size);
    ASSERT_EQ(script.size(), size);
    EXPECT_TRUE(everyLineEndsInCrLf(script));
    for (const auto& rule : engine::categoryPatch)
        EXPECT_EQ(occurrences(script, rule.find), 1u) << rule.find;
    EXPECT_EQ(occurrences(script, "alias msn.vver return 4.8"), 1u);
    EXPECT_EQ(occurrences(script, "alias msn.vver return 4.8a"), 0u);
}

// The benchmarks' figures are for a script the patch changes completely, as a real one.
TEST_P(GeneratedScript, IsPatchedCompletely) {
    const std::string script = bench::generateScript(GetParam());
    const auto category = engine::applyCategoryPatch(script);
    EXPECT_EQ(category.replacements, (std::array<std::size_t, 3>{1, 1, 1}));
    const auto version = engine::applyVersionPatch(category.text);
    EXPECT_EQ(version.replacements, (std::array<std::size_t, 2>{0, 1}));
    EXPECT_EQ(version.text.size(), GetParam() + 19 + 19 + 30 + 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GeneratedScript,
                         ::testing::Values(bench::minimumScriptSize(),
                                           bench::minimumScriptSize() + 1,
                                           bench::minimumScriptSize() + 2,
                                           bench::minimumScriptSize() + 3, 4096 + 1, 65536,
                                           (1u << 20) + 7));

TEST(ScriptGenerator, SameSeedSameBytesOtherSeedOtherBytes) {
    EXPECT_EQ(bench::generateScript(100000, 7), bench::generateScript(100000, 7));
    EXPECT_NE(bench::generateScript(100000, 7), bench::generateScript(100000, 8));
}

TEST(ScriptGenerator, RefusesASizeTooSmallForTheFourLines) {
    EXPECT_THROW(bench::generateScript(bench::minimumScriptSize() - 1), std::invalid_argument);
}

// A realistic mix, not one line repeated: the kinds of line a script of the add-on is made of.
TEST(ScriptGenerator, MixesTheKindsOfLine) {
    const std::string script = bench::generateScript(1 << 16);
    for (const std::string_view kind : {"\r\non *:", "\r\nalias msn.", "\r\ndialog msn.", " did -",
                                        "  didtok $dname ", "\r\n; ", "\r\n\r\n", "\r\nraw "})
        EXPECT_GT(occurrences(script, kind), 10u) << kind;
}

} // namespace
