#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace engine {

// A literal, case-sensitive substitution of every occurrence of `find`. An occurrence that
// directly follows `leaveAfter` in the text the rule is given is left as it is, when that is set.
struct PatchRule {
    std::string_view find;
    std::string_view replacement;
    std::string_view leaveAfter = {};
};

// Room-creation dialog: "PT - Chat Partners" becomes the second category.
inline constexpr PatchRule ruleC1{
    "didtok $dname 23 44 UL - Unlisted,GE - City Chats,CP - Computing,EA - Entertainment,"
    "EV - Events,GN - General,HE - Health,II - Interests,LF - Lifestyles,MU - Music,"
    "NW - News,PR - Peers,RL - Religion,RM - Romance,SP - Sports & Recreation,TN - Teens",
    "didtok $dname 23 44 UL - Unlisted,PT - Chat Partners,GE - City Chats,CP - Computing,"
    "EA - Entertainment,EV - Events,GN - General,HE - Health,II - Interests,LF - Lifestyles,"
    "MU - Music,NW - News,PR - Peers,RL - Religion,RM - Romance,SP - Sports & Recreation,"
    "TN - Teens"};

// Room browser: "Chat Partners - PT" becomes the second category.
inline constexpr PatchRule ruleC2{
    "didtok $dname 2 44 General - GN,City Chats - GE,Computing - CP,Entertainment - EA,"
    "Events - EV,Health - HE,Interests - II,Lifestyles - LF,Music - MU,News - NW,Peers - PR,"
    "Religion - RL,Romance - RM,Sports & Recreation - SP,Teens - TN",
    "didtok $dname 2 44 General - GN,Chat Partners - PT,City Chats - GE,Computing - CP,"
    "Entertainment - EA,Events - EV,Health - HE,Interests - II,Lifestyles - LF,Music - MU,"
    "News - NW,Peers - PR,Religion - RL,Romance - RM,Sports & Recreation - SP,Teens - TN"};

// The note that comments out the debug log command.
inline constexpr std::string_view debugNote = ";-debug-(removed by patcher); ";

// The raw debug log the add-on writes on every numeric reply is commented out. A command the
// note already comments out is left alone: the replacement holds the find text, and without
// this every run would add another note.
inline constexpr PatchRule ruleC3{
    "if ($2 isnum) write $scriptdir $+ rawslog.txt $1-",
    ";-debug-(removed by patcher); if ($2 isnum) write $scriptdir $+ rawslog.txt $1-", debugNote};

// V1 undoes an earlier raise so that V2 always leaves a single "a".
inline constexpr PatchRule ruleV1{"alias msn.vver return 4.8a", "alias msn.vver return 4.8"};
inline constexpr PatchRule ruleV2{"alias msn.vver return 4.8", "alias msn.vver return 4.8a"};

// Each group is applied rule after rule, a later rule seeing the output of an earlier one.
inline constexpr std::array<PatchRule, 3> categoryPatch{ruleC1, ruleC2, ruleC3};
inline constexpr std::array<PatchRule, 2> versionPatch{ruleV1, ruleV2};

struct RuleResult {
    std::string text;
    std::size_t replacements = 0;
};

template <std::size_t N> struct GroupResult {
    std::string text;
    std::array<std::size_t, N> replacements{}; // one count for each rule, in the group's order
};

// Replaces every occurrence, left to right; text a replacement emitted is not looked at again.
RuleResult applyRule(std::string_view text, const PatchRule& rule);

// The same substitution on text in place; returns the number of replacements.
std::size_t applyRuleInPlace(std::string& text, const PatchRule& rule);

GroupResult<3> applyCategoryPatch(std::string text);
GroupResult<2> applyVersionPatch(std::string text);

// Whether the category patch would change the text, found without changing it: the text as read
// must stay whole until the log and the backup have it.
bool categoryPatchChanges(std::string_view text);

} // namespace engine
