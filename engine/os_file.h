#pragma once

#include <cstdio>
#include <filesystem>

// The few file calls the C++ standard library does not have.
namespace engine::os {

// Pushes what the C library and the kernel hold of an open file onto the disk, so that a
// crash or power cut after this returns cannot take the written bytes back.
// Returns 0, or the errno value of the failure.
int syncToDisk(std::FILE* file);

// Makes a rename inside folder survive a crash. Best effort: some file systems refuse it.
void syncFolder(const std::filesystem::path& folder) noexcept;

// Gives the open file the owner and group of original, so that replacing a file does not
// hand it to whoever ran the patch. Best effort: only root may give a file away.
void copyOwnership(const std::filesystem::path& original, std::FILE* file) noexcept;

} // namespace engine::os
