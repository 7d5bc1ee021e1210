#include "engine/rule_search.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace engine {

namespace {

struct Match {
    std::size_t at;   // in the text the group was given
    std::size_t rule; // index in the group
    // An occurrence the rule leaves as it is: nothing is replaced there, but a change close to it
    // could still change what the rule does.
    bool leftAlone = false;
};

// Two characters of each rule's find text that a position must hold before it is compared in
// full: the two that are rarest at the start of the text, so that ordinary script seldom has
// both at the right distance by chance.
template <std::size_t N> struct Probes {
    std::array<std::size_t, N> first{};
    std::array<std::size_t, N> second{};
    std::size_t reach = 0; // how far past a position the probed characters lie
};

template <std::size_t N>
Probes<N> chooseProbes(std::string_view text, const std::array<PatchRule, N>& rules) {
    std::array<std::size_t, 256> seen{};
    for (const char c : text.substr(0, 1 << 16))
        ++seen[static_cast<unsigned char>(c)];
    const auto rarity = [&](char c) { return seen[static_cast<unsigned char>(c)]; };
    Probes<N> probes;
    for (std::size_t k = 0; k < N; ++k) {
        const std::string_view find = rules[k].find;
        if (find.empty())
            continue;
        std::size_t first = 0;
        for (std::size_t i = 1; i < find.size(); ++i)
            if (rarity(find[i]) < rarity(find[first]))
                first = i;
        std::size_t second = first == 0 ? find.size() - 1 : 0;
        for (std::size_t i = 0; i < find.size(); ++i) {
            // Another character is worth more than the same one again.
            const auto worth = [&](std::size_t at) {
                return std::pair(find[at] == find[first], rarity(find[at]));
            };
            if (i != first && worth(i) < worth(second))
                second = i;
        }
        probes.first[k] = first;
        probes.second[k] = second;
        probes.reach = std::max({probes.reach, first, second});
    }
    return probes;
}

#if defined(__SSE2__)
// The probes compared sixteen positions at a time. Returns where the blocks end, or nothing when
// consider asked to stop.
template <std::size_t N, typename Consider>
std::optional<std::size_t> probeBlocks16(std::string_view text,
                                         const std::array<PatchRule, N>& rules,
                                         const Probes<N>& probes, Consider& consider) {
    std::size_t at = 0;
    if (text.size() < probes.reach + 16)
        return at;
    __m128i firsts[N];
    __m128i seconds[N];
    for (std::size_t k = 0; k < N; ++k) {
        const std::string_view find = rules[k].find;
        // A rule that cannot match asks for a byte to be 0 and 1 at once.
        firsts[k] = _mm_set1_epi8(find.empty() ? 0 : find[probes.first[k]]);
        seconds[k] = _mm_set1_epi8(find.empty() ? 1 : find[probes.second[k]]);
    }
    const char* bytes = text.data();
    for (const std::size_t end = text.size() - probes.reach - 16; at <= end; at += 16) {
        __m128i hits = _mm_setzero_si128();
        for (std::size_t k = 0; k < N; ++k) {
            const auto* first = reinterpret_cast<const __m128i*>(bytes + at + probes.first[k]);
            const auto* second = reinterpret_cast<const __m128i*>(bytes + at + probes.second[k]);
            hits = _mm_or_si128(hits,
                                _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(first), firsts[k]),
                                              _mm_cmpeq_epi8(_mm_loadu_si128(second), seconds[k])));
        }
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0;
             mask &= mask - 1) {
            if (!consider(at + static_cast<std::size_t>(std::countr_zero(mask))))
                return std::nullopt;
        }
    }
    return at;
}
#endif

