#pragma once

// What the tests need of POSIX users and processes: the permissions that bind every user but root.

#include "tests/engine/test_support.h"

#include <filesystem>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

// A user whom permissions bind, as they do not bind root.
inline uid_t nobody() {
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : 65534;
}

inline gid_t nogroup() {
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_gid : 65534;
}

// Runs check in a child process as a user whom permissions bind (nobody, when the tests run as
// root), with folder open to every user; true when check returned true.
inline bool asOtherUser(const fs::path& folder, const std::function<bool()>& check) {
    fs::permissions(folder, fs::perms::all);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool switched =
            ::geteuid() != 0 ||
            (::setgroups(0, nullptr) == 0 && ::setresgid(nogroup(), nogroup(), nogroup()) == 0 &&
             ::setresuid(nobody(), nobody(), nobody()) == 0);
        bool held = false;
        try {
            held = switched && check();
        } catch (...) {
        }
        ::_exit(held ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace testing_support
