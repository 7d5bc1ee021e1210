#pragma once

#include <filesystem>

namespace places {

// Whether the folder and file lists leave the entry out as hidden, as the platform's own file
// dialogs do.
bool isHidden(const std::filesystem::path& entry);

} // namespace places
