#include "engine/os_file.h"
#include "engine/patch_run.h"
#include "tests/reliability/promise.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using reliability::fixedTime;
using testing_support::readBytes;
using testing_support::RecordingUi;
using testing_support::TempFolder;
using testing_support::writeBytes;

std::string header() {
    return engine::logHeader(fixedTime());
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(scripts);
        fs::create_directory(logs);
    }
    std::vector<std::string> run(const std::string& name = "morvane.mrc") {
        RecordingUi ui({true, true});
        engine::runPatch(scripts, name, ui, logs, fixedTime);
        return ui.events;
    }
    fs::path script(const std::string& name = "morvane.mrc") const { return scripts / name; }

    TempFolder root;
    fs::path scripts = root / "scripts";
    fs::path logs = root / "logs";
    fs::path log = logs / "parselog.log";
};

// A script far larger than any add-on's: a head holding the rule texts, then one block repeated.
struct LargeScript {
    std::string head = reliability::sampleScript(0);
    std::string block;
    std::size_t repeats;

    void write(const fs::path& path) const {
        std::ofstream out(path, std::ios::binary);
        out << head;
        for (std::size_t i = 0; i < repeats; ++i)
            out << block;
    }
};

// Compares a file with prefix + block * repeats + suffix a chunk at a time.
::testing::AssertionResult fileIs(const fs::path& path, const std::string& prefix,
                                  const std::string& block, std::size_t repeats,
                                  const std::string& suffix) {
    std::ifstream in(path, std::ios::binary);
    std::string chunk;
    std::size_t offset = 0;
    auto expect = [&](const std::string& part) {
        chunk.resize(part.size());
        in.read(chunk.data(), static_cast<std::streamsize>(part.size()));
        const bool same = in.gcount() == static_cast<std::streamsize>(part.size()) && chunk == part;
        offset += part.size();
        return same;
    };
    if (!expect(prefix))
        return ::testing::AssertionFailure()
               << path << " differs in its first " << prefix.size() << " bytes";
    std::string blocks;
    const std::size_t perRead = std::max<std::size_t>(1, (1u << 20) / block.size());
    for (std::size_t i = 0; i < repeats; i += perRead) {
        blocks.clear();
        for (std::size_t j = i; j < std::min(repeats, i + perRead); ++j)
            blocks += block;
        if (!expect(blocks))
            return ::testing::AssertionFailure() << path << " differs near byte " << offset;
    }
    if (!expect(suffix) || in.peek() != std::char_traits<char>::eof())
        return ::testing::AssertionFailure() << path << " ends differently";
    return ::testing::AssertionSuccess();
}

TEST_F(Hostile, OneGibibyteScriptIsPatchedWhole) {
    // A run counts on a quarter of the machine's memory, and holds the script, its new file, the
    // backup and the log on disk at once.
    constexpr std::uintmax_t gibibyte = std::uintmax_t{1} << 30;
    if (engine::os::memoryForAScript() < gibibyte + (gibibyte >> 4))
        GTEST_SKIP() << "a 1 GiB script needs a machine with more than 4 GiB of memory; this one "
                     << "lets a run count on " << (engine::os::memoryForAScript() >> 20) << " MiB";
    if (const auto free = fs::space(root.path()).available; free < 4 * gibibyte + (gibibyte >> 1))
        GTEST_SKIP() << "a 1 GiB script needs 4.5 GiB free beside it; " << root.path() << " has "
                     << (free >> 20) << " MiB";
    LargeScript large;
    large.block = "on *:TEXT:*:#:{ if ($nick isop #) { did -a msn.chat 3 $1- } }\r\n";
    large.repeats = (std::size_t(1) << 30) / large.block.size();
    large.write(script());

    run();

    EXPECT_TRUE(fileIs(script(), reliability::sampleHead(reliability::Form::version), large.block,
                       large.repeats, "\r\n"));
    EXPECT_TRUE(fileIs(script().string() + ".bak", large.head, large.block, large.repeats, ""));
    EXPECT_TRUE(fileIs(log, header() + large.head, large.block, large.repeats, ""));
}

TEST_F(Hostile, OneLineOf100MebibytesIsOneLine) {
    // The three texts near the start, the middle and the end of one line, before or after.
    const auto line = [](bool patched) {
        const auto form = [&](const reliability::Change& change) {
            return std::string(patched ? change.after : change.before);
        };
        const std::string filler((50 << 20) - 1000, 'x');
        return std::string(1000, 'x') + form(reliability::createRoomList) + filler +
               form(reliability::roomBrowserList) + filler + form(reliability::debugCommand) +
               std::string(1000, 'x');
    };
    writeBytes(script(), line(false));

    const auto events = run();

    EXPECT_EQ(events.back(), "browser:on");
    EXPECT_EQ(readBytes(script()), line(true) + "\r\n\r\n");
    EXPECT_EQ(readBytes(log), header() + line(false) + "\r\n");
}

TEST_F(Hostile, TenMebibytesOfLoneCrsAreThatManyEmptyLines) {
    const std::string crs(10 << 20, '\r');
    const std::string list(reliability::createRoomList.before);
    writeBytes(script(), crs + list);

    const auto events = run();

    std::string lines;
    lines.reserve(crs.size() * 2);
    for (std::size_t i = 0; i < crs.size(); ++i)
        lines += "\r\n";
    EXPECT_EQ(events[events.size() - 3], "status:File not fully patched.");
    EXPECT_EQ(readBytes(script()),
              lines + std::string(reliability::createRoomList.after) + "\r\n\r\n");
    EXPECT_EQ(readBytes(script().string() + ".bak"), crs + list);
    EXPECT_EQ(readBytes(log), header() + lines + list + "\r\n");
}

TEST_F(Hostile, NameWhoseBackupCannotExistIsRefusedBeforeAnythingIsWritten) {
    const std::size_t longest = engine::os::maxNameLength(scripts);
    const std::string fits = std::string(longest - 8, 'n') + ".mrc"; // backup name: longest
    const std::string tooLong = std::string(longest - 7, 'n') + ".mrc";
    const std::string original = reliability::sampleScript(4096);
    writeBytes(script(fits), original);
    writeBytes(script(tooLong), original);

    EXPECT_NO_THROW(run(fits));
    EXPECT_EQ(readBytes(script(fits + ".bak")), original);

    const std::string logBefore = readBytes(log);
    try {
        run(tooLong);
        FAIL() << "a script whose backup cannot exist was patched";
    } catch (const engine::PatchError& failure) {
        const std::string text = failure.what();
        EXPECT_NE(text.find("Could not write the backup"), std::string::npos) << text;
        EXPECT_NE(text.find("too long"), std::string::npos) << text;
    }
    EXPECT_EQ(readBytes(script(tooLong)), original);
    EXPECT_EQ(readBytes(log), logBefore);
    EXPECT_EQ(reliability::leftovers(scripts, fits).size(), 1u); // only the long script itself
}

} // namespace
