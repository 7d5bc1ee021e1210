#pragma once

#include <exception>

namespace controls {

// The number a failure report shows: the system's error code where the failure carries one,
// otherwise 0.
int failureNumber(const std::exception& failure) noexcept;

// Reports a failure that nothing could handle, with its number and description, and ends the
// program once the user has read it. Outside the event loop (during start-up) the caller ends it.
void reportFailure(const std::exception& failure);
void reportUnknownFailure();

} // namespace controls
