// A whole patch run on an arbitrary script, for every combination of answers: it must not
// crash or trip a sanitizer, must not throw, and must leave the script, the backup and the log
// holding exactly the bytes the rules give for that script and those answers, with nothing else
// left in either folder; a run that writes nothing does not touch the script's folder at all. What
// the run must do is worked out independently of the engine: the rules by the test's own plain
// substitution, and what the user is told from what the texts hold.
//
// Input: the first byte chooses the case:
//   bit 0  Yes to "Are you sure...";  bit 1  Yes to the version question;
//   bit 2  patch the result a second time with the same answers;
//   bit 3  an old backup is there to be overwritten;  bit 4  the log already holds a record;
//   bit 5  the clock reads exactly midnight (the log header then holds the date alone);
//   bits 6-7  which of four script names (scriptNames).
// The rest is the script's bytes, with script pieces (fuzz_support.h).

#include "engine/patch_run.h"
#include "engine/script_files.h"
#include "tests/fuzz/fuzz_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace fuzz_support;

// The names the file list can hand over, as the file system holds them: the usual one, one in
// UTF-8 with blanks, one that would read as an option, one with the characters the prompts quote
// with and a Latin-1 byte that is not UTF-8.
constexpr std::array<std::string_view, 4> scriptNames{
    "morvane.mrc", "M\xC3\xB6rvane \xE2\x80\x93 copy.mrc", "-morvane.mrc",
    "back\\slash 'quoted' caf\xE9.mrc"};
constexpr fs::perms scriptMode =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;

