#include "engine/patch_rules.h"

#include "engine/rule_search.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace engine {

namespace {

// Finds one rule's text, left to right. Horspool's search skips ahead by as much as the find
// text's length at each step, which long find texts such as the category lists make the most of.
class Finder {
public:
    explicit Finder(std::string_view find)
        : find_(find)
        , searcher_(find.begin(), find.end()) {}

    // Where the find text next occurs at or after from; npos when nowhere.
    std::size_t next(std::string_view text, std::size_t from) const {
        const auto at =
            std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), searcher_);
        return at == text.end() ? std::string_view::npos
                                : static_cast<std::size_t>(at - text.begin());
    }

    // How many times it occurs, never overlapping itself.
    std::size_t count(std::string_view text) const {
        std::size_t count = 0;
        for (std::size_t at = next(text, 0); at != std::string_view::npos;
             at = next(text, at + find_.size()))
            ++count;
        return count;
    }

private:
    std::string_view find_;
    std::boyer_moore_horspool_searcher<std::string_view::const_iterator> searcher_;
};

// Reads the text from `from` and writes the substituted text from `out`, in one buffer. Safe as
// long as the writing never overtakes the reading, which the callers arrange.
void substituteForward(char* bytes, std::size_t out, std::size_t from, std::size_t end,
                       const PatchRule& rule, const Finder& finder) {
    const std::string_view text(bytes, end);
    for (;;) {
        const std::size_t at = finder.next(text, from);
        const std::size_t stop = at == std::string_view::npos ? end : at;
        std::memmove(bytes + out, bytes + from, stop - from);
        out += stop - from;
        if (stop == end)
            return;
        rule.replacement.copy(bytes + out, rule.replacement.size());
        out += rule.replacement.size();
        from = stop + rule.find.size();
    }
}

} // namespace

// The substitution as written: find the next occurrence, copy what lies before it, put the
// replacement, go on after the match. The result is built in the text's own buffer where that
// has room, because a fresh buffer as big as the script costs more than all the searching.
std::size_t applyRuleInPlace(std::string& text, const PatchRule& rule) {
    // An empty find text would match between every two characters, endlessly.
    if (rule.find.empty())
        return 0;
    const Finder finder(rule.find);
    const std::size_t count = finder.count(text);
    if (count == 0)
        return 0;
    const std::size_t size = text.size();
    const std::size_t newSize = size - count * rule.find.size() + count * rule.replacement.size();

    if (newSize <= size) {
        // Shrinking: the writing trails the reading.
        substituteForward(text.data(), 0, 0, size, rule, finder);
        text.resize(newSize);
    } else if (newSize <= text.capacity()) {
        // Growing within the buffer: the text moves to the buffer's end first, so the writing
        // starts as far behind the reading as the replacements will need.
        const std::size_t shift = newSize - size;
        text.resize(newSize);
        std::memmove(text.data() + shift, text.data(), size);
        substituteForward(text.data(), 0, shift, newSize, rule, finder);
    } else {
        std::string out;
        out.reserve(newSize);
        const std::string_view in = text;
        std::size_t from = 0;
        for (std::size_t at = finder.next(in, 0); at != std::string_view::npos;
             at = finder.next(in, from)) {
            out.append(in.substr(from, at - from));
            out.append(rule.replacement);
            from = at + rule.find.size();
        }
        out.append(in.substr(from));
        text = std::move(out);
    }
    return count;
}

RuleResult applyRule(std::string_view text, const PatchRule& rule) {
    RuleResult result{std::string(text), 0};
    result.replacements = applyRuleInPlace(result.text, rule);
    return result;
}

GroupResult<3> applyCategoryPatch(std::string text) {
    return applyGroupInOnePass(std::move(text), categoryPatch);
}

GroupResult<2> applyVersionPatch(std::string text) {
    return applyGroupInOnePass(std::move(text), versionPatch);
}

} // namespace engine
