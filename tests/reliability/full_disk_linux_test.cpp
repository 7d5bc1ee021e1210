#include "engine/patch_run.h"
#include "tests/reliability/promise.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using reliability::fixedTime;
using testing_support::TempFolder;
using testing_support::writeBytes;

constexpr long page = 4096;

// A file that takes all the room there is, then gives it back a page at a time.
class Filler {
public:
    explicit Filler(const fs::path& path)
        : fd_(::open(path.c_str(), O_CREAT | O_WRONLY, 0600)) {
        const std::string chunk(page, 'f');
        while (::write(fd_, chunk.data(), chunk.size()) == page)
            size_ += page;
    }
    ~Filler() { ::close(fd_); }
    Filler(const Filler&) = delete;
    Filler& operator=(const Filler&) = delete;

    // Leaves `free` bytes of the disk's room unused; false once the filler is empty.
    bool leave(long free) { return free <= size_ && ::ftruncate(fd_, size_ - free) == 0; }

private:
    int fd_;
    long size_ = 0;
};

TEST(FullDisk, EveryLevelOfFreeRoomKeepsTheScript) {
    TempFolder root;
    const fs::path disk = root / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount(at.c_str()); }
    } unmount{disk};

    const reliability::Place place(disk);
    const fs::path& scripts = place.scripts;
    const fs::path& script = place.script;
    const fs::path& log = place.log;
    const std::string original = reliability::sampleScript(40 * 1024);
    writeBytes(script, original);
    const auto expected = reliability::expectationFor(original, engine::logHeader(fixedTime()));

    Filler filler(disk / "filler");
    int failed = 0;
    int completed = 0;
    for (long free = 0; completed < 3; free += page) {
        SCOPED_TRACE("free room " + std::to_string(free));
        fs::remove(log);
        fs::remove(scripts / "morvane.mrc.bak");
        writeBytes(script, original);
        ASSERT_TRUE(filler.leave(free)) << "the run never found room enough";

        try {
            place.run();
            ++completed;
        } catch (const engine::PatchError& failure) {
            ++failed;
            EXPECT_NE(std::string(failure.what()).find("Could not "), std::string::npos);
        }
        EXPECT_TRUE(reliability::promiseHolds(expected, script, log));
        EXPECT_TRUE(reliability::leftovers(scripts, "morvane.mrc").empty());
    }
    EXPECT_GT(failed, 20) << "too few levels ran out of room to prove anything";
    std::printf("full disk: %d levels failed cleanly, then %d runs completed\n", failed, completed);
}

} // namespace
