#pragma once

// What SIGTERM, SIGINT and SIGHUP do while a temporary file exists or a file is written in place
// (os_file.h): by default they end the program as always; while a temporary file is armed they
// remove it first; while deferred they wait until the mode changes.
namespace engine::os::signals {

enum Mode : int { ending, removing, deferring };

// Installs the handler, only where the signal would end the program as it stands: one the
// program ignores or handles itself never leaves a file half done.
void startHandling() noexcept;
// Puts back what was there before; a signal that waited then ends the program.
void stopHandling() noexcept;
// A signal that waited is handled as it would have been in the new mode: the program ends.
void setMode(Mode mode) noexcept;
// The file that removing takes away: name in the folder open as folder. Set before the mode is.
void armRemoval(int folder, const char* name) noexcept;

} // namespace engine::os::signals
