#include "engine/os_file.h"
#include "engine/patch_run.h"
#include "tests/reliability/promise.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <regex>

namespace {

namespace fs = std::filesystem;
using reliability::fixedTime;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

class FaultInjection : public ::testing::TestWithParam<int> {};

TEST_P(FaultInjection, EveryFailedOperationEndsTheRunWithTheScriptWholeAndNamed) {
    const int error = GetParam();
    const std::string script = reliability::sampleScript(64 * 1024);
    const long operations = reliability::operationsOfAYesYesRun(script);
    ASSERT_GT(operations, 20) << "the run's file operations are not all counted";

    const std::string reason = std::generic_category().message(error);
    const std::regex named(
        "^Could not (open|read|write|close|create)( to)? the (script|backup|log|log folder) "
        "\"(/|[A-Za-z]:)[^\"]+\": " +
        reason + "\\. The script \"[^\"]+\" was (not )?changed");
    for (long k = 1; k <= operations; ++k) {
        SCOPED_TRACE("operation " + std::to_string(k) + " of " + std::to_string(operations));
        TempFolder root;
        const reliability::Place place(root.path());
        writeBytes(place.script, script);
        const auto expected = reliability::expectationFor(script, engine::logHeader(fixedTime()));

        std::string message;
        std::error_code code;
        {
            engine::os::FaultPlan plan;
            plan.failAt = k;
            plan.error = error;
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
        EXPECT_TRUE(reliability::leftovers(place.scripts, "morvane.mrc").empty());
        EXPECT_NO_THROW(place.run()) << "a run after the failure";
    }
    std::printf("%s: each of the %ld file operations of a Yes/Yes run failed in turn\n",
                reason.c_str(), operations);
}

INSTANTIATE_TEST_SUITE_P(Errors, FaultInjection, ::testing::Values(EIO, ENOSPC, EACCES),
                         [](const auto& info) {
                             return info.param == EIO      ? std::string("EIO")
                                    : info.param == ENOSPC ? std::string("ENOSPC")
                                                           : std::string("EACCES");
                         });

} // namespace
