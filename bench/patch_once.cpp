// morvane-patch-once SCRIPT LOGFOLDER
// Carries out one patch run on SCRIPT, answering Yes to both questions, with the log record in
// LOGFOLDER/parselog.log: a whole run without windows, to be timed from outside.

#include "engine/patch_run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

// Answers Yes to every question and keeps quiet, so that only the run itself is timed.
class YesToAll : public engine::PatchUi {
public:
    void showStatus(std::string_view text) override { lastStatus = text; }
    bool askYesNo(std::string_view, bool, engine::DefaultAnswer) override {
        ++questions;
        return true;
    }
    void showInfo(std::string_view text) override { info = text; }
    void setBrowserEnabled(bool) override {}

    std::string lastStatus;
    std::string info;
    int questions = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::cerr << "usage: morvane-patch-once SCRIPT LOGFOLDER\n";
        return 2;
    }
    const std::filesystem::path script = argv[1];
    YesToAll ui;
    try {
        const auto start = std::chrono::steady_clock::now();
        engine::runPatch(script.parent_path().empty() ? "." : script.parent_path(),
                         script.filename(), ui, argv[2]);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        // Two questions and the version status mean the whole road was taken.
        if (ui.questions != 2 || ui.lastStatus != "Version changes applied.") {
            std::cerr << "morvane-patch-once: the run stopped early: " << ui.lastStatus << '\n'
                      << ui.info << '\n';
            return EXIT_FAILURE;
        }
        std::printf("run_ms=%.1f\n", took.count());
        return EXIT_SUCCESS;
    } catch (const std::exception& failure) {
        std::cerr << "morvane-patch-once: " << failure.what() << '\n';
        return EXIT_FAILURE;
    }
}
