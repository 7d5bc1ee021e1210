#pragma once

#include "engine/patch_run.h"

#include <filesystem>
#include <string_view>

// What a run does first when an earlier run on the same script was cut short while it wrote the
// script in place (the marker: its name and text in file_formats.h, its writing in
// script_files.cpp).
namespace engine {

// Looks for the marker beside script. Where the script is not one the cut-short write could
// have left whole, says so and offers to put the backup back, with No as Enter's answer; on Yes
// puts it back as a run writes the script, and removes the marker. A marker that is left (the
// user said No, or the backup cannot be put back) is no longer true once the backup is replaced:
// the run removes it then. Returns whether one is left. Throws PatchError when a file operation
// fails.
bool answerAnInterruptedWrite(const std::filesystem::path& script, std::string_view shownName,
                              PatchUi& ui, const std::filesystem::path& log);

} // namespace engine
