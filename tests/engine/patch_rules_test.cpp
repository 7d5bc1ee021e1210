#include "patch_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using engine::PatchRule;

std::string joined(const std::vector<std::string>& entries) {
    std::string list;
    for (const auto& entry : entries)
        list += (list.empty() ? "" : ",") + entry;
    return list;
}

// The category lists as the add-on's dialogs show them, written out entry by entry so that a
// slip in the rule texts does not go unseen.
const std::vector<std::string> createRoomEntries{
    "UL - Unlisted",      "GE - City Chats", "CP - Computing",
    "EA - Entertainment", "EV - Events",     "GN - General",
    "HE - Health",        "II - Interests",  "LF - Lifestyles",
    "MU - Music",         "NW - News",       "PR - Peers",
    "RL - Religion",      "RM - Romance",    "SP - Sports & Recreation",
    "TN - Teens"};
const std::vector<std::string> roomBrowserEntries{"General - GN",   "City Chats - GE",
                                                  "Computing - CP", "Entertainment - EA",
                                                  "Events - EV",    "Health - HE",
                                                  "Interests - II", "Lifestyles - LF",
                                                  "Music - MU",     "News - NW",
                                                  "Peers - PR",     "Religion - RL",
                                                  "Romance - RM",   "Sports & Recreation - SP",
                                                  "Teens - TN"};

std::vector<std::string> withSecond(std::vector<std::string> entries, const std::string& entry) {
    entries.insert(entries.begin() + 1, entry);
    return entries;
}

TEST(PatchRules, CategoryListsAreTheDialogsEntriesWithChatPartnersSecond) {
    EXPECT_EQ(engine::ruleC1.find, "didtok $dname 23 44 " + joined(createRoomEntries));
    EXPECT_EQ(engine::ruleC1.replacement,
              "didtok $dname 23 44 " + joined(withSecond(createRoomEntries, "PT - Chat Partners")));
    EXPECT_EQ(engine::ruleC2.find, "didtok $dname 2 44 " + joined(roomBrowserEntries));
    EXPECT_EQ(engine::ruleC2.replacement,
              "didtok $dname 2 44 " + joined(withSecond(roomBrowserEntries, "Chat Partners - PT")));

    const std::vector<std::pair<PatchRule, std::pair<std::size_t, std::size_t>>> lengths{
        {engine::ruleC1, {246, 265}}, {engine::ruleC2, {231, 250}}, {engine::ruleC3, {49, 79}}};
    for (const auto& [rule, expected] : lengths) {
        EXPECT_EQ(rule.find.size(), expected.first) << rule.find;
        EXPECT_EQ(rule.replacement.size(), expected.second) << rule.replacement;
    }
}

struct RuleCase {
    const char* name;
    PatchRule rule;
    std::string text;
    std::string expected;
    std::size_t replacements;
};

// Test lists show the case by name, not as a dump of its bytes.
void PrintTo(const RuleCase& c, std::ostream* out) {
    *out << c.name;
}

class ApplyRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ApplyRule, ReplacesEveryOccurrenceOnce) {
    const RuleCase& c = GetParam();
    const auto result = engine::applyRule(c.text, c.rule);
    EXPECT_EQ(result.text, c.expected);
    EXPECT_EQ(result.replacements, c.replacements);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyRule,
    ::testing::Values(RuleCase{"EmptyText", {"ab", "x"}, "", "", 0},
                      RuleCase{"NoOccurrence", {"ab", "x"}, "a b\r\nb a\r\n", "a b\r\nb a\r\n", 0},
                      RuleCase{"EveryOccurrence", {"ab", "X"}, "ab-ab\r\nab", "X-X\r\nX", 3},
                      RuleCase{"InsideALine", {"ab", "X"}, "  zabz\r\n", "  zXz\r\n", 1},
                      RuleCase{"CaseSensitive", {"ab", "X"}, "AB aB Ab", "AB aB Ab", 0},
                      RuleCase{"NoOverlap", {"aa", "b"}, "aaa", "ba", 1},
                      RuleCase{"EmittedTextIsNotSeenAgain", {"a", "aa"}, "aa", "aaaa", 2},
                      RuleCase{"BytesAroundPassThrough",
                               {"ab", "X"},
                               std::string("\0\xff"
                                           "ab\x80",
                                           5),
                               std::string("\0\xff"
                                           "X\x80",
                                           4),
                               1},
                      RuleCase{"EmptyFindChangesNothing", {"", "X"}, "abc", "abc", 0}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string debugLine = "if ($2 isnum) write $scriptdir $+ rawslog.txt $1-";
const std::string debugMarker = ";-debug-(removed by patcher); ";

TEST(CategoryPatch, ScriptWithoutAnyListPassesUnchanged) {
    const std::string text = "on *:START:{ echo hi }\r\nalias x { return 1 }\r\n";
    const auto result = engine::applyCategoryPatch(text);
    EXPECT_EQ(result.text, text);
    EXPECT_EQ(result.replacements, (std::array<std::size_t, 3>{0, 0, 0}));
}

TEST(CategoryPatch, PatchesAllThreeInPlaceWithWhateverSurroundsThem) {
    const std::string text = "  " + std::string(engine::ruleC1.find) + "\r\n\t" +
                             std::string(engine::ruleC2.find) + " | halt\r\n    " + debugLine +
                             "\r\n";
    const auto result = engine::applyCategoryPatch(text);
    EXPECT_EQ(result.text, "  " + std::string(engine::ruleC1.replacement) + "\r\n\t" +
                               std::string(engine::ruleC2.replacement) + " | halt\r\n    " +
                               debugMarker + debugLine + "\r\n");
    EXPECT_EQ(result.replacements, (std::array<std::size_t, 3>{1, 1, 1}));
}

TEST(CategoryPatch, ListThatDiffersIsLeftWhileOtherRulesApply) {
    std::string lowerCase(engine::ruleC1.find);
    lowerCase[20] = 'u';
    std::string extraBlank(engine::ruleC2.find);
    extraBlank.insert(19, " ");
    const std::string text = lowerCase + "\r\n" + extraBlank + "\r\n" +
                             std::string(engine::ruleC2.replacement) + "\r\n" + debugLine;
    const auto result = engine::applyCategoryPatch(text);
    EXPECT_EQ(result.text, lowerCase + "\r\n" + extraBlank + "\r\n" +
                               std::string(engine::ruleC2.replacement) + "\r\n" + debugMarker +
                               debugLine);
    EXPECT_EQ(result.replacements, (std::array<std::size_t, 3>{0, 0, 1}));
}

TEST(CategoryPatch, EachFurtherApplicationAddsOneMoreDebugMarker) {
    std::string text = std::string(engine::ruleC1.find) + "\r\n" + debugLine + "\r\n";
    for (int times = 1; times <= 3; ++times) {
        const auto result = engine::applyCategoryPatch(text);
        std::string markers;
        for (int i = 0; i < times; ++i)
            markers += debugMarker;
        EXPECT_EQ(result.text,
                  std::string(engine::ruleC1.replacement) + "\r\n" + markers + debugLine + "\r\n");
        EXPECT_EQ(result.replacements[0], times == 1 ? 1u : 0u);
        EXPECT_EQ(result.replacements[2], 1u);
        text = result.text;
    }
}

struct VersionCase {
    std::string text;
    std::string expected;
    std::array<std::size_t, 2> replacements;
};

TEST(VersionPatch, AlwaysLeavesASingleA) {
    const std::vector<VersionCase> cases{
        {"alias msn.vver return 4.8\r\n", "alias msn.vver return 4.8a\r\n", {0, 1}},
        {"alias msn.vver return 4.8a\r\n", "alias msn.vver return 4.8a\r\n", {1, 1}},
        {"alias msn.vver return 4.81\r\n", "alias msn.vver return 4.8a1\r\n", {0, 1}},
        {"alias msn.vver return 4.8b\r\n", "alias msn.vver return 4.8ab\r\n", {0, 1}},
        {"alias msn.vver return 4.7\r\n", "alias msn.vver return 4.7\r\n", {0, 0}},
        {"alias msn.vver return 4.8|alias msn.vver return 4.8a",
         "alias msn.vver return 4.8a|alias msn.vver return 4.8a",
         {1, 2}},
    };
    for (const auto& c : cases) {
        const auto once = engine::applyVersionPatch(c.text);
        EXPECT_EQ(once.text, c.expected) << c.text;
        EXPECT_EQ(once.replacements, c.replacements) << c.text;
        EXPECT_EQ(engine::applyVersionPatch(once.text).text, c.expected) << "twice: " << c.text;
    }
}

} // namespace
