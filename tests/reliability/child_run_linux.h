#pragma once

// A patch run in a process of its own, which a test can end from outside as a user or the
// system would: by a signal, at any moment.

#include "tests/reliability/promise.h"

#include <csignal>
#include <functional>
#include <sys/types.h>
#include <unistd.h>

namespace reliability {

// Starts a Yes/Yes run in a child process, calling beforeOperation (where given) before each of
// its file operations and insideOperation at each moment inside one; returns the child's process
// id. The child ends with 0 when the run went through, 2 when it failed, and 3 when a signal it
// was started ignoring (as nohup starts a program) is not ignored any more after the run.
inline pid_t startRun(const Place& place, std::function<void(long)> beforeOperation = {},
                      std::function<void(long)> insideOperation = {}, int ignoredSignal = 0) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (ignoredSignal)
            std::signal(ignoredSignal, SIG_IGN);
        engine::os::FaultPlan plan;
        plan.before = std::move(beforeOperation);
        plan.inside = std::move(insideOperation);
        engine::os::setFaultPlan(&plan);
        try {
            place.run();
        } catch (...) {
            ::_exit(2);
        }
        struct sigaction now {};
        if (ignoredSignal &&
            (::sigaction(ignoredSignal, nullptr, &now) != 0 || now.sa_handler != SIG_IGN))
            ::_exit(3);
        ::_exit(0);
    }
    return child;
}

} // namespace reliability
