#include "bench/script_generator.h"

#include "engine/patch_rules.h"

#include <array>
#include <stdexcept>
#include <string_view>

namespace bench {

namespace {

// splitmix64: fixed by its definition, unlike the standard distributions, whose output may
// differ between libraries.
class Random {
public:
    explicit Random(std::uint64_t seed)
        : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned below(unsigned bound) { return static_cast<unsigned>(next() % bound); }

private:
    std::uint64_t state_;
};

constexpr std::string_view lineEnd = "\r\n";
constexpr std::string_view versionLine = "alias msn.vver return 4.8";

constexpr std::array<std::string_view, 12> words{"room", "nick", "chan", "topic", "away", "guest",
                                                 "host", "list", "join", "part",  "mode", "kick"};

std::string number(Random& random, unsigned bound) {
    return std::to_string(random.below(bound));
}

std::string_view word(Random& random) {
    return words[random.below(words.size())];
}

// One line of ordinary script, none of which any rule's find text can match: the category
// lines use other controls and entries, and no alias is named msn.vver.
std::string ordinaryLine(Random& random) {
    switch (random.below(16)) {
    case 0:
        return "on *:TEXT:*" + std::string(word(random)) + "*:#:{ msn." +
               std::string(word(random)) + " $nick $chan $1- }";
    case 1:
        return "alias msn." + std::string(word(random)) + number(random, 1000) + " {";
    case 2:
        return "  var %" + std::string(word(random)) + " = $calc($1 + " + number(random, 500) + ")";
    case 3:
        return "  if ($dialog(msn." + std::string(word(random)) + ")) did -a $dname " +
               number(random, 60) + " $2-";
    case 4:
        return "  didtok $dname " + number(random, 60) + " 44 " + std::string(word(random)) +
               ",Friends - FR,General - GN";
    case 5:
        return "dialog msn." + std::string(word(random)) + "." + number(random, 100) + " {";
    case 6:
        return "  button \"OK\", " + number(random, 90) + ", " + number(random, 300) + " " +
               number(random, 200) + " 40 12, ok";
    case 7:
        return "  edit \"\", " + number(random, 90) + ", 5 5 " + number(random, 300) +
               " 11, autohs";
    case 8:
        return "  list " + number(random, 90) + ", 5 20 150 " + number(random, 200) + ", size";
    case 9:
        return "; " + std::string(word(random)) + " handling, kept for the " +
               std::string(word(random)) + " dialog";
    case 10:
        return "";
    case 11:
        return "}";
    case 12:
        return "raw " + number(random, 999) + ":*:{ haltdef | msn.raw $1- }";
    case 13:
        return "  sockwrite -n msn." + std::string(word(random)) + " MODE $2 +" +
               std::string(word(random));
    case 14:
        return "on *:DIALOG:msn." + std::string(word(random)) + ".*:sclick:" + number(random, 90) +
               ":{ did -r $dname " + number(random, 90) + " }";
    default:
        return "  return $+(" + std::string(word(random)) + ",-," + number(random, 10000) + ")";
    }
}

struct SpecialLine {
    double where; // fraction of the script before it
    std::string text;
};

std::array<SpecialLine, 4> specialLines() {
    return {{{0.1, std::string(versionLine)},
             {0.35, "  " + std::string(engine::ruleC1.find)},
             {0.6, "  " + std::string(engine::ruleC2.find)},
             {0.85, "  " + std::string(engine::ruleC3.find)}}};
}

} // namespace

std::size_t minimumScriptSize() {
    std::size_t size = 0;
    for (const auto& line : specialLines())
        size += line.text.size() + lineEnd.size();
    return size;
}

std::string generateScript(std::size_t size, std::uint64_t seed) {
    if (size < minimumScriptSize())
        throw std::invalid_argument("a script must be at least " +
                                    std::to_string(minimumScriptSize()) + " bytes long");
    Random random(seed);
    std::string script;
    script.reserve(size);
    // Every line, the last one included, ends in CR LF, so no step may leave a single byte over.
    const auto addOrdinaryLine = [&](std::size_t room) {
        std::string line = ordinaryLine(random);
        if (line.size() + 2 * lineEnd.size() > room)
            line = std::string(room - lineEnd.size(), ';');
        script += line;
        script += lineEnd;
    };
    std::size_t still = minimumScriptSize(); // what the special lines not yet written need
    for (const auto& special : specialLines()) {
        const auto due = static_cast<std::size_t>(special.where * static_cast<double>(size));
        while (script.size() < due && size - script.size() - still >= lineEnd.size())
            addOrdinaryLine(size - script.size() - still);
        if (size - script.size() - still == 1)
            script += ' '; // indentation does not keep a rule from matching
        script += special.text;
        script += lineEnd;
        still -= special.text.size() + lineEnd.size();
    }
    while (script.size() < size)
        addOrdinaryLine(size - script.size());
    return script;
}

} // namespace bench
