#include "engine/patch_rules.h"

#include "engine/rule_search.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace engine {

namespace {

// Finds the occurrences one rule replaces, left to right. Horspool's search skips ahead by as
// much as the find text's length at each step, which long find texts such as the category lists
// make the most of.
class Finder {
public:
    explicit Finder(const PatchRule& rule)
        : rule_(rule)
        , searcher_(rule.find.begin(), rule.find.end()) {}

    // Where the next occurrence to replace starts, at or after from; npos when nowhere.
    std::size_t next(std::string_view text, std::size_t from) const {
        for (;;) {
            const auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from),
                                           text.end(), searcher_);
            if (found == text.end())
                return std::string_view::npos;
            const auto at = static_cast<std::size_t>(found - text.begin());
            if (!leftAlone(text, at))
                return at;
            from = at + rule_.find.size();
        }
    }

    // How many occurrences it replaces, never overlapping one another.
    std::size_t count(std::string_view text) const {
        std::size_t count = 0;
        for (std::size_t at = next(text, 0); at != std::string_view::npos;
             at = next(text, at + rule_.find.size()))
            ++count;
        return count;
    }

private:
    bool leftAlone(std::string_view text, std::size_t at) const {
        const std::string_view before = rule_.leaveAfter;
        return !before.empty() && at >= before.size() &&
               text.substr(at - before.size(), before.size()) == before;
    }

    const PatchRule& rule_;
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
    const Finder finder(rule);
    const std::size_t count = finder.count(text);
    if (count == 0)
        return 0;
    const std::size_t size = text.size();
    const std::size_t newSize = size - count * rule.find.size() + count * rule.replacement.size();

    // What a rule leaves alone is decided on the text as given, which rewriting it in its own
    // buffer would overwrite before the later occurrences are looked at. Where it leaves nothing
    // alone, every occurrence is replaced, and there is nothing to look back at.
    const PatchRule everyOccurrence{rule.find, rule.replacement};
    const Finder plain(everyOccurrence);
    const bool inPlace = rule.leaveAfter.empty() || plain.count(text) == count;
    if (inPlace && newSize <= size) {
        // Shrinking: the writing trails the reading.
        substituteForward(text.data(), 0, 0, size, rule, plain);
        text.resize(newSize);
    } else if (inPlace && newSize <= text.capacity()) {
        // Growing within the buffer: the text moves to the buffer's end first, so the writing
        // starts as far behind the reading as the replacements will need.
        const std::size_t shift = newSize - size;
        text.resize(newSize);
        std::memmove(text.data() + shift, text.data(), size);
        substituteForward(text.data(), 0, shift, newSize, rule, plain);
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

// The group changes the text exactly when one of its rules finds something in the text as given:
// the first rule that does has the text as given before it, since no rule before it changed it.
bool categoryPatchChanges(std::string_view text) {
    return groupFindsAny(text, categoryPatch);
}

} // namespace engine
