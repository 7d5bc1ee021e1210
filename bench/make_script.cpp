// make-script SIZE PATH [SEED]  writes a generated script of SIZE bytes (suffixes K, M, G).
// make-script --sed              prints the sed program that makes the category patch's three
//                                substitutions, for comparing a run with sed -i.

#include "bench/script_generator.h"
#include "engine/patch_rules.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

std::size_t parseSize(std::string_view text) {
    std::size_t used = 0;
    const unsigned long long value = std::stoull(std::string(text), &used);
    const std::string_view unit = text.substr(used);
    if (unit.empty())
        return value;
    if (unit == "K")
        return value << 10;
    if (unit == "M")
        return value << 20;
    if (unit == "G")
        return value << 30;
    throw std::invalid_argument("unknown size unit \"" + std::string(unit) + "\"");
}

// In a basic regular expression these stand for something other than themselves.
std::string sedPattern(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (std::string_view("\\/.*[]^$").find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

// In a replacement & is the matched text.
std::string sedReplacement(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '/' || c == '&' || c == '\n')
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

int main(int argc, char* argv[]) {
    try {
        if (argc == 2 && std::string_view(argv[1]) == "--sed") {
            for (const auto& rule : engine::categoryPatch)
                std::cout << "s/" << sedPattern(rule.find) << '/'
                          << sedReplacement(rule.replacement) << "/g\n";
            return EXIT_SUCCESS;
        }
        if (argc != 3 && argc != 4) {
            std::cerr << "usage: make-script SIZE PATH [SEED] | make-script --sed\n";
            return 2;
        }
        const std::size_t size = parseSize(argv[1]);
        const std::uint64_t seed = argc == 4 ? std::stoull(argv[3]) : 1;
        const std::string script = bench::generateScript(size, seed);
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(script.data(), static_cast<std::streamsize>(script.size()));
        out.close();
        if (!out) {
            std::cerr << "make-script: could not write " << argv[2] << '\n';
            return EXIT_FAILURE;
        }
        return EXIT_SUCCESS;
    } catch (const std::exception& failure) {
        std::cerr << "make-script: " << failure.what() << '\n';
        return EXIT_FAILURE;
    }
}