#if defined(__x86_64__) && defined(__GNUC__) && !defined(MORVANE_NO_AVX2_PROBES)
#define MORVANE_HAVE_AVX2_PROBES 1
// The same thirty-two positions at a time, on processors that have AVX2; the program is built
// for all x86-64 processors, so this is chosen when it runs.
template <std::size_t N, typename Consider>
__attribute__((target("avx2"))) std::optional<std::size_t>
probeBlocks32(std::string_view text, const std::array<PatchRule, N>& rules, const Probes<N>& probes,
              Consider& consider) {
    std::size_t at = 0;
    if (text.size() < probes.reach + 32)
        return at;
    __m256i firsts[N];
    __m256i seconds[N];
    for (std::size_t k = 0; k < N; ++k) {
        const std::string_view find = rules[k].find;
        firsts[k] = _mm256_set1_epi8(find.empty() ? 0 : find[probes.first[k]]);
        seconds[k] = _mm256_set1_epi8(find.empty() ? 1 : find[probes.second[k]]);
    }
    const char* bytes = text.data();
    for (const std::size_t end = text.size() - probes.reach - 32; at <= end; at += 32) {
        __m256i hits = _mm256_setzero_si256();
        for (std::size_t k = 0; k < N; ++k) {
            const auto* first = reinterpret_cast<const __m256i*>(bytes + at + probes.first[k]);
            const auto* second = reinterpret_cast<const __m256i*>(bytes + at + probes.second[k]);
            hits = _mm256_or_si256(
                hits, _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(first), firsts[k]),
                                       _mm256_cmpeq_epi8(_mm256_loadu_si256(second), seconds[k])));
        }
        for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits)); mask != 0;
             mask &= mask - 1) {
            if (!consider(at + static_cast<std::size_t>(std::countr_zero(mask))))
                return std::nullopt;
        }
    }
    return at;
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

// Whether the occurrence at `at` follows the text the rule leaves alone after.
bool leftAlone(std::string_view text, std::size_t at, const PatchRule& rule) {
    const std::string_view before = rule.leaveAfter;
    return !before.empty() && at >= before.size() &&
           std::memcmp(text.data() + at - before.size(), before.data(), before.size()) == 0;
}

// Calls found(Match) for every place where a rule of the group matches as if it were applied
// alone (left to right, never overlapping its own previous match or an occurrence it left
// alone), those it leaves alone included, in the order of the text, until found returns false.
// One pass serves every rule, and a position is compared in full only when it holds two of a
// rule's rarest characters at the right places.
template <std::size_t N, typename Found>
void scan(std::string_view text, const std::array<PatchRule, N>& rules, Found found) {
    std::array<std::size_t, N> freeFrom{}; // where the next match of each rule may start
    const auto consider = [&](std::size_t at) {
        for (std::size_t k = 0; k < N; ++k) {
            const std::string_view find = rules[k].find;
            // An empty find text would match between every two characters, endlessly.
            if (find.empty() || at < freeFrom[k] || text[at] != find.front() ||
                find.size() > text.size() - at ||
                std::memcmp(text.data() + at, find.data(), find.size()) != 0)
                continue;
            freeFrom[k] = at + find.size();
            if (!found(Match{at, k, leftAlone(text, at, rules[k])}))
                return false;
        }
        return true;
    };

    std::optional<std::size_t> blocksEnd = 0;
    const Probes<N> probes = chooseProbes(text, rules);
#if defined(MORVANE_HAVE_AVX2_PROBES)
    if (haveAvx2())
        blocksEnd = probeBlocks32(text, rules, probes, consider);
    else
        blocksEnd = probeBlocks16(text, rules, probes, consider);
#elif defined(__SSE2__)
    blocksEnd = probeBlocks16(text, rules, probes, consider);
#endif
    if (!blocksEnd)
        return;
    for (std::size_t at = *blocksEnd; at < text.size(); ++at) {
        if (!consider(at))
            return;
    }
}

// Every match of the group's rules, and every occurrence a rule leaves alone, ordered by
// position; nothing when there are so many that keeping them would cost more memory than a fair
// share of the text's.
template <std::size_t N>
std::optional<std::vector<Match>> findMatches(std::string_view text,
                                              const std::array<PatchRule, N>& rules) {
    const std::size_t limit = std::max<std::size_t>(1024, text.size() / 64);
    std::vector<Match> matches;
    bool all = true;
    scan(text, rules, [&](const Match& match) {
        all = matches.size() < limit;
        if (all)
            matches.push_back(match);
        return all;
    });
    if (!all)
        return std::nullopt;
    return matches;
}

// Sizes of the replaced text, and whether every replacement is at least as long as its find
// text, so that the text can be rewritten from its end in its own buffer.
template <std::size_t N>
std::pair<std::size_t, bool> resultSize(std::size_t size, const std::vector<Match>& matches,
                                        const std::array<PatchRule, N>& rules) {
    bool grows = true;
    for (const Match& match : matches) {
        const PatchRule& rule = rules[match.rule];
        size = size - rule.find.size() + rule.replacement.size();
        grows = grows && rule.replacement.size() >= rule.find.size();
    }
    return {size, grows};
}

