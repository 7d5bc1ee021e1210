#include "patch_rules.h"

namespace engine {

namespace {

template <std::size_t N>
GroupResult<N> applyGroup(std::string text, const std::array<PatchRule, N>& group) {
    GroupResult<N> result{std::move(text), {}};
    for (std::size_t i = 0; i < N; ++i)
        result.replacements[i] = applyRuleInPlace(result.text, group[i]);
    return result;
}

} // namespace

std::size_t applyRuleInPlace(std::string& text, const PatchRule& rule) {
    const std::string_view find = rule.find;
    if (find.empty())
        return 0; // an empty find text would match between every two characters, endlessly
    std::size_t hit = text.find(find);
    if (hit == std::string::npos)
        return 0;

    // One pass into a new buffer: the text before the first hit is copied once, and so is each
    // stretch between hits.
    std::string out;
    out.reserve(rule.replacement.size() > find.size() ? text.size() + text.size() / 8 + 64
                                                      : text.size());
    std::size_t count = 0;
    std::size_t from = 0;
    const std::string_view in = text;
    while (hit != std::string::npos) {
        out.append(in.substr(from, hit - from));
        out.append(rule.replacement);
        ++count;
        from = hit + find.size();
        hit = in.find(find, from);
    }
    out.append(in.substr(from));
    text = std::move(out);
    return count;
}

RuleResult applyRule(std::string_view text, const PatchRule& rule) {
    RuleResult result{std::string(text), 0};
    result.replacements = applyRuleInPlace(result.text, rule);
    return result;
}

GroupResult<3> applyCategoryPatch(std::string text) {
    return applyGroup(std::move(text), categoryPatch);
}

GroupResult<2> applyVersionPatch(std::string text) {
    return applyGroup(std::move(text), versionPatch);
}

} // namespace engine
