#pragma once

// What a patch run promises the user, whatever happens to it: the script on disk is its old
// content or a complete content the run meant to write, and whenever it is not the old one,
// the text as read is complete in the backup or in the log. A script written in place (it has
// other names) may be cut short, but then a marker beside it names the backup that holds it.

#include "engine/os_file.h"
#include "engine/patch_run.h"
#include "engine/script_files.h"
#include "tests/engine/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace reliability {

namespace fs = std::filesystem;

// The date and time every log record of these tests is headed with.
inline std::tm fixedTime() {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_hour = 9;
    time.tm_min = 30;
    return time;
}

// A script folder and a log folder side by side under base, as the program has them.
struct Place {
    explicit Place(const fs::path& base)
        : scripts(base / "scripts")
        , logs(base / "logs") {
        fs::create_directory(scripts);
        fs::create_directory(logs);
    }
    // A Yes/Yes run on the script.
    void run() const {
        testing_support::RecordingUi ui({true, true});
        engine::runPatch(scripts, "morvane.mrc", ui, logs, fixedTime);
    }

    fs::path scripts;
    fs::path logs;
    fs::path script = scripts / "morvane.mrc";
    fs::path log = logs / "parselog.log";
};

// The lines of the add-on that the patch changes, as they are and as the patch leaves them,
// written out here rather than taken from the engine's rules, so that a fault in a rule shows.
struct Change {
    std::string_view before;
    std::string_view after;
};
inline constexpr Change createRoomList{
    "didtok $dname 23 44 UL - Unlisted,GE - City Chats,CP - Computing,EA - Entertainment,"
    "EV - Events,GN - General,HE - Health,II - Interests,LF - Lifestyles,MU - Music,NW - News,"
    "PR - Peers,RL - Religion,RM - Romance,SP - Sports & Recreation,TN - Teens",
    "didtok $dname 23 44 UL - Unlisted,PT - Chat Partners,GE - City Chats,CP - Computing,"
    "EA - Entertainment,EV - Events,GN - General,HE - Health,II - Interests,LF - Lifestyles,"
    "MU - Music,NW - News,PR - Peers,RL - Religion,RM - Romance,SP - Sports & Recreation,"
    "TN - Teens"};
inline constexpr Change roomBrowserList{
    "didtok $dname 2 44 General - GN,City Chats - GE,Computing - CP,Entertainment - EA,"
    "Events - EV,Health - HE,Interests - II,Lifestyles - LF,Music - MU,News - NW,Peers - PR,"
    "Religion - RL,Romance - RM,Sports & Recreation - SP,Teens - TN",
    "didtok $dname 2 44 General - GN,Chat Partners - PT,City Chats - GE,Computing - CP,"
    "Entertainment - EA,Events - EV,Health - HE,Interests - II,Lifestyles - LF,Music - MU,"
    "News - NW,Peers - PR,Religion - RL,Romance - RM,Sports & Recreation - SP,Teens - TN"};
inline constexpr Change debugCommand{
    "if ($2 isnum) write $scriptdir $+ rawslog.txt $1-",
    ";-debug-(removed by patcher); if ($2 isnum) write $scriptdir $+ rawslog.txt $1-"};
inline constexpr Change versionAlias{"alias msn.vver return 4.8", "alias msn.vver return 4.8a"};

// The sample script's head as read, after the category patch, and after the version patch too.
enum class Form { original, category, version };

inline std::string sampleHead(Form form) {
    const auto as = [&](const Change& change, Form from) {
        return std::string(form >= from ? change.after : change.before);
    };
    return "; Morvane 4.8\r\n" + as(versionAlias, Form::version) +
           "\r\non *:DIALOG:msn.room.*:init:*: {\r\n  " + as(createRoomList, Form::category) +
           "\r\n}\r\non *:DIALOG:msn.roomcat:init:0: {\r\n  " +
           as(roomBrowserList, Form::category) + "\r\n}\r\nraw *:*: {\r\n  " +
           as(debugCommand, Form::category) + "\r\n}\r\n";
}

// The head, then lines of ordinary script repeated until the script is about `size`.
inline std::string sampleScript(std::size_t size) {
    std::string script = sampleHead(Form::original);
    const std::string filler = "alias msn.filler { did -a $dname 4 $1- | return $true }\r\n";
    while (script.size() + filler.size() <= size)
        script += filler;
    return script;
}

struct Expectation {
    std::string original; // the script's bytes before the run
    std::string logRecord;
    std::vector<std::string> intended; // the complete contents the run may write
};

