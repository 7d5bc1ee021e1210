#pragma once

#include <cstdio>
#include <filesystem>

namespace engine::os {

// Pushes what the C library and the kernel hold of an open file onto the disk, so that a
// crash or power cut after this returns cannot take the written bytes back.
// Returns 0, or the errno value of the failure.
int syncToDisk(std::FILE* file);

// Makes a rename inside folder survive a crash. Best effort: some file systems refuse it.
void syncFolder(const std::filesystem::path& folder) noexcept;

} // namespace engine::os
