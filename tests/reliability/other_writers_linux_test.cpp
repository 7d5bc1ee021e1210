// Others at work while a run goes on: another program saving the script at any moment, a second
// run of the program, and the signals a logout or Ctrl+C sends.

#include "engine/file_error.h"
#include "tests/reliability/child_run_linux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using reliability::fixedTime;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

const std::string original = reliability::sampleScript(16 * 1024);

reliability::Expectation expectationFor(const std::string& script) {
    return reliability::expectationFor(script, engine::logHeader(fixedTime()));
}

int waitFor(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST(AnotherProgram, ASaveBeforeAnyOperationOfTheRunIsNeverOverwritten) {
    const std::string theirs = reliability::sampleScript(8 * 1024);
    const long operations = reliability::operationsOfAYesYesRun(original);
    int refused = 0;
    int after = 0;
    for (long k = 1; k <= operations; ++k) {
        SCOPED_TRACE("saved before operation " + std::to_string(k));
        TempFolder root(reliability::fastFolder());
        const reliability::Place place(root.path());
        writeBytes(place.script, original);
        engine::os::FaultPlan plan;
        plan.before = [&](long operation) {
            if (operation == k)
                writeBytes(place.script, theirs);
        };
        const std::error_code code = reliability::codeOfRun(place, plan);
        // Refused; or the save came before the run read the script and it was theirs it
        // patched, or after the run's last write, and it stands.
        if (code) {
            ++refused;
            EXPECT_EQ(code, engine::Refusal::changedByAnotherProgram);
            EXPECT_EQ(readBytes(place.script), theirs);
        } else if (readBytes(place.script) == theirs) {
            ++after;
        } else {
            EXPECT_EQ(readBytes(place.script), expectationFor(theirs).intended.back());
        }
        EXPECT_TRUE(reliability::leftovers(place.scripts, "morvane.mrc").empty());
    }
    std::printf("a save before each of the %ld operations: %d runs refused, %ld patched the "
                "saved text, %d came after the last write\n",
                operations, refused, operations - refused - after, after);
}

// Whoever may write in the folder puts a link in the place of the backup's temporary file, then
// of the script's, once it is written: the link is neither renamed into place nor written through.
TEST(AnotherUser, ALinkInThePlaceOfATemporaryFileNeverTakesTheName) {
    const auto expected = expectationFor(original);
    for (const std::size_t written : {original.size(), expected.intended[0].size()}) {
        TempFolder root;
        const reliability::Place place(root.path());
        writeBytes(place.script, original);
        writeBytes(root / "theirs", "root's");
        engine::os::FaultPlan plan;
        plan.before = [&](long) {
            for (const auto& name : reliability::leftovers(place.scripts, "morvane.mrc")) {
                const fs::path temporary = place.scripts / name;
                if (fs::is_regular_file(temporary) && fs::file_size(temporary) == written) {
                    fs::rename(temporary, root / "moved");
                    fs::create_symlink(root / "theirs", temporary);
                }
            }
        };
        const std::error_code code = reliability::codeOfRun(place, plan);
        EXPECT_EQ(code, engine::Refusal::temporaryFileTaken);
        EXPECT_EQ(readBytes(root / "theirs"), "root's");
        EXPECT_EQ(readBytes(place.script), original);
        EXPECT_FALSE(fs::is_symlink(engine::backupPathFor(place.script)));
    }
}

// Whoever may write in the folder above the script's swaps the script's folder for a link to
// another folder (root's own) before each operation in turn: the run writes only in the folder
// it opened when it started, or refuses.
TEST(AnotherUser, AFolderSwappedForALinkNeverTakesTheRunsWrites) {
    const long operations = reliability::operationsOfAYesYesRun(original);
    for (long k = 1; k <= operations; ++k) {
        SCOPED_TRACE("swapped before operation " + std::to_string(k));
        TempFolder root(reliability::fastFolder());
        const reliability::Place place(root.path());
        writeBytes(place.script, original);
        fs::create_directory(root / "private");
        writeBytes(root / "private" / "keep", "root's");
        engine::os::FaultPlan plan;
        plan.before = [&](long operation) {
            if (operation == k) {
                fs::rename(place.scripts, root / "moved");
                fs::create_directory_symlink(root / "private", place.scripts);
            }
        };
        reliability::codeOfRun(place, plan);
        EXPECT_EQ(testing_support::namesIn(root / "private"), std::vector<std::string>{"keep"});
        EXPECT_EQ(readBytes(root / "private" / "keep"), "root's");
    }
}

// A watcher (inotify) may open each new file the moment it appears: a temporary file is
// readable by this user alone until it holds the whole text and takes the script's access.
TEST(AnotherUser, FindsNoTemporaryFileOpenToThemBeforeItIsComplete) {
    TempFolder root;
    const reliability::Place place(root.path());
    writeBytes(place.script, original);
    ASSERT_EQ(::chmod(place.script.c_str(), 0644), 0);
    auto complete = expectationFor(original).intended;
    complete.push_back(original); // the backup's
    int looked = 0;
    engine::os::FaultPlan plan;
    plan.before = [&](long) {
        for (const auto& name : reliability::leftovers(place.scripts, "morvane.mrc")) {
            struct stat status {};
            if (::lstat((place.scripts / name).c_str(), &status) != 0)
                continue;
            ++looked;
            if ((status.st_mode & 077) == 0)
                continue;
            const std::string now = readBytes(place.scripts / name);
            EXPECT_NE(std::find(complete.begin(), complete.end(), now), complete.end())
                << name << " is open to others, mode " << std::oct << (status.st_mode & 07777)
                << ", holding " << std::dec << now.size() << " bytes";
        }
    };
    EXPECT_FALSE(reliability::codeOfRun(place, plan));
    EXPECT_GT(looked, 0) << "no temporary file was ever seen";
}

class Signalled : public ::testing::TestWithParam<int> {};

// The signal arrives at each point of a run in turn, before each operation or at each moment
// inside one: every one of them ends the program, and only the run with no point left goes
// through. With a second name (hard link) the script is written in place, and the signal waits
// for the end of it.
void signalAtEachPoint(int signal, bool insideOperations) {
    std::signal(signal, SIG_DFL); // as a program that leaves it alone has it
    const auto expected = expectationFor(original);
    const std::string where = insideOperations ? "moment " : "before operation ";
    for (const bool inPlace : {false, true}) {
        const long points = insideOperations
                                ? reliability::momentsOfAYesYesRun(original, inPlace)
                                : reliability::operationsOfAYesYesRun(original, inPlace);
        for (long k = 1; k <= points + 1; ++k) {
            SCOPED_TRACE((inPlace ? "in place, signal at " : "signal at ") + where +
                         std::to_string(k));
            TempFolder root(reliability::fastFolder());
            const reliability::Place place(root.path());
            writeBytes(place.script, original);
            if (inPlace)
                reliability::giveASecondName(place);
            const auto raiseAtK = [&](long point) {
                if (point == k)
                    ::raise(signal);
            };
            const int status = waitFor(insideOperations ? reliability::startRun(place, {}, raiseAtK)
                                                        : reliability::startRun(place, raiseAtK));
            EXPECT_TRUE(reliability::promiseHolds(expected, place.script, place.log));
            EXPECT_TRUE(reliability::leftovers(place.scripts, "morvane.mrc").empty());
            if (k <= points)
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
                    << "the signal did not end the program";
            else
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        std::printf("%s at each of %ld points (%s)%s: the program ended every time, nothing left "
                    "behind\n",
                    strsignal(signal), points,
                    insideOperations ? "moments inside operations" : "before operations",
                    inPlace ? ", script written in place" : "");
    }
}

// Started by nohup, or as a background job, the program ignores the signal: it stays ignored
// for the whole run, and the run goes through whatever operation it comes before.
TEST_P(Signalled, IgnoredFromTheStartItStaysIgnored) {
    const int signal = GetParam();
    const auto expected = expectationFor(original);
    for (const bool inPlace : {false, true}) {
        const long operations = reliability::operationsOfAYesYesRun(original, inPlace);
        for (long k = 1; k <= operations; ++k) {
            SCOPED_TRACE(
                (inPlace ? "in place, signal before operation " : "signal before operation ") +
                std::to_string(k));
            TempFolder root(reliability::fastFolder());
            const reliability::Place place(root.path());
            writeBytes(place.script, original);
            if (inPlace)
                reliability::giveASecondName(place);
            const int status = waitFor(reliability::startRun(
                place,
                [&](long operation) {
                    if (operation == k)
                        ::raise(signal);
                },
                {}, signal));
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_EQ(readBytes(place.script), expected.intended.back());
        }
    }
}

TEST_P(Signalled, AtAnyOperationTheScriptIsWholeAndNothingIsLeftBehind) {
    signalAtEachPoint(GetParam(), false);
}

// Inside an operation too: between making a temporary file and arming its removal, between one
// write and the next, just after a rename.
TEST_P(Signalled, AtAnyMomentInsideAnOperationTheScriptIsWholeAndNothingIsLeftBehind) {
    signalAtEachPoint(GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(Logout, Signalled, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A kill in the middle of a write in place (between the text and the line end after it): the
// script is cut short, which only a write in place can leave. The marker written before it says so,
// and the next run offers the backup.
TEST(KilledWhileWrittenInPlace, TheNextRunOffersTheBackupFirstAndPutsItBack) {
    TempFolder root;
    const reliability::Place place(root.path());
    writeBytes(place.script, original);
    reliability::giveASecondName(place);
    const auto expected = expectationFor(original);
    const pid_t child = ::fork();
    if (child == 0) {
        engine::os::FaultPlan plan;
        // Killed at the first operation that finds the script neither as it was nor whole.
        plan.before = [&](long) {
            const std::string now = readBytes(place.script);
            if (now != original && std::find(expected.intended.begin(), expected.intended.end(),
                                             now) == expected.intended.end())
                ::raise(SIGKILL);
        };
        engine::os::setFaultPlan(&plan);
        place.run();
        ::_exit(0);
    }
    const int status = waitFor(child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    const std::string left = readBytes(place.script);
    ASSERT_NE(left, original);
    ASSERT_EQ(std::find(expected.intended.begin(), expected.intended.end(), left),
              expected.intended.end());

    const fs::path marker = reliability::markerOf(place.script);
    struct stat markerStatus {};
    ASSERT_EQ(::stat(marker.c_str(), &markerStatus), 0) << "no marker beside the script";
    EXPECT_EQ(markerStatus.st_mode & 07777, 0600u);
    EXPECT_TRUE(reliability::markerNamesItsBackup(place.script));
    EXPECT_EQ(readBytes(place.scripts / "morvane.mrc.bak"), original);

    testing_support::RecordingUi ui({true, false});
    engine::runPatch(place.scripts, "morvane.mrc", ui, place.logs, fixedTime);
    ASSERT_GE(ui.events.size(), 2u);
    EXPECT_TRUE(ui.events[1].starts_with("ask?[No]:The last patch of 'morvane.mrc' was "
                                         "interrupted while the script was written"))
        << ui.events[1];
    EXPECT_EQ(readBytes(place.script), original);
    EXPECT_EQ(readBytes(root / "second.mrc"), original);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(reliability::leftovers(place.scripts, "morvane.mrc").empty());
}

struct Pipe {
    Pipe() { (void)::pipe(ends); }
    ~Pipe() {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    void tell() { (void)::write(ends[1], "", 1); }
    bool hear() {
        char byte = 0;
        return ::read(ends[0], &byte, 1) == 1;
    }
    int ends[2]{-1, -1};
};

// Two processes: the first run waits at its version question while the second is started.
// lockError, where given, is how the file system refuses every lock.
void secondRunWhileTheFirstWaits(int lockError) {
    TempFolder root;
    const reliability::Place place(root.path());
    writeBytes(place.script, original);
    engine::os::FaultPlan plan;
    plan.lockError = lockError;
    Pipe asked, answered;
    const pid_t first = ::fork();
    if (first == 0) {
        testing_support::RecordingUi ui({true, true});
        ui.whileVersionQuestionIsOpen = [&] {
            asked.tell();
            answered.hear();
        };
        engine::os::setFaultPlan(&plan);
        try {
            engine::runPatch(place.scripts, "morvane.mrc", ui, place.logs, fixedTime);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    ASSERT_TRUE(asked.hear()); // the first run is at its version question
    if (lockError) {           // hidden, the first run's alone, naming it
        const fs::path lockFile = place.scripts / ".morvane.mrc.lock";
        struct stat status {};
        EXPECT_EQ(::lstat(lockFile.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        EXPECT_EQ(readBytes(lockFile), std::to_string(first) + " " + host + "\n");
    }
    const std::string log = readBytes(place.log);
    const auto started = std::chrono::steady_clock::now();
    const auto [code, message] = reliability::endOfRun(place, plan);
    EXPECT_EQ(code, std::errc::operation_would_block) << message;
    EXPECT_NE(message.find("another run of this program is patching it"), std::string::npos)
        << message;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_TRUE(readBytes(place.log) == log) << "the refused run wrote to the log";
    answered.tell();
    const int status = waitFor(first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(readBytes(place.script) == expectationFor(original).intended.back());
    EXPECT_TRUE(readBytes(engine::backupPathFor(place.script)) == original)
        << "the backup does not hold the text as read";
    EXPECT_EQ(testing_support::namesIn(place.scripts),
              (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
}

TEST(TwoRuns, OnOneScriptTheSecondIsRefusedAtOnceAndTheFirstCompletes) {
    secondRunWhileTheFirstWaits(0);
}

// NFS without its lock service refuses every lock (ENOLCK): a lock file beside the script, made
// only where no other exists, stands in for the lock.
TEST(TwoRuns, WhereLocksAreRefusedALockFileRefusesTheSecond) {
    secondRunWhileTheFirstWaits(ENOLCK);
}

struct LockFileCase {
    const char* name;
    bool holderGone; // a process of this host that has ended; otherwise this test's own
    bool anotherHost;
};

// Test lists show the case by name.
void PrintTo(const LockFileCase& c, std::ostream* out) {
    *out << c.name;
}

class LockFileLeft : public ::testing::TestWithParam<LockFileCase> {};

// A lock file found beside the script: one whose process is gone (same host, no such process) is
// free; one of a live process, or of another host, where it cannot be told, refuses the run.
TEST_P(LockFileLeft, IsTakenOverOnlyWhenItsProcessIsGone) {
    const LockFileCase& c = GetParam();
    TempFolder root;
    const reliability::Place place(root.path());
    writeBytes(place.script, original);
    pid_t holder = ::getpid();
    if (c.holderGone) {
        holder = ::fork();
        if (holder == 0)
            ::_exit(0);
        waitFor(holder);
    }
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const fs::path lockFile = place.scripts / ".morvane.mrc.lock";
    writeBytes(lockFile, std::to_string(holder) + " " +
                             (c.anotherHost ? std::string("elsewhere.invalid") : host) + "\n");
    engine::os::FaultPlan plan;
    plan.lockError = ENOLCK;
    const auto [code, message] = reliability::endOfRun(place, plan);
    if (c.holderGone && !c.anotherHost) {
        EXPECT_FALSE(code) << message;
        EXPECT_TRUE(readBytes(place.script) == expectationFor(original).intended.back());
        EXPECT_FALSE(fs::exists(lockFile));
        return;
    }
    EXPECT_EQ(code, std::errc::operation_would_block) << message;
    EXPECT_NE(message.find("another run of this program is patching it"), std::string::npos)
        << message;
    EXPECT_NE(message.find(".morvane.mrc.lock"), std::string::npos) << message;
    EXPECT_TRUE(readBytes(place.script) == original) << "the script was written";
    EXPECT_TRUE(fs::exists(lockFile));
    EXPECT_FALSE(fs::exists(place.log));
}

INSTANTIATE_TEST_SUITE_P(Holders, LockFileLeft,
                         ::testing::Values(LockFileCase{"OfAProcessThatIsGone", true, false},
                                           LockFileCase{"OfALiveProcess", false, false},
                                           LockFileCase{"OfAnotherHost", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The first run replaces the script just as the second opens it, before each of the second's
// operations in turn: a lock taken on the old, nameless file would let the second go on. It is
// refused as another run of this program, and writes nothing.
TEST(TwoRuns, OneThatOpensTheScriptJustAsTheFirstReplacesItIsRefused) {
    const std::string firstsText = expectationFor(original).intended.back();
    long k = 1;
    for (;; ++k) {
        SCOPED_TRACE("replaced before operation " + std::to_string(k));
        TempFolder root;
        const reliability::Place place(root.path());
        writeBytes(place.script, original);
        const fs::path firstsNew = place.scripts / ".firsts-new";
        writeBytes(firstsNew, firstsText);
        // The first run holds its lock on the script, and on its new file from before it is
        // renamed.
        engine::os::File script(::open(place.script.c_str(), O_RDONLY | O_CLOEXEC));
        const engine::os::File replacement(::open(firstsNew.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(static_cast<int>(script.handle()), LOCK_EX), 0);
        ASSERT_EQ(::flock(static_cast<int>(replacement.handle()), LOCK_EX), 0);
        bool replaced = false;
        engine::os::FaultPlan plan;
        plan.before = [&](long operation) {
            if (operation == k) {
                fs::rename(firstsNew, place.script);
                script = engine::os::File();
                replaced = true;
            }
        };
        const auto [code, message] = reliability::endOfRun(place, plan);
        if (!replaced) // refused before operation k
            break;
        EXPECT_EQ(code, std::errc::operation_would_block) << message;
        EXPECT_NE(message.find("another run of this program"), std::string::npos) << message;
        EXPECT_EQ(readBytes(place.script), firstsText);
        EXPECT_FALSE(fs::exists(engine::backupPathFor(place.script)));
        EXPECT_FALSE(fs::exists(place.log));
    }
    std::printf("the script replaced before each of the second run's first %ld operations: "
                "refused every time\n",
                k - 1);
}

TEST(TwoRuns, OnOneLogTheSecondRecordFollowsTheFirstWhole) {
    TempFolder root;
    const reliability::Place place(root.path());
    const std::string other = reliability::sampleScript(8 * 1024);
    writeBytes(place.script, original);
    writeBytes(place.scripts / "other.mrc", other);
    Pipe inside;
    bool paused = false;
    // The first run stops a while after its record's header, before its text.
    const pid_t first = reliability::startRun(place, [&](long) {
        std::error_code missing;
        const auto size = fs::file_size(place.log, missing);
        if (!paused && !missing && size > 0) {
            paused = true;
            inside.tell();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    });
    ASSERT_TRUE(inside.hear());
    testing_support::RecordingUi ui({true, true});
    engine::runPatch(place.scripts, "other.mrc", ui, place.logs, fixedTime);
    const int status = waitFor(first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readBytes(place.log),
              expectationFor(original).logRecord + expectationFor(other).logRecord);
}

} // namespace
