// The order in which a run writes, flushes and renames, as the system layer reports each step
// done: what a power cut would be the first to find out of order.

#include "tests/reliability/promise.h"

#include <gtest/gtest.h>

#include <climits>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;
using testing_support::writeBytes;

struct Step {
    std::string what; // write, truncate, sync, rename or remove
    fs::path file;    // the file the handle led to when the step was done
    fs::path name;    // the name a rename gave or a removal took
    std::intptr_t handle;
};

fs::path fileOf(std::intptr_t handle) {
    char path[PATH_MAX]{};
    const std::string link = "/proc/self/fd/" + std::to_string(handle);
    const ssize_t size = ::readlink(link.c_str(), path, sizeof path - 1);
    return size > 0 ? fs::path(std::string(path, static_cast<std::size_t>(size))) : fs::path();
}

std::vector<Step> stepsOfAYesYesRun(const reliability::Place& place) {
    std::vector<Step> steps;
    engine::os::FaultPlan plan;
    plan.trace = [&](std::string_view what, std::intptr_t handle, const fs::path& name) {
        steps.push_back({std::string(what), fileOf(handle), name, handle});
    };
    const reliability::PlanGuard guard(plan);
    place.run();
    return steps;
}

// The index of the first step at or after from that matches, or steps.size().
template <typename Match>
std::size_t find(const std::vector<Step>& steps, std::size_t from, Match match) {
    while (from < steps.size() && !match(steps[from]))
        ++from;
    return from;
}

std::string listed(const std::vector<Step>& steps) {
    std::string text;
    for (const Step& step : steps)
        text += step.what + " " + step.file.string() + " " + step.name.string() + "\n";
    return text;
}

class FlushOrder : public ::testing::TestWithParam<bool> {};

// Every new file is flushed before it is renamed into place and its folder right after; the log
// record and the backup are on disk before the script is touched; a script written in place has
// its marker on disk before the first byte and loses it only once it is flushed itself.
TEST_P(FlushOrder, NothingIsReliedOnBeforeItIsOnDisk) {
    const bool inPlace = GetParam();
    TempFolder root;
    const reliability::Place place(root.path());
    writeBytes(place.script, reliability::sampleScript(16 * 1024));
    if (inPlace)
        reliability::giveASecondName(place);
    const fs::path backup = place.scripts / "morvane.mrc.bak";
    const fs::path marker = reliability::markerOf(place.script);

    const std::vector<Step> steps = stepsOfAYesYesRun(place);
    SCOPED_TRACE(listed(steps));

    int renames = 0;
    for (std::size_t at = 0; at < steps.size(); ++at) {
        if (steps[at].what != "rename")
            continue;
        ++renames;
        const std::intptr_t file = steps[at].handle;
        std::size_t lastWrite = steps.size();
        bool synced = false;
        for (std::size_t before = 0; before < at; ++before) {
            if (steps[before].handle != file)
                continue;
            if (steps[before].what == "write")
                lastWrite = before, synced = false;
            else if (steps[before].what == "sync" && lastWrite != steps.size())
                synced = true;
        }
        EXPECT_TRUE(synced) << "not flushed before it was renamed: " << steps[at].file;
        ASSERT_LT(at + 1, steps.size());
        EXPECT_EQ(steps[at + 1].what, "sync") << "the folder is not flushed after the rename";
        EXPECT_EQ(steps[at + 1].file, steps[at].file.parent_path());
    }
    EXPECT_EQ(renames, inPlace ? 1 : 3); // the backup, then the script twice

    const auto touchesTheScript = [&](const Step& step) {
        return (step.what == "write" || step.what == "rename") && step.file == place.script;
    };
    const std::size_t scriptTouched = find(steps, 0, touchesTheScript);
    ASSERT_LT(scriptTouched, steps.size());
    const std::size_t logWritten = find(
        steps, 0, [&](const Step& step) { return step.what == "write" && step.file == place.log; });
    const std::size_t logFlushed = find(steps, logWritten, [&](const Step& step) {
        return step.what == "sync" && step.file == place.log;
    });
    EXPECT_LT(logFlushed, scriptTouched) << "the log record is not on disk first";
    const std::size_t backupPlaced = find(
        steps, 0, [&](const Step& step) { return step.what == "rename" && step.file == backup; });
    EXPECT_LT(backupPlaced + 1, scriptTouched) << "the backup is not on disk first";

    const auto markerWritten = find(
        steps, 0, [&](const Step& step) { return step.what == "write" && step.file == marker; });
    if (!inPlace) {
        EXPECT_EQ(markerWritten, steps.size()) << "a marker for a script that is replaced";
        return;
    }
    // write the marker, flush it, flush its folder; then the script.
    ASSERT_LT(markerWritten + 2, scriptTouched);
    EXPECT_EQ(steps[markerWritten + 1].what, "sync");
    EXPECT_EQ(steps[markerWritten + 1].file, marker);
    EXPECT_EQ(steps[markerWritten + 2].what, "sync");
    EXPECT_EQ(steps[markerWritten + 2].file, place.scripts);
    // Each write in place: written, flushed, then the marker removed and its folder flushed.
    for (std::size_t at = scriptTouched; at < steps.size();) {
        const std::size_t flushed = find(steps, at, [&](const Step& step) {
            return step.what == "sync" && step.file == place.script;
        });
        const std::size_t removed = find(steps, at, [&](const Step& step) {
            return step.what == "remove" && step.name == marker.filename();
        });
        ASSERT_LT(flushed, removed) << "the marker is removed before the script is flushed";
        ASSERT_LT(removed + 1, steps.size());
        EXPECT_EQ(steps[removed + 1].what, "sync");
        EXPECT_EQ(steps[removed + 1].file, place.scripts);
        at = find(steps, removed, touchesTheScript);
    }
    EXPECT_FALSE(fs::exists(marker));
}

INSTANTIATE_TEST_SUITE_P(Scripts, FlushOrder, ::testing::Values(false, true), [](const auto& info) {
    return std::string(info.param ? "WrittenInPlace" : "Replaced");
});

} // namespace
