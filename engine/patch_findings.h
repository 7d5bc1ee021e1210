#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// What the category patch finds to do in a script, and the words a run reports it in.
namespace engine {

// Where one of the category patch's changes stands once the patch has been applied.
enum class Change { made, alreadyMade, notFound };

struct PatchFindings {
    Change createRoom = Change::notFound;  // Chat Partners in the create-room list
    Change roomBrowser = Change::notFound; // Chat Partners in the room browser's list
    Change debugLog = Change::notFound;    // the debug log command commented out

    // Both lists hold Chat Partners, which is what the patch is for.
    bool complete() const noexcept {
        return createRoom != Change::notFound && roomBrowser != Change::notFound;
    }
    bool nothingFound() const noexcept {
        return createRoom == Change::notFound && roomBrowser == Change::notFound &&
               debugLog == Change::notFound;
    }
};

// From the text the category patch gave and how many replacements each of its rules made.
PatchFindings findingsIn(std::string_view patchedText,
                         const std::array<std::size_t, 3>& replacements);

// "Some of the changes could not be made to <file name>:", then a line for each change.
std::string partialReport(std::string_view fileName, const PatchFindings& found);

} // namespace engine
