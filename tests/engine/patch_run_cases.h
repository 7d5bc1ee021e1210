#pragma once

// The script, the folders and the answers that the patch run's tests share.

#include "engine/file_formats.h"
#include "engine/patch_rules.h"
#include "engine/patch_run.h"
#include "tests/engine/test_support.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

// A named namespace: the fixture must be one class in every file whose tests use it.
namespace patch_run_cases {

namespace fs = std::filesystem;
using testing_support::namesIn;
using testing_support::readBytes;
using testing_support::RecordingUi;
using testing_support::TempFolder;
using testing_support::writeBytes;

inline const std::string c1(engine::ruleC1.find);
inline const std::string c2(engine::ruleC2.find);
inline const std::string c3(engine::ruleC3.find);
inline const std::string c1Patched(engine::ruleC1.replacement);
inline const std::string c2Patched(engine::ruleC2.replacement);
inline const std::string c3Patched(engine::ruleC3.replacement);

// A cut-down morvane.mrc holding every text the patch looks for.
inline std::string script(const std::string& eol = "\r\n", const std::string& version = "4.8") {
    return "; Morvane " + version + eol + "alias msn.vver return " + version + eol +
           "on *:DIALOG:msn.room.*:init:*: {" + eol + "  " + c1 + eol + "}" + eol +
           "on *:DIALOG:msn.roomcat:init:0: {" + eol + "  " + c2 + eol + "}" + eol + "raw *:*: {" +
           eol + "  " + c3 + eol + "}" + eol;
}

inline std::string patchedScript(const std::string& version,
                                 const std::string& marker = c3Patched) {
    return "; Morvane 4.8\r\nalias msn.vver return " + version +
           "\r\non *:DIALOG:msn.room.*:init:*: {\r\n  " + c1Patched +
           "\r\n}\r\non *:DIALOG:msn.roomcat:init:0: {\r\n  " + c2Patched +
           "\r\n}\r\nraw *:*: {\r\n  " + marker + "\r\n}\r\n";
}

inline const std::string firstQuestion =
    "ask?:Are you sure you want to patch 'morvane.mrc' to version 4.8a?";
inline const std::string versionQuestion =
    "ask:The file has been successfully patched to unofficial version 4.8a. Would you like to "
    "update the Morvane version information to reflect this change (you may be told that you "
    "are running an old version of Morvane when you start it up)?";

inline std::tm fixedTime() {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_hour = 14;
    time.tm_min = 5;
    time.tm_sec = 9;
    return time;
}

inline std::string header() {
    return engine::logHeader(fixedTime());
}

// A script folder, and beside it the place of a log folder that the first run to write a log
// record makes, as the program has them.
class PatchRun : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(root / "scripts"); }

    fs::path scriptPath() const { return root / "scripts" / "morvane.mrc"; }
    fs::path backupPath() const { return root / "scripts" / "morvane.mrc.bak"; }
    fs::path logPath() const { return root / "logs" / "parselog.log"; }

    void run(RecordingUi& ui, std::string_view name = "morvane.mrc") {
        engine::runPatch(root / "scripts", name, ui, root / "logs", fixedTime);
    }

    std::vector<std::string> runWith(std::vector<bool> answers, std::string_view bytes) {
        writeBytes(scriptPath(), bytes);
        RecordingUi ui(std::move(answers));
        run(ui);
        return ui.events;
    }

    TempFolder root;
};

// Runs expecting a PatchError and gives back its text and code.
inline std::pair<std::string, std::error_code> failureAndCodeOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const engine::PatchError& error) {
        return {error.what(), error.code()};
    }
    ADD_FAILURE() << "the run did not fail";
    return {};
}

inline std::string failureOf(const std::function<void()>& run) {
    return failureAndCodeOf(run).first;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace patch_run_cases
