#include "engine/patch_rules.h"

#include <gtest/gtest.h>

#include <random>
#include <span>
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

// In place the text is rewritten within its own buffer when that has room, moving it first when
// it grows; the result must not depend on how much room there was.
TEST_P(ApplyRule, GivesTheSameInPlaceWhateverRoomTheBufferHas) {
    const RuleCase& c = GetParam();
    for (const std::size_t room : {std::size_t{0}, c.expected.size(), 4 * c.expected.size() + 64}) {
        std::string text;
        text.reserve(c.text.size() + room);
        text = c.text;
        EXPECT_EQ(engine::applyRuleInPlace(text, c.rule), c.replacements) << "room " << room;
        EXPECT_EQ(text, c.expected) << "room " << room;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyRule,
    ::testing::Values(
        RuleCase{"EmptyText", {"ab", "x"}, "", "", 0},
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
        RuleCase{"ShorterReplacementAtBothEnds", {"abc", "x"}, "abc-abc", "x-x", 2},
        RuleCase{"LongerReplacementAtBothEnds", {"a", "xyz"}, "a-ba-a", "xyz-bxyz-xyz", 3},
        RuleCase{"EmptyReplacement", {"ab", ""}, "abab-ab", "-", 3},
        RuleCase{"EmptyFindChangesNothing", {"", "X"}, "abc", "abc", 0},
        RuleCase{"LeftAloneAfterItsText", {"ab", "X", "<"}, "<ab ab<ab", "<ab X<ab", 1},
        RuleCase{"LeftAloneWhole", {"aa", "X", "b"}, "baaa", "baaa", 0},
        // What comes before is read in the text as given, not in what the rule put.
        RuleCase{"LeftAloneAfterTheTextAsGiven", {"a", "b", "b"}, "aab", "bbb", 2},
        RuleCase{"LeftAloneAtTheStartNever", {"ab", "X", "ab"}, "abab", "Xab", 1},
        RuleCase{"NothingLeftAlone", {"a", "bb", "b"}, "a-a", "bb-bb", 2}),
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

// A second application finds nothing to do: the debug command behind its note is left alone,
// while one without the note, even on the same line, is still commented out.
TEST(CategoryPatch, ADebugCommandIsCommentedOutOnce) {
    const std::string once = std::string(engine::ruleC1.replacement) + "\r\n  " + debugMarker +
                             debugLine + "\r\n" + debugMarker + debugLine + " | " + debugLine +
                             "\r\n";
    const auto again = engine::applyCategoryPatch(once);
    EXPECT_EQ(again.text, std::string(engine::ruleC1.replacement) + "\r\n  " + debugMarker +
                              debugLine + "\r\n" + debugMarker + debugLine + " | " + debugMarker +
                              debugLine + "\r\n");
    EXPECT_EQ(again.replacements, (std::array<std::size_t, 3>{0, 0, 1}));
    const auto third = engine::applyCategoryPatch(again.text);
    EXPECT_EQ(third.text, again.text);
    EXPECT_EQ(third.replacements, (std::array<std::size_t, 3>{0, 0, 0}));
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

// The rules of a group applied one after another by the plainest means: what the group must give
// however the engine applies it.
struct Reference {
    std::string text;
    std::vector<std::size_t> replacements;
};

Reference oneAfterAnother(std::string text, std::span<const PatchRule> rules) {
    Reference result{std::move(text), {}};
    for (const auto& rule : rules) {
        std::string out;
        std::size_t count = 0;
        std::size_t from = 0;
        for (std::size_t at = result.text.find(rule.find);
             !rule.find.empty() && at != std::string::npos;
             at = result.text.find(rule.find, from)) {
            const bool left = !rule.leaveAfter.empty() && at >= rule.leaveAfter.size() &&
                              result.text.compare(at - rule.leaveAfter.size(),
                                                  rule.leaveAfter.size(), rule.leaveAfter) == 0;
            out += result.text.substr(from, at - from);
            out += left ? rule.find : rule.replacement;
            from = at + rule.find.size();
            count += left ? 0 : 1;
        }
        out += result.text.substr(from);
        result.text = std::move(out);
        result.replacements.push_back(count);
    }
    return result;
}

// Texts made of the rules' own pieces, whole, cut, altered and run together, with stretches of
// script between them short enough for replacements to meet and long enough for them not to.
std::string piecesOfRules(std::mt19937_64& random) {
    const std::vector<std::string_view> texts{
        engine::ruleC1.find,        engine::ruleC2.find,        engine::ruleC3.find,
        engine::ruleV1.find,        engine::ruleV2.find,        engine::ruleC1.replacement,
        engine::ruleC2.replacement, engine::ruleC3.replacement, engine::ruleV2.replacement,
        engine::debugNote};
    const auto below = [&](std::size_t bound) {
        return static_cast<std::size_t>(random() % bound);
    };
    std::string text;
    for (std::size_t pieces = below(12); pieces > 0; --pieces) {
        std::string piece(texts[below(texts.size())]);
        switch (below(6)) {
        case 0:
            piece = piece.substr(below(piece.size()));
            break;
        case 1:
            piece = piece.substr(0, below(piece.size()));
            break;
        case 2:
            piece[below(piece.size())] = "a$ ,-"[below(5)];
            break;
        default:
            break;
        }
        text += piece;
        const std::size_t gap = below(3) == 0 ? below(600) : below(4);
        for (std::size_t i = 0; i < gap; ++i)
            text += "a48 ;$-\r\n"[below(9)];
    }
    return text;
}

template <std::size_t N>
void expectAsOneAfterAnother(const engine::GroupResult<N>& result, const std::string& text,
                             const std::array<PatchRule, N>& group) {
    const Reference expected = oneAfterAnother(text, group);
    EXPECT_EQ(result.text, expected.text) << "input: " << text;
    EXPECT_EQ(std::vector<std::size_t>(result.replacements.begin(), result.replacements.end()),
              expected.replacements)
        << "input: " << text;
}

// The same text in a buffer with room for it to grow.
std::string withRoom(const std::string& text) {
    std::string roomy;
    roomy.reserve(text.size() + 4096);
    roomy = text;
    return roomy;
}

// Both groups, on the text as it is and with room to grow in its buffer; and whether the category
// patch would change the text, told without changing it.
void expectBothGroupsAsOneAfterAnother(const std::string& text) {
    EXPECT_EQ(engine::categoryPatchChanges(text),
              oneAfterAnother(text, engine::categoryPatch).text != text)
        << "input: " << text;
    expectAsOneAfterAnother(engine::applyCategoryPatch(text), text, engine::categoryPatch);
    expectAsOneAfterAnother(engine::applyCategoryPatch(withRoom(text)), text,
                            engine::categoryPatch);
    expectAsOneAfterAnother(engine::applyVersionPatch(text), text, engine::versionPatch);
    expectAsOneAfterAnother(engine::applyVersionPatch(withRoom(text)), text, engine::versionPatch);
}

TEST(Groups, GiveWhatTheRulesOneAfterAnotherGiveOnRandomTexts) {
    std::mt19937_64 random(20261208);
    for (int round = 0; round < 3000 && !HasFailure(); ++round) {
        const std::string text = piecesOfRules(random);
        expectBothGroupsAsOneAfterAnother(text);
    }
}

TEST(Groups, GiveWhatTheRulesOneAfterAnotherGiveWhereMatchesMeet) {
    const std::string c1(engine::ruleC1.find);
    const std::string c2(engine::ruleC2.find);
    const std::string c3(engine::ruleC3.find);
    const std::string v1(engine::ruleV1.find);
    const std::string v2(engine::ruleV2.find);
    const std::vector<std::string> texts{
        c1 + c2 + c3,
        c3 + c2 + c1,
        c3 + c3 + c3,
        c1 + c1,
        std::string(engine::ruleC3.replacement) + c3,
        std::string(engine::debugNote) + c3 + c3,
        c1 + std::string(engine::debugNote) + c3,
        std::string(engine::debugNote) + c1 + c3,
        c2 + std::string(engine::debugNote).substr(0, 9) + c3,
        "x" + c1.substr(0, 100) + c2 + c1.substr(100),
        c2.substr(0, 17) + c1,
        v1 + v2,
        v2 + v1,
        v1 + "lias msn.vver return 4.8a",
        v2 + v2 + "a",
        "alias msn.vver return 4.8alias msn.vver return 4.8a",
    };
    for (const auto& text : texts) {
        expectBothGroupsAsOneAfterAnother(text);
    }
}

// So many matches that the engine does not keep a list of them: the result is still the same.
TEST(Groups, GiveWhatTheRulesOneAfterAnotherGiveWithManyMatches) {
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += (i % 7 == 0 ? std::string(engine::ruleC1.find) : std::string(engine::ruleC3.find)) +
                (i % 3 == 0 ? "\r\n" : "");
    expectAsOneAfterAnother(engine::applyCategoryPatch(text), text, engine::categoryPatch);

    const std::string letters(100000, 'a');
    const auto doubled = engine::applyRule(letters, {"a", "aa"});
    EXPECT_EQ(doubled.text, std::string(200000, 'a'));
    EXPECT_EQ(doubled.replacements, 100000u);
}

} // namespace
