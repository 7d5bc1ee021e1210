#pragma once

// What the system layers of every platform share: the fault-injection seam, the reading of a
// whole file and the waiting for a lock. Each platform gives the one system call beneath.

#include "engine/os_file.h"

namespace engine::os::shared {

// The fault the plan injects at this operation, if any; counts the operation.
std::error_code injectedFault();
// A moment inside an operation, after a system call that changed something.
void moment();
// The error the plan refuses every lock with, or 0.
int refusedLock();

// Tells the plan's trace, if any, of a step that was done (os_file.h).
void traced(std::string_view step, std::intptr_t handle, const fs::path& name = {});

// Reads up to size bytes into data, setting got (0 at the end of the file).
using ReadSome = std::function<std::error_code(char* data, std::size_t size, std::size_t& got)>;
std::error_code readAll(const ReadSome& readSome, std::size_t sizeHint, std::size_t limit,
                        std::string& bytes);

// Tries the lock once: taken, held by another (busy), or an error that ends the wait.
enum class LockTry { taken, busy, failed };
using TryLock = std::function<LockTry(std::error_code& error)>;
std::error_code lockWithin(const TryLock& tryLock, std::chrono::milliseconds patience);

} // namespace engine::os::shared
