// SIGTERM, SIGINT and SIGHUP while the run has a temporary file or writes a file in place.

#include "engine/os_signals_linux.h"

#include "engine/os_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace engine::os::signals {

namespace {

// The handler may run on any thread, so what it reads is set before it may look, and the mode
// and a signal that waits are one word: a signal is either seen by the code that changes the
// mode or handled in the mode that code set, never lost in between.
constexpr std::array<int, 3> endingSignals{SIGTERM, SIGINT, SIGHUP};

constexpr int modeBits = 0xff;

struct SignalHandling {
    std::atomic<int> state{ending}; // the mode, and above it a signal that waits
    int folder = -1;
    std::array<char, 64> name{};
    std::array<struct sigaction, endingSignals.size()> previous{};
    std::array<bool, endingSignals.size()> installed{};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only use these");

SignalHandling handling;

// Ends the program as the signal would have, once the temporary file is gone where there is one.
void endAsSignalled(int signal, int mode) {
    if (mode == removing)
        ::unlinkat(handling.folder, handling.name.data(), 0);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    ::raise(signal);
}

void onEndingSignal(int signal) {
    const int savedErrno = errno;
    int state = handling.state.load();
    while ((state & modeBits) == deferring) {
        if (handling.state.compare_exchange_weak(state, deferring | signal << 8)) {
            errno = savedErrno;
            return;
        }
    }
    // The signal is blocked while this runs, and arrives on return.
    endAsSignalled(signal, state & modeBits);
    errno = savedErrno;
}

} // namespace

void setMode(Mode mode) noexcept {
    const int before = handling.state.exchange(mode);
    if (const int signal = before >> 8)
        endAsSignalled(signal, mode);
}

void armRemoval(int folder, const char* name) noexcept {
    // Temporary names are short (temporary_name.h): the check only keeps the copy in bounds.
    const std::size_t length = std::min(std::strlen(name), handling.name.size() - 1);
    std::copy_n(name, length, handling.name.data());
    handling.name[length] = '\0';
    handling.folder = folder;
}

void startHandling() noexcept {
    handling.state.store(ending);
    struct sigaction ours {};
    ours.sa_handler = onEndingSignal;
    sigemptyset(&ours.sa_mask);
    for (const int signal : endingSignals)
        sigaddset(&ours.sa_mask, signal);
    for (std::size_t i = 0; i < endingSignals.size(); ++i) {
        struct sigaction& previous = handling.previous[i];
        handling.installed[i] = ::sigaction(endingSignals[i], nullptr, &previous) == 0 &&
                                !(previous.sa_flags & SA_SIGINFO) &&
                                previous.sa_handler == SIG_DFL &&
                                ::sigaction(endingSignals[i], &ours, nullptr) == 0;
    }
}

// Safe where handling never started: nothing is put back twice.
void stopHandling() noexcept {
    const int before = handling.state.exchange(ending);
    for (std::size_t i = 0; i < endingSignals.size(); ++i)
        if (handling.installed[i]) {
            ::sigaction(endingSignals[i], &handling.previous[i], nullptr);
            handling.installed[i] = false;
        }
    if (const int signal = before >> 8)
        ::raise(signal);
}

} // namespace engine::os::signals

namespace engine::os {

SignalsDeferred::SignalsDeferred() noexcept {
    signals::startHandling();
    signals::setMode(signals::deferring);
}

SignalsDeferred::~SignalsDeferred() {
    signals::stopHandling();
}

} // namespace engine::os
