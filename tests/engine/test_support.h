#pragma once

#include "engine/patch_run.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    // The name is drawn at random, and drawn again while it is taken: creating the folder is
    // the one step that both claims it and tells whether someone else had it first.
    explicit TempFolder(const fs::path& base = fs::temp_directory_path()) {
        static constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device seed;
        std::mt19937_64 random(seed());
        std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = "morvane-test-";
            for (int i = 0; i < 12; ++i)
                name += letters[pick(random)];
            std::error_code error;
            if (fs::create_directory(base / name, error)) {
                path_ = base / name;
                return;
            }
            if (error)
                throw fs::filesystem_error("cannot make a test folder", base / name, error);
        }
        throw fs::filesystem_error("no free name for a test folder", base,
                                   std::make_error_code(std::errc::file_exists));
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

// Answers the run's questions from a script and records everything it was told.
class RecordingUi : public engine::PatchUi {
public:
    explicit RecordingUi(std::vector<bool> answers = {})
        : answers_(std::move(answers)) {}

    void showStatus(std::string_view text) override {
        events.push_back("status:" + std::string(text));
    }
    // "ask?:" with the question icon, "ask:" without; "[No]" before the colon where Enter is No.
    bool askYesNo(std::string_view prompt, bool questionIcon,
                  engine::DefaultAnswer enter) override {
        events.push_back(std::string(questionIcon ? "ask?" : "ask") +
                         (enter == engine::DefaultAnswer::no ? "[No]:" : ":") +
                         std::string(prompt));
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