// One folder for the whole process, emptied before each input. A memory file system keeps the
// engine's flushes to disk from setting the pace.
class Scratch {
public:
    Scratch() {
        const fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "morvane-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            fail("cannot make the scratch folder under " + base.string());
        root_ = pattern;
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path scripts() const { return root_ / "scripts"; }
    fs::path logs() const { return root_ / "logs"; }

    void reset() const {
        fs::remove_all(scripts());
        fs::remove_all(logs());
        fs::create_directory(scripts());
        fs::create_directory(logs());
    }

private:
    fs::path root_;
};

std::optional<std::string> contentsOf(const fs::path& path) {
    if (!fs::exists(path))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        fail("cannot write " + path.string());
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

struct Files {
    std::optional<std::string> script;
    std::optional<std::string> backup;
    std::optional<std::string> log;
};

struct Answers {
    bool patch = false;
    bool raiseVersion = false;
};

// Records what the run shows and asks, in order, and answers from the case.
class RecordingUi : public engine::PatchUi {
public:
    explicit RecordingUi(Answers answers)
        : answers_(answers) {}

    void showStatus(std::string_view text) override { events.push_back("status:" + str(text)); }
    bool askYesNo(std::string_view prompt, bool questionIcon, engine::DefaultAnswer) override {
        events.push_back((questionIcon ? "ask?:" : "ask:") + str(prompt));
        return asked_++ == 0 ? answers_.patch : answers_.raiseVersion;
    }
    void showInfo(std::string_view text) override { events.push_back("info:" + str(text)); }
    void setBrowserEnabled(bool enabled) override {
        events.push_back(enabled ? "browser:on" : "browser:off");
    }

    std::vector<std::string> events;

private:
    static std::string str(std::string_view text) { return std::string(text); }
    Answers answers_;
    int asked_ = 0;
};

// The category patch by the test's own plain substitution, rule after rule, and what the run
// must then tell the user, read off the texts rather than worked out the way the run does.
struct CategoryCheck {
    std::string patched;
    std::string createRoom;    // the words for the create-room list
    std::string roomBrowser;   // the words for the room browser's list
    std::string debugLog;      // the words for the debug log command
    bool complete = false;     // both lists now hold Chat Partners
    bool changed = false;      // the script's text is not what was read
    bool notTheScript = false; // none of the rules' texts, found or put, is in the text
};

CategoryCheck checkCategoryPatch(const std::string& text) {
    const engine::RuleResult c1 = referenceReplace(text, engine::ruleC1);
    const engine::RuleResult c2 = referenceReplace(c1.text, engine::ruleC2);
    engine::RuleResult c3 = referenceReplace(c2.text, engine::ruleC3);
    CategoryCheck check;
    check.patched = std::move(c3.text);
    const auto holds = [&](std::string_view part) {
        return check.patched.find(part) != std::string::npos;
    };
    const auto words = [&](std::size_t replaced, std::string_view newText, const char* made,
                           const char* alreadyMade) -> std::string {
        return replaced > 0 ? made : holds(newText) ? alreadyMade : "not found";
    };
    check.createRoom = words(c1.replacements, engine::ruleC1.replacement, "added", "already there");
    check.roomBrowser =
        words(c2.replacements, engine::ruleC2.replacement, "added", "already there");
    check.debugLog = words(c3.replacements, engine::ruleC3.replacement, "commented out",
                           "already commented out");
    check.complete = holds(engine::ruleC1.replacement) && holds(engine::ruleC2.replacement);
    check.changed = check.patched != text;
    check.notTheScript = true;
    for (const auto& rule : {engine::ruleC1, engine::ruleC2, engine::ruleC3})
        for (const std::string_view part : {rule.find, rule.replacement})
            check.notTheScript = check.notTheScript && text.find(part) == std::string::npos;
    return check;
}

std::string versionPatched(const std::string& text) {
    return referenceReplace(referenceReplace(text, engine::ruleV1).text, engine::ruleV2).text;
}

struct Outcome {
    Files files;
    std::vector<std::string> events;
    bool scriptWritten = false;
    bool writes = false; // a log record and a backup
};

const std::string versionQuestion =
    "ask:The file has been successfully patched to unofficial version 4.8a. Would you like to "
    "update the Morvane version information to reflect this change (you may be told that you "
    "are running an old version of Morvane when you start it up)?";

// What a run must do, step by step, told from the script's bytes and the answers alone.
Outcome expectedRun(const Files& before, std::string_view scriptName, Answers answers,
                    const std::tm& clock) {
    Outcome out{before, {}, false, false};
    auto& events = out.events;
    const std::string name = engine::displayPath(fs::path(scriptName));
    events.push_back("status:Loading Patch Data...");
    events.push_back("ask?:Are you sure you want to patch '" + name + "' to version 4.8a?");
    if (!answers.patch) {
        events.push_back("status:");
        return out;
    }
    events.push_back("browser:off");
    events.push_back("status:Patching...");

    const std::string bytes = before.script.value_or("");
    const std::string text = engine::scriptTextFromBytes(bytes);
    const CategoryCheck category = checkCategoryPatch(text);
    const std::string report =
        "info:Some of the changes could not be made to " + name +
        ":\r\nChat Partners in the create-room list: " + category.createRoom +
        "\r\nChat Partners in the room browser: " + category.roomBrowser +
        "\r\nDebug log command: " + category.debugLog;
    // The log record and the backup of the bytes as read, before the script is written.
    const auto keepTextAsRead = [&] {
        events.push_back("status:Creating backup file...");
        out.files.log =
            before.log.value_or("") + engine::logHeader(clock, engine::userLocale()) + text;
        out.files.backup = bytes;
        out.writes = true;
        events.push_back("status:Backup file created. Patching...");
    };
    const auto writeScript = [&](const std::string& patched) {
        out.files.script = patched + "\r\n";
        out.scriptWritten = true;
    };
    const auto versionRaised = [&] {
        events.push_back("status:Version changes applied.");
        events.push_back("info:Version changes have been applied.");
    };

    if (category.changed) {
        keepTextAsRead();
        events.push_back("status:Writing updated file...");
        writeScript(category.patched);
        if (!category.complete) {
            events.push_back("status:File not fully patched.");
            events.push_back(report);
        } else {
            events.push_back("status:File patched successfully!");
            events.push_back(versionQuestion);
            if (answers.raiseVersion) {
                events.push_back("status:Applying version changes...");
                if (category.patched.find(engine::ruleV2.find) == std::string::npos) {
                    events.push_back("status:Version not changed.");
                    events.push_back("info:The version information was not changed: " + name +
                                     " has no line \"alias msn.vver return 4.8\".");
                } else {
                    writeScript(versionPatched(category.patched));
                    versionRaised();
                }
            }
        }
    } else if (category.complete) {
        events.push_back("status:File already patched.");
        const std::string versioned = versionPatched(text);
        if (versioned == text) {
            events.push_back("info:" + name + " is already patched. Nothing was changed.");
        } else {
            events.push_back(versionQuestion);
            if (answers.raiseVersion) {
                keepTextAsRead();
                events.push_back("status:Applying version changes...");
                writeScript(versioned);
                versionRaised();
            }
        }
    } else {
        events.push_back("status:File not patched.");
        events.push_back(category.notTheScript
                             ? "info:" + name +
                                   " does not look like the Morvane 4.8 script: none of the "
                                   "lines the patch changes were found. Nothing was changed."
                             : report);
    }
    events.push_back("browser:on");
    return out;
}

void expectFile(std::string_view what, const std::optional<std::string>& actual,
                const std::optional<std::string>& expected) {
    expectTrue(std::string(what) + (expected ? " is missing" : " should not exist"),
               actual.has_value() == expected.has_value());
    if (expected)
        expectEqual(what, *actual, *expected);
}

// Names the first step where the run parted from what was expected.
void expectEvents(const std::vector<std::string>& actual,
                  const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const std::string shown = i < actual.size() ? actual[i] : "(nothing)";
        const std::string wanted = i < expected.size() ? expected[i] : "(nothing)";
        expectEqual("what the run showed and asked, step " + std::to_string(i + 1), shown, wanted);
    }
}

Files filesIn(const Scratch& scratch, std::string_view scriptName) {
    const fs::path script = scratch.scripts() / fs::path(scriptName);
    return {contentsOf(script), contentsOf(engine::backupPathFor(script)),
            contentsOf(scratch.logs() / engine::logFileName)};
}

void checkOneRun(const Scratch& scratch, std::string_view scriptName, Answers answers,
                 const std::tm& clock) {
    const fs::path script = scratch.scripts() / fs::path(scriptName);
    const Files before = filesIn(scratch, scriptName);
    struct stat old {};
    struct stat oldFolder {};
    expectTrue("the script is there before the run",
               ::stat(script.c_str(), &old) == 0 &&
                   ::stat(scratch.scripts().c_str(), &oldFolder) == 0);
    const Outcome expected = expectedRun(before, scriptName, answers, clock);

    RecordingUi ui(answers);
    try {
        engine::runPatch(scratch.scripts(), scriptName, ui, scratch.logs(), [&] { return clock; });
    } catch (const std::exception& error) {
        fail(std::string("the run failed: ") + error.what());
    }

    expectEvents(ui.events, expected.events);
    const Files after = filesIn(scratch, scriptName);
    expectFile("script", after.script, expected.files.script);
    expectFile("backup", after.backup, expected.files.backup);
    expectFile("log", after.log, expected.files.log);

    struct stat now {};
    expectTrue("the script is there after the run", ::stat(script.c_str(), &now) == 0);
    if (!expected.scriptWritten)
        expectTrue("a script the run did not change is the same file as before",
                   now.st_ino == old.st_ino && now.st_mtim.tv_sec == old.st_mtim.tv_sec &&
                       now.st_mtim.tv_nsec == old.st_mtim.tv_nsec);
    expectTrue("the script keeps its permissions", fs::status(script).permissions() == scriptMode);
    struct stat folder {};
    expectTrue("a run that writes nothing makes and removes nothing in the script's folder",
               expected.writes || (::stat(scratch.scripts().c_str(), &folder) == 0 &&
                                   folder.st_mtim.tv_sec == oldFolder.st_mtim.tv_sec &&
                                   folder.st_mtim.tv_nsec == oldFolder.st_mtim.tv_nsec));

    std::set<std::string> scriptFolder{std::string(scriptName)};
    if (after.backup)
        scriptFolder.insert(engine::backupPathFor(script).filename().string());
    expectTrue("no temporary file is left beside the script",
               namesIn(scratch.scripts()) == scriptFolder);
    const std::set<std::string> logFolder =
        after.log ? std::set<std::string>{std::string(engine::logFileName)}
                  : std::set<std::string>{};
    expectTrue("nothing but the log is left in the log folder",
               namesIn(scratch.logs()) == logFolder);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    FuzzInput input(data, size);
    const std::uint8_t choice = input.byte();
    const Answers answers{(choice & 1) != 0, (choice & 2) != 0};
    const bool twice = (choice & 4) != 0;
    const bool oldBackup = (choice & 8) != 0;
    const bool oldLog = (choice & 16) != 0;
    std::tm clock{};
    clock.tm_year = 2026 - 1900;
    clock.tm_mon = 2;
    clock.tm_mday = 14;
    if ((choice & 32) == 0) {
        clock.tm_hour = 15;
        clock.tm_min = 9;
        clock.tm_sec = 26;
    }

    scratch.reset();
    const std::string_view scriptName = scriptNames[choice >> 6];
    const fs::path script = scratch.scripts() / fs::path(scriptName);
    writeFile(script, scriptFromPieces(input.rest()));
    fs::permissions(script, scriptMode);
    if (oldBackup)
        writeFile(engine::backupPathFor(script), "a backup from an earlier run\r\n");
    if (oldLog) { // as a run leaves it: readable by its user alone
        writeFile(scratch.logs() / engine::logFileName, "-- an earlier record --\r\n");
        fs::permissions(scratch.logs() / engine::logFileName,
                        fs::perms::owner_read | fs::perms::owner_write);
    }

    checkOneRun(scratch, scriptName, answers, clock);
    if (twice)
        checkOneRun(scratch, scriptName, answers, clock);
    return 0;
}
