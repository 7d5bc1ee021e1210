#include "engine/os_file.h"
#include "engine/patch_run.h"
#include "tests/reliability/promise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <regex>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using reliability::fixedTime;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The error each operation fails with in turn, and whether the script is replaced or, having a
// second name, written in place.
class FaultInjection : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(FaultInjection, EveryFailedOperationEndsTheRunAndEveryPlaceNamedHoldsTheText) {
    const auto [error, inPlace] = GetParam();
    const std::string script = reliability::sampleScript(64 * 1024);
    const long operations = reliability::operationsOfAYesYesRun(script, inPlace);
    ASSERT_GT(operations, 20) << "the run's file operations are not all counted";

    const std::string reason = std::generic_category().message(error);
    const std::regex named("^Could not (open|read|write|close|create|remove)( to)? the "
                           "(script|backup|log|log folder|marker) \"(/|[A-Za-z]:)[^\"]+\": " +
                           reason +
                           "\\. The script \"[^\"]+\" (was (not )?changed|may be incomplete)");
    for (long k = 1; k <= operations; ++k) {
        SCOPED_TRACE("operation " + std::to_string(k) + " of " + std::to_string(operations));
        TempFolder root;
        const reliability::Place place(root.path());
        writeBytes(place.script, script);
        if (inPlace)
            reliability::giveASecondName(place);
        const auto expected = reliability::expectationFor(script, engine::logHeader(fixedTime()));

        std::string message;
        std::error_code code;
        // The log is the first file written to; whether its record was flushed before the fault.
        std::intptr_t log = -1;
        bool logFlushed = false;
        {
            engine::os::FaultPlan plan;
            plan.failAt = k;
            plan.error = error;
            plan.trace = [&](std::string_view step, std::intptr_t handle, const fs::path&) {
                if (step == "write" && log == -1)
                    log = handle;
                logFlushed = logFlushed || (step == "sync" && handle == log);
            };
            const reliability::PlanGuard guard(plan);
            try {
                place.run();
            } catch (const engine::PatchError& failure) {
                message = failure.what();
                code = failure.code();
            }
        }
        EXPECT_TRUE(std::regex_search(message, named)) << message;
        EXPECT_EQ(code, std::errc(error)) << "the failing call's code was lost";
        EXPECT_TRUE(reliability::promiseHolds(expected, place.script, place.log));

        // Every place the message names holds what it says.
        const std::string now = readBytes(place.script);
        const std::string kept = contains(message, "The text as read is kept in")
                                     ? message.substr(message.find("The text as read is kept in"))
                                     : std::string();
        const fs::path backup = place.scripts / "morvane.mrc.bak";
        const bool namesBackup = contains(kept, "the backup \"" + backup.string() + "\"");
        const bool namesLog = contains(kept, "the log \"" + place.log.string() + "\"");
        const bool incomplete = contains(message, "may be incomplete");
        EXPECT_TRUE(!contains(message, "was not changed") || now == script) << message;
        EXPECT_TRUE(!namesBackup || readBytes(backup) == script) << message;
        EXPECT_TRUE(!namesLog || logFlushed) << message;
        EXPECT_TRUE(now == script || namesBackup || namesLog)
            << "the script was changed, and the message names no place that holds the text: "
            << message;
        // A marker stays where the script may be cut short, or is whole but the marker could
        // not be removed; the next run tells them apart.
        const bool whole =
            now == script || std::find(expected.intended.begin(), expected.intended.end(), now) !=
                                 expected.intended.end();
        EXPECT_TRUE(!incomplete || reliability::markerNamesItsBackup(place.script)) << message;
        EXPECT_TRUE(incomplete || whole || !fs::exists(reliability::markerOf(place.script)))
            << message;

        auto left = reliability::leftovers(place.scripts, "morvane.mrc");
        std::erase(left, reliability::markerOf(place.script).filename().string());
        EXPECT_TRUE(left.empty());
        EXPECT_NO_THROW(place.run()) << "a run after the failure";
    }
    std::printf("%s: each of the %ld file operations of a Yes/Yes run %s failed in turn\n",
                reason.c_str(), operations,
                inPlace ? "writing the script in place" : "replacing the script");
}

INSTANTIATE_TEST_SUITE_P(Errors, FaultInjection,
                         ::testing::Combine(::testing::Values(EIO, ENOSPC, EACCES),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             const int error = std::get<0>(info.param);
                             return std::string(error == EIO      ? "EIO"
                                                : error == ENOSPC ? "ENOSPC"
                                                                  : "EACCES") +
                                    (std::get<1>(info.param) ? "InPlace" : "Replaced");
                         });

} // namespace