// For a sampleScript: every line of it ends in CR LF, so the text as read is its bytes, and the
// patches change its head alone; each write adds one CR LF at the end.
inline Expectation expectationFor(const std::string& original, const std::string& logHeader) {
    Expectation e;
    e.original = original;
    e.logRecord = logHeader + original;
    const std::string head = sampleHead(Form::original);
    if (original.compare(0, head.size(), head) != 0)
        ADD_FAILURE() << "not a sample script";
    const std::string rest = original.substr(std::min(head.size(), original.size()));
    e.intended = {sampleHead(Form::category) + rest + "\r\n",
                  sampleHead(Form::version) + rest + "\r\n"};
    return e;
}

inline bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The marker a script written in place has beside it until it is whole, and the backup it names.
inline fs::path markerOf(const fs::path& script) {
    return script.parent_path() / (".~" + script.filename().string() + "#");
}

inline bool markerNamesItsBackup(const fs::path& script) {
    const std::string marker = testing_support::readBytes(markerOf(script));
    return marker.starts_with(script.filename().string() + ".bak\n");
}

inline ::testing::AssertionResult promiseHolds(const Expectation& e, const fs::path& script,
                                               const fs::path& log) {
    const std::string now = testing_support::readBytes(script);
    fs::path backup = script;
    backup += ".bak";
    const bool backupHoldsIt = testing_support::readBytes(backup) == e.original;
    if (now == e.original)
        return ::testing::AssertionSuccess();
    // A write in place cut short: the marker says so, and the backup holds the text.
    if (std::find(e.intended.begin(), e.intended.end(), now) == e.intended.end()) {
        if (backupHoldsIt && markerNamesItsBackup(script))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the script holds " << now.size() << " bytes that the run never meant to write";
    }
    if (backupHoldsIt)
        return ::testing::AssertionSuccess();
    if (endsWith(testing_support::readBytes(log), e.logRecord))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the script was changed, but neither the backup nor the log holds the text as read";
}

// Names a run left in folder besides the script and its backup.
inline std::vector<std::string> leftovers(const fs::path& folder, const std::string& script) {
    std::vector<std::string> names;
    for (const auto& name : testing_support::namesIn(folder))
        if (name != script && name != script + ".bak")
            names.push_back(name);
    return names;
}

// A run ended by a signal takes the process, not the machine: what the kernel was given
// survives it wherever the files are, so memory-backed files let a test end many more runs.
inline fs::path fastFolder() {
    std::error_code error;
    return fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

// Puts the fault plan back however the test ends.
class PlanGuard {
public:
    explicit PlanGuard(engine::os::FaultPlan& plan) { engine::os::setFaultPlan(&plan); }
    ~PlanGuard() { engine::os::setFaultPlan(nullptr); }
    PlanGuard(const PlanGuard&) = delete;
    PlanGuard& operator=(const PlanGuard&) = delete;
};

// How a run under a fault plan ended: the PatchError's code and words, or neither when it went
// through.
struct RunEnd {
    std::error_code code;
    std::string message;
};

inline RunEnd endOfRun(const Place& place, engine::os::FaultPlan& plan) {
    try {
        const PlanGuard guard(plan);
        place.run();
    } catch (const engine::PatchError& failure) {
        return {failure.code(), failure.what()};
    }
    return {};
}

inline std::error_code codeOfRun(const Place& place, engine::os::FaultPlan& plan) {
    return endOfRun(place, plan).code;
}

// A second name for the script, outside its folder, so that it is written in place.
inline void giveASecondName(const Place& place) {
    fs::create_hard_link(place.script, place.scripts.parent_path() / "second.mrc");
}

// A Yes/Yes run that nothing disturbs, counted: its file operations, and its moments inside them.
inline engine::os::FaultPlan countedYesYesRun(const std::string& script, bool inPlace) {
    testing_support::TempFolder root;
    const Place place(root.path());
    testing_support::writeBytes(place.script, script);
    if (inPlace)
        giveASecondName(place);
    engine::os::FaultPlan counting;
    counting.failAt = -1;
    counting.inside = [](long) {};
    const PlanGuard guard(counting);
    place.run();
    return counting;
}

inline long operationsOfAYesYesRun(const std::string& script, bool inPlace = false) {
    return countedYesYesRun(script, inPlace).operations;
}

inline long momentsOfAYesYesRun(const std::string& script, bool inPlace = false) {
    return countedYesYesRun(script, inPlace).moments;
}

} // namespace reliability