// Puts every match's replacement in its place, copying the text between matches once. When the
// buffer has room, the text moves within it, which spares fresh memory as big as the script.
template <std::size_t N>
void replaceMatches(std::string& text, const std::vector<Match>& matches,
                    const std::array<PatchRule, N>& rules) {
    if (matches.empty())
        return;
    const auto [size, grows] = resultSize(text.size(), matches, rules);
    if (grows && size <= text.capacity()) {
        std::size_t end = text.size(); // the input from here on is in place already
        text.resize(size);
        char* bytes = text.data();
        std::size_t out = size;
        for (auto match = matches.rbegin(); match != matches.rend(); ++match) {
            const PatchRule& rule = rules[match->rule];
            const std::size_t after = match->at + rule.find.size();
            out -= end - after;
            std::memmove(bytes + out, bytes + after, end - after);
            out -= rule.replacement.size();
            std::memcpy(bytes + out, rule.replacement.data(), rule.replacement.size());
            end = match->at;
        }
        return;
    }
    std::string out;
    out.reserve(size);
    const std::string_view in = text;
    std::size_t from = 0;
    for (const Match& match : matches) {
        out.append(in.substr(from, match.at - from));
        out.append(rules[match.rule].replacement);
        from = match.at + rules[match.rule].find.size();
    }
    out.append(in.substr(from));
    text = std::move(out);
}

// Whether replacing every rule's matches in one go gives what applying the rules one after
// another gives. It does when no replacement changes what a later rule finds: matches that lie
// further apart than the longest stretch a rule looks at (its find text, and the text it leaves
// alone after) cannot take part in one another's, and around each replacement no later rule may
// find its text where the input did not have it, nor where the replacement comes into the text
// it would leave alone after.
template <std::size_t N>
bool independent(std::string_view text, const std::vector<Match>& matches,
                 const std::array<PatchRule, N>& rules) {
    std::size_t longest = 0;
    for (const auto& rule : rules)
        longest = std::max(longest, rule.leaveAfter.size() + rule.find.size());
    constexpr std::size_t lastRule = N - 1;
    for (std::size_t i = 1; i < matches.size(); ++i) {
        const Match& before = matches[i - 1];
        const Match& after = matches[i];
        // The last rule's own matches only ever meet that rule, which looks only at the text it
        // was given, never at what it put in.
        if (before.rule == lastRule && after.rule == lastRule)
            continue;
        if (after.at < before.at + rules[before.rule].find.size() + longest)
            return false;
    }
    for (const Match& match : matches) {
        if (match.leftAlone)
            continue;
        const PatchRule& rule = rules[match.rule];
        for (std::size_t later = match.rule + 1; later < N; ++later) {
            const std::string_view find = rules[later].find;
            if (find.empty())
                continue;
            const std::size_t left = std::min(match.at, find.size() - 1);
            std::string around(text.substr(match.at - left, left));
            around += rule.replacement;
            around += text.substr(match.at + rule.find.size(),
                                  rules[later].leaveAfter.size() + find.size() - 1);
            if (around.find(find) != std::string::npos)
                return false;
        }
    }
    return true;
}

template <std::size_t N>
GroupResult<N> applyGroup(std::string text, const std::array<PatchRule, N>& group) {
    GroupResult<N> result{std::move(text), {}};
    auto matches = findMatches(result.text, group);
    if (matches && independent(result.text, *matches, group)) {
        std::erase_if(*matches, [](const Match& match) { return match.leftAlone; });
        for (const Match& match : *matches)
            ++result.replacements[match.rule];
        replaceMatches(result.text, *matches, group);
        return result;
    }
    // Replacements close enough to meet, or a great many of them: the rules take their turns,
    // each seeing the output of the one before.
    for (std::size_t i = 0; i < N; ++i)
        result.replacements[i] = applyRuleInPlace(result.text, group[i]);
    return result;
}

} // namespace

bool groupFindsAny(std::string_view text, const std::array<PatchRule, 3>& group) {
    bool found = false;
    scan(text, group, [&](const Match& match) {
        found = !match.leftAlone;
        return !found;
    });
    return found;
}

GroupResult<3> applyGroupInOnePass(std::string text, const std::array<PatchRule, 3>& group) {
    return applyGroup(std::move(text), group);
}

GroupResult<2> applyGroupInOnePass(std::string text, const std::array<PatchRule, 2>& group) {
    return applyGroup(std::move(text), group);
}

} // namespace engine
