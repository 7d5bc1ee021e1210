#include "engine/patch_findings.h"

#include "engine/file_formats.h"
#include "engine/patch_rules.h"

namespace engine {

namespace {

// A change the rule did not make is already there when the text holds what it would have put.
Change changeOf(std::size_t replacements, std::string_view text, const PatchRule& rule) {
    if (replacements > 0)
        return Change::made;
    return text.find(rule.replacement) != std::string_view::npos ? Change::alreadyMade
                                                                 : Change::notFound;
}

std::string_view listWords(Change change) {
    switch (change) {
    case Change::made:
        return "added";
    case Change::alreadyMade:
        return "already there";
    case Change::notFound:
        break;
    }
    return "not found";
}

std::string_view debugWords(Change change) {
    switch (change) {
    case Change::made:
        return "commented out";
    case Change::alreadyMade:
        return "already commented out";
    case Change::notFound:
        break;
    }
    return "not found";
}

} // namespace

PatchFindings findingsIn(std::string_view patchedText,
                         const std::array<std::size_t, 3>& replacements) {
    return {changeOf(replacements[0], patchedText, ruleC1),
            changeOf(replacements[1], patchedText, ruleC2),
            changeOf(replacements[2], patchedText, ruleC3)};
}

std::string partialReport(std::string_view fileName, const PatchFindings& found) {
    std::string report = "Some of the changes could not be made to " + std::string(fileName) + ":";
    report += lineEnd;
    report += "Chat Partners in the create-room list: ";
    report += listWords(found.createRoom);
    report += lineEnd;
    report += "Chat Partners in the room browser: ";
    report += listWords(found.roomBrowser);
    report += lineEnd;
    report += "Debug log command: ";
    report += debugWords(found.debugLog);
    return report;
}

} // namespace engine
