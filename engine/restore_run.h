#pragma once

#include "engine/patch_run.h"

#include <filesystem>

namespace engine {

// Whether folder/fileName has a backup beside it that a restore run would put back: a regular
// file at its name, not a link, a folder or anything else.
bool hasBackupToRestore(const std::filesystem::path& folder, const std::filesystem::path& fileName);

// Puts the backup, fileName with ".bak" appended, back in place of the script folder/fileName
// once the user agrees. The script's present text is first kept as a record in parselog.log in
// logFolder, as a patch run keeps it; the script is then replaced as a patch run replaces it, and
// the backup stays as it is. Throws PatchError when a file operation fails.
void runRestore(const std::filesystem::path& folder, const std::filesystem::path& fileName,
                PatchUi& ui, const std::filesystem::path& logFolder);

// The same run with the log header's date and time taken from clock.
void runRestore(const std::filesystem::path& folder, const std::filesystem::path& fileName,
                PatchUi& ui, const std::filesystem::path& logFolder, const LocalClock& clock);

} // namespace engine
