#include "engine/os_file_shared.h"

#include <algorithm>
#include <cerrno>
#include <thread>

namespace engine::os {

namespace {

FaultPlan* faultPlan = nullptr;

std::error_code posixError(int error) {
    return {error, std::generic_category()};
}

} // namespace

void setFaultPlan(FaultPlan* plan) noexcept {
    faultPlan = plan;
}

namespace shared {

std::error_code injectedFault() {
    if (!faultPlan)
        return {};
    const long operation = ++faultPlan->operations;
    if (faultPlan->before)
        faultPlan->before(operation);
    if (operation == faultPlan->failAt)
        return posixError(faultPlan->error);
    return {};
}

void traced(std::string_view step, std::intptr_t handle, const fs::path& name) {
    if (faultPlan && faultPlan->trace)
        faultPlan->trace(step, handle, name);
}

void moment() {
    if (faultPlan && faultPlan->inside)
        faultPlan->inside(++faultPlan->moments);
}

int refusedLock() {
    return faultPlan ? faultPlan->lockError : 0;
}

std::error_code readAll(const ReadSome& readSome, std::size_t sizeHint, std::size_t limit,
                        std::string& bytes) {
    if (sizeHint > limit)
        return posixError(EFBIG);
    // One byte more than expected, so that reaching the end needs no second buffer, and room for
    // what the patch adds (a few dozen bytes in a script), so that the rules need none either.
    // Whole pages are asked for at a time, as some /proc files take nothing else.
    constexpr std::size_t page = 4096;
    const auto pages = [](std::size_t size) { return (size + page - 1) / page * page; };
    bytes.reserve(pages(sizeHint + 1) + sizeHint / 1024 + page);
    adviseLargePages(bytes.data(), bytes.capacity());
    bytes.resize(pages(sizeHint + 1));
    std::size_t used = 0;
    for (;;) {
        std::size_t got = 0;
        if (const auto error = readSome(bytes.data() + used, bytes.size() - used, got))
            return error;
        if (got == 0)
            break;
        used += got;
        if (used > limit) {
            bytes.resize(limit + 1);
            return posixError(EFBIG);
        }
        if (used == bytes.size()) // the file grew while it was read
            bytes.resize(pages(std::min(bytes.size() * 2, limit + 1)));
    }
    bytes.resize(used);
    return {};
}

std::error_code lockWithin(const TryLock& tryLock, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        std::error_code error;
        switch (tryLock(error)) {
        case LockTry::taken:
            return {};
        case LockTry::failed:
            return error;
        case LockTry::busy:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return posixError(EWOULDBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace shared

} // namespace engine::os
