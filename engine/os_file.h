#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// Every file operation of a patch run passes through here. Each returns 0 or the errno value of
// its failure, so the caller can tell the user what the system said.
namespace engine::os {

namespace fs = std::filesystem;

std::FILE* open(const fs::path& path, const char* mode, int& error);
int write(std::FILE* file, std::string_view bytes);
// Reads to the end of the file; sizeHint is what the file is expected to hold. The buffer keeps
// room past the end for what the patch adds, so that the rules can rewrite the text in it.
// Fails with EFBIG, having read no more, once the file holds more than limit bytes: a file that
// never ends (some /proc files) would otherwise take every byte of memory.
int readAll(std::FILE* file, std::size_t sizeHint, std::size_t limit, std::string& bytes);
// Pushes what the C library and the kernel hold of the file onto the disk, so that a crash or
// power cut after this returns cannot take the written bytes back.
int sync(std::FILE* file);
// Closes the file in every case; the close's own failure is where a full disk often shows.
int close(std::FILE* file);
int status(const fs::path& path, fs::file_status& result);
int linkStatus(const fs::path& path, fs::file_status& result);
int resolveLinks(const fs::path& path, fs::path& result);
int setPermissions(const fs::path& path, fs::perms permissions);
int rename(const fs::path& from, const fs::path& to);
// Creates folder and the folders above it that are missing.
int createFolders(const fs::path& folder);

// Clean-up and durability hints that cannot fail a run.
void remove(const fs::path& path) noexcept;
void syncFolder(const fs::path& folder) noexcept;
// Gives the open file the owner and group of original, so that replacing a file does not hand
// it to whoever ran the patch. Only root may give a file away; for others this does nothing.
void copyOwnership(const fs::path& original, std::FILE* file) noexcept;

// Asks for the memory to be handed out in large pages where the system can: on some machines
// taking memory a 4 KiB page at a time costs many times what filling it does. Only a hint.
void adviseLargePages(void* data, std::size_t size) noexcept;

// The most memory a run may count on: a quarter of the machine's, since the text is held up to
// three times over while it is read, patched and written.
std::size_t memoryForAScript() noexcept;

// The longest file name the file system holding folder takes.
std::size_t maxNameLength(const fs::path& folder) noexcept;

// For tests: from now on, the failAt-th file operation above (counting from 1) fails with
// error. Nothing fails while no plan is set, and the check costs one load and compare.
struct FaultPlan {
    long failAt = 0;
    int error = 0;
    long operations = 0; // how many operations have been attempted under this plan
};
void setFaultPlan(FaultPlan* plan) noexcept;

} // namespace engine::os
