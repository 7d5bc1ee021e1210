// One rule on arbitrary text gives what the plain reference substitution gives, text and count,
// and each group gives what its rules give applied one after another.
//
// Input: one byte picks the rule. Five of every eight values pick one of the real rules; the
// others make a rule from the next bytes: a find text of 1 to 4 bytes and a replacement of
// 0 to 7, short enough that arbitrary text matches them often, and able to overlap themselves
// ("aa" in "aaa"), and a text of 0 to 3 bytes after which an occurrence is left alone. The same
// byte's next two bits choose how much room the text's buffer has beyond its length, since the
// engine rewrites a text in its own buffer when it fits. The rest of the input is the text, with
// script pieces (fuzz_support.h).
//
// Built twice: fuzz_rules with the probes the processor offers, fuzz_rules_sse2 with the
// 16-byte probes that processors without AVX2 use.

#include "tests/fuzz/fuzz_support.h"

#include <string>

namespace {

using namespace fuzz_support;

engine::PatchRule pickRule(FuzzInput& input, std::uint8_t choice) {
    if (choice % 8 < realRules.size())
        return realRules[choice % 8];
    const std::uint8_t lengths = input.byte();
    const std::string_view find = input.take(1 + lengths % 4);
    const std::string_view replacement = input.take(lengths / 4 % 8);
    const std::string_view leaveAfter = input.take(lengths / 32 % 4);
    return {find.empty() ? std::string_view("\r") : find, replacement, leaveAfter};
}

// A copy of text whose buffer has the chosen room to spare: none, what the reader leaves, as
// much again, or plenty.
std::string withRoom(const std::string& text, std::uint8_t choice) {
    std::size_t room = 0;
    switch (choice >> 3 & 3) {
    case 1:
        room = text.size() / 16 + 2;
        break;
    case 2:
        room = text.size();
        break;
    case 3:
        room = 4 * text.size() + 1024;
        break;
    }
    std::string copy;
    copy.reserve(text.size() + room);
    copy.append(text);
    return copy;
}

template <std::size_t N>
void checkGroup(std::string_view name, const std::string& text,
                const engine::GroupResult<N>& actual,
                const std::array<engine::PatchRule, N>& group) {
    std::string expected = text;
    for (std::size_t i = 0; i < N; ++i) {
        engine::RuleResult step = referenceReplace(expected, group[i]);
        expectEqual(std::string(name) + ": count of rule " + std::to_string(i + 1),
                    actual.replacements[i], step.replacements);
        expected = std::move(step.text);
    }
    expectEqual(std::string(name) + ": text", actual.text, expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t choice = input.byte();
    const engine::PatchRule rule = pickRule(input, choice);
    const std::string text = scriptFromPieces(input.rest());

    const engine::RuleResult expected = referenceReplace(text, rule);
    const engine::RuleResult actual = engine::applyRule(text, rule);
    expectEqual("applyRule: text", actual.text, expected.text);
    expectEqual("applyRule: count", actual.replacements, expected.replacements);

    std::string inPlace = withRoom(text, choice);
    const std::size_t count = engine::applyRuleInPlace(inPlace, rule);
    expectEqual("applyRuleInPlace: text", inPlace, expected.text);
    expectEqual("applyRuleInPlace: count", count, expected.replacements);

    checkGroup("applyCategoryPatch", text, engine::applyCategoryPatch(withRoom(text, choice)),
               engine::categoryPatch);
    checkGroup("applyVersionPatch", text, engine::applyVersionPatch(withRoom(text, choice)),
               engine::versionPatch);
    expectTrue("categoryPatchChanges tells whether the category patch changes the text",
               engine::categoryPatchChanges(text) !=
                   (engine::applyCategoryPatch(text).text == text));

    // Raising the version twice leaves a single "a", whatever the text around the alias.
    const std::string raised = engine::applyVersionPatch(text).text;
    expectEqual("applyVersionPatch twice", engine::applyVersionPatch(raised).text, raised);
    return 0;
}
