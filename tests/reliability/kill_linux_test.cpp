#include "engine/patch_run.h"
#include "tests/reliability/child_run_linux.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using reliability::fixedTime;
using Clock = std::chrono::steady_clock;
using testing_support::TempFolder;
using testing_support::writeBytes;

TEST(Killed, AtAnyMomentTheScriptIsWholeAndTheTextAsReadIsKept) {
    TempFolder root(reliability::fastFolder());
    const reliability::Place place(root.path());
    const fs::path& scripts = place.scripts;
    const fs::path& script = place.script;
    const fs::path& log = place.log;
    const std::string original = reliability::sampleScript(16 << 20);
    const auto expected = reliability::expectationFor(original, engine::logHeader(fixedTime()));

    // How long a run takes here, so that the kills spread over all of it.
    writeBytes(script, original);
    const auto started = Clock::now();
    int status = 0;
    ::waitpid(reliability::startRun(place), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto runTime =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);

    const char* seedText = std::getenv("MORVANE_KILL_SEED");
    const unsigned seed =
        seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261208u;
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(0, runTime.count() * 11 / 10);
    // 200 kills where the machine allows; a slow machine stops once its time is up, but never
    // before 50, which still land all over a run: the machine's speed is not what is tested.
    constexpr int wanted = 200;
    constexpr int floor = 50;
    const auto timeUp = Clock::now() + std::chrono::seconds(110);

    int kills = 0;
    int untouched = 0;
    std::set<std::string> leftTemporary;
    for (; kills < wanted && (kills < floor || Clock::now() < timeUp); ++kills) {
        SCOPED_TRACE("kill " + std::to_string(kills) + ", seed " + std::to_string(seed));
        fs::remove(log);
        fs::remove(scripts / "morvane.mrc.bak");
        writeBytes(script, original);

        const pid_t child = reliability::startRun(place);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);

        ASSERT_TRUE(reliability::promiseHolds(expected, script, log));
        untouched += testing_support::readBytes(script) == original;
        for (const auto& name : reliability::leftovers(scripts, "morvane.mrc")) {
            // What a kill leaves behind is hidden and is no script, so no list ever shows it.
            EXPECT_EQ(name.front(), '.') << name;
            EXPECT_FALSE(reliability::endsWith(name, ".mrc")) << name;
            leftTemporary.insert(name);
        }
    }
    // The next run that gets going removes what the killed ones left.
    writeBytes(script, original);
    place.run();
    EXPECT_TRUE(reliability::leftovers(scripts, "morvane.mrc").empty());
    std::printf("killed %d runs of %lld ms (seed %u): %d left the script untouched, %d patched; "
                "%zu temporary files left behind, all removed by later runs\n",
                kills, static_cast<long long>(runTime.count() / 1000), seed, untouched,
                kills - untouched, leftTemporary.size());
}

} // namespace
