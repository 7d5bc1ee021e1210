#pragma once

#include "engine/patch_run.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const fs::path& base = fs::temp_directory_path()) {
        std::string pattern = (base / "morvane-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        path_ = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(std::string_view name) const { return path_ / name; }

private:
    fs::path path_;
};

// The whole file, or nothing when it cannot be read.
inline std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

inline void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Names the files left in a folder, to catch temporary files a run forgot.
inline std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

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

// Answers the run's questions from a script and records everything it was told.
class RecordingUi : public engine::PatchUi {
public:
    explicit RecordingUi(std::vector<bool> answers = {})
        : answers_(std::move(answers)) {}

    void showStatus(std::string_view text) override {
        events.push_back("status:" + std::string(text));
    }
    bool askYesNo(std::string_view prompt, bool questionIcon) override {
        events.push_back(std::string(questionIcon ? "ask?:" : "ask:") + std::string(prompt));
        if (!questionIcon && whileVersionQuestionIsOpen)
            whileVersionQuestionIsOpen();
        const bool answer = next_ < answers_.size() ? answers_[next_] : false;
        ++next_;
        return answer;
    }
    void showInfo(std::string_view text) override { events.push_back("info:" + std::string(text)); }
    void setBrowserEnabled(bool enabled) override {
        events.push_back(enabled ? "browser:on" : "browser:off");
    }

    std::vector<std::string> events;
    std::function<void()> whileVersionQuestionIsOpen;

private:
    std::vector<bool> answers_;
    std::size_t next_ = 0;
};

} // namespace testing_support
