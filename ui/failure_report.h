#pragma once

#include <exception>
#include <utility>

// The number a failure report shows: the system's error code where the failure carries one,
// otherwise 0.
int failureNumber(const std::exception& failure) noexcept;

// Reports a failure that nothing could handle, with its number and description, and ends the
// program once the user has read it. Outside the event loop (during start-up) the caller ends it.
void reportFailure(const std::exception& failure);
void reportUnknownFailure();

// Runs an event's handling and reports whatever it throws: no exception may cross Qt's event
// loop.
template <typename Handling> void reportingFailures(Handling&& handling) {
    try {
        std::forward<Handling>(handling)();
    } catch (const std::exception& failure) {
        reportFailure(failure);
    } catch (...) {
        reportUnknownFailure();
    }
}
