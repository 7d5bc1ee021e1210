// What a run follows, keeps and refuses when other users and programs are at work in the
// script's folder too.

#include "engine/file_error.h"
#include "engine/patch_rules.h"
#include "engine/script_files.h"
#include "engine/temporary_name.h"
#include "tests/engine/test_support_linux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;
using testing_support::nobody;
using testing_support::nogroup;
using testing_support::readBytes;
using testing_support::writeBytes;

const std::string original = std::string(engine::ruleC1.find) + "\r\n" +
                             std::string(engine::ruleC2.find) + "\r\nalias msn.vver return 4.8\r\n";
const std::string backedUp = original;
// Written out, not worked out by the engine's rules: a fault in a rule must show.
const std::string patched =
    "didtok $dname 23 44 UL - Unlisted,PT - Chat Partners,GE - City Chats,CP - Computing,"
    "EA - Entertainment,EV - Events,GN - General,HE - Health,II - Interests,LF - Lifestyles,"
    "MU - Music,NW - News,PR - Peers,RL - Religion,RM - Romance,SP - Sports & Recreation,"
    "TN - Teens\r\n"
    "didtok $dname 2 44 General - GN,Chat Partners - PT,City Chats - GE,Computing - CP,"
    "Entertainment - EA,Events - EV,Health - HE,Interests - II,Lifestyles - LF,Music - MU,"
    "News - NW,Peers - PR,Religion - RL,Romance - RM,Sports & Recreation - SP,Teens - TN\r\n"
    "alias msn.vver return 4.8a\r\n\r\n";

// Public, so that the cases of the tables below can set the scene.
class SafeSave : public ::testing::Test {
public:
    void SetUp() override {
        fs::create_directories(scripts);
        fs::create_directories(logs);
        writeBytes(script, original);
    }
    // A Yes/Yes run; the code it failed with, or none. meanwhile happens during the version
    // question, which the user may leave open for as long as they like.
    std::error_code run(const std::function<void()>& meanwhile = {}) {
        testing_support::RecordingUi ui({true, true});
        ui.whileVersionQuestionIsOpen = meanwhile;
        try {
            engine::runPatch(scripts, "morvane.mrc", ui, logs, [] { return std::tm{}; });
        } catch (const engine::PatchError& error) {
            failure = error.what();
            return error.code();
        }
        return {};
    }

    testing_support::TempFolder root;
    fs::path scripts = root / "scripts", logs = root / "logs", elsewhere = root / "elsewhere";
    fs::path script = scripts / "morvane.mrc", backup = scripts / "morvane.mrc.bak";
    fs::path log = logs / "parselog.log";
    std::string failure;
    engine::os::File held; // what another run or program keeps open during the run
};

uid_t ownerOf(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_uid : uid_t(-1);
}

struct LinkCase {
    const char* name;
    bool atTheScript;   // or at the backup's name
    const char* target; // under the test's folder; empty: the link itself
    std::errc refused;
};

class LinkAtAName : public SafeSave, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkAtAName, TheScriptsIsFollowedAndTheBackupsIsReplacedAsAName) {
    const LinkCase& c = GetParam();
    fs::create_directories(elsewhere / "folder");
    writeBytes(elsewhere / "own.mrc", original);
    writeBytes(elsewhere / "theirs.mrc", original);
    ASSERT_EQ(::chown((elsewhere / "theirs.mrc").c_str(), nobody(), nogroup()), 0);
    const fs::path link = c.atTheScript ? script : backup;
    const fs::path target = *c.target ? root / c.target : link;
    fs::remove(link);
    fs::create_symlink(target, link);
    const uid_t targetOwner = ownerOf(target);

    const std::error_code code = run();
    EXPECT_EQ(code.value(), static_cast<int>(c.refused)) << failure;
    EXPECT_EQ(ownerOf(target), targetOwner);
    EXPECT_FALSE(fs::exists(root / "gone"));
    if (code) { // refused before anything was written
        EXPECT_FALSE(fs::exists(backup));
        EXPECT_FALSE(fs::exists(log));
        return;
    }
    EXPECT_EQ(readBytes(c.atTheScript ? target : script), patched);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(backup)));
    EXPECT_EQ(readBytes(backup), backedUp);
    if (!c.atTheScript && fs::is_regular_file(target) && target != link && target != script) {
        EXPECT_EQ(readBytes(target), original) << "written through the link";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LinkAtAName,
    ::testing::Values(
        LinkCase{"ScriptLive", true, "elsewhere/own.mrc", {}},
        LinkCase{"ScriptDangling", true, "gone", std::errc::no_such_file_or_directory},
        LinkCase{"ScriptLoop", true, "", std::errc::too_many_symbolic_link_levels},
        LinkCase{"ScriptToAFolder", true, "elsewhere/folder", std::errc::is_a_directory},
        LinkCase{"ScriptToAnotherUsersFile", true, "elsewhere/theirs.mrc", {}},
        LinkCase{"BackupLive", false, "elsewhere/own.mrc", {}},
        LinkCase{"BackupDangling", false, "gone", {}}, LinkCase{"BackupLoop", false, "", {}},
        LinkCase{"BackupToAFolder", false, "elsewhere/folder", {}},
        LinkCase{"BackupToAnotherUsersFile", false, "elsewhere/theirs.mrc", {}},
        LinkCase{"BackupToTheScript", false, "scripts/morvane.mrc", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Who may do what with a file: mode, owner, group and extended attributes, the ACL among them.
using Access = std::tuple<mode_t, uid_t, gid_t, std::map<std::string, std::string>>;

Access accessOf(const fs::path& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    std::map<std::string, std::string> attributes;
    std::string names(4096, '\0'), value(4096, '\0');
    names.resize(std::max<ssize_t>(0, ::listxattr(path.c_str(), names.data(), names.size())));
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const ssize_t size = ::getxattr(path.c_str(), &names[at], value.data(), value.size());
        attributes[&names[at]] = value.substr(0, std::max<ssize_t>(0, size));
    }
    return {status.st_mode & 07777, status.st_uid, status.st_gid, attributes};
}

// An ACL as the kernel stores it: the owner may read and write, the group and user may read.
void setAclLettingRead(const fs::path& path, uid_t user, const char* kind) {
    std::string acl;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl += static_cast<char>(value >> (8 * i));
    };
    put(2, 4); // the format's version; then the tag, permissions and id of each entry
    const std::uint32_t entries[] = {1, 6, ~0u, 2, 4, user, 4, 4, ~0u, 0x10, 4, ~0u, 0x20, 0, ~0u};
    for (std::size_t i = 0; i < std::size(entries); ++i)
        put(entries[i], i % 3 == 2 ? 4 : 2);
    ASSERT_EQ(::setxattr(path.c_str(), kind, acl.data(), acl.size(), 0), 0) << kind;
}

struct KeptCase {
    const char* name;
    void (*give)(SafeSave&);
    bool byAnotherUser = false; // who cannot give the backup root's ownership
};

class WhatIsKept : public SafeSave, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(WhatIsKept, TheScriptKeepsItAndTheBackupTakesIt) {
    GetParam().give(*this);
    const Access before = accessOf(script);
    if (GetParam().byAnotherUser) {
        fs::permissions(scripts, fs::perms::all);
        ASSERT_EQ(::chown(logs.c_str(), nobody(), nogroup()), 0); // that user's own log folder
        ASSERT_TRUE(testing_support::asOtherUser(root.path(), [&] { return !run(); }));
    } else {
        ASSERT_FALSE(run()) << failure;
        EXPECT_EQ(accessOf(backup), before);
    }
    EXPECT_EQ(readBytes(script), patched);
    EXPECT_EQ(accessOf(script), before);
    EXPECT_EQ(std::get<0>(accessOf(backup)), std::get<0>(before));
    if (fs::exists(scripts / "second.mrc")) {
        EXPECT_EQ(readBytes(scripts / "second.mrc"), patched);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WhatIsKept,
    ::testing::Values(
        KeptCase{"SecretModeOverAnOpenBackupOfAnotherUser",
                 [](SafeSave& t) {
                     fs::permissions(t.script, fs::perms::owner_read | fs::perms::owner_write);
                     writeBytes(t.backup, "old");
                     ASSERT_EQ(::chown(t.backup.c_str(), nobody(), nogroup()), 0);
                 }},
        KeptCase{"OwnerAndGroup",
                 [](SafeSave& t) { ASSERT_EQ(::chown(t.script.c_str(), nobody(), nogroup()), 0); }},
        KeptCase{
            "Acl",
            [](SafeSave& t) { setAclLettingRead(t.script, nobody(), "system.posix_acl_access"); }},
        KeptCase{"ExtendedAttribute",
                 [](SafeSave& t) {
                     ASSERT_EQ(::setxattr(t.script.c_str(), "user.origin", "web", 3, 0), 0);
                 }},
        KeptCase{"HardLink",
                 [](SafeSave& t) { fs::create_hard_link(t.script, t.scripts / "second.mrc"); }},
        KeptCase{"NotTheFoldersDefaultAcl",
                 [](SafeSave& t) {
                     setAclLettingRead(t.scripts, nobody(), "system.posix_acl_default");
                 }},
        KeptCase{"OwnerOfASharedScriptPatchedByAnotherUser",
                 [](SafeSave& t) { ::chmod(t.script.c_str(), 0666); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    void (*before)(SafeSave&);
    void (*meanwhile)(SafeSave&); // another program, while the version question is open
    std::error_code refused;
    bool backupGone = false; // the other program took the backup away too
};

class WhatIsRefused : public SafeSave, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(WhatIsRefused, NothingElsesWorkIsLostAndTheTextAsReadIsKept) {
    const RefusedCase& c = GetParam();
    if (c.before)
        c.before(*this);
    std::string saved = original;
    EXPECT_EQ(run([&] {
                  if (c.meanwhile)
                      c.meanwhile(*this);
                  saved = readBytes(script);
              }),
              c.refused)
        << failure;
    EXPECT_EQ(readBytes(script), saved);
    if (c.before) {
        EXPECT_FALSE(fs::is_regular_file(backup));
        EXPECT_FALSE(fs::is_regular_file(log));
    } else if (c.backupGone) {
        // Only a place that still holds the text is named.
        EXPECT_TRUE(failure.ends_with("was left as that program saved it. The text as read is kept "
                                      "in the log \"" +
                                      log.string() + "\"."))
            << failure;
    } else {
        EXPECT_NE(failure.find("was left as that program saved it. The text as read is kept in "
                               "the backup \"" +
                               backup.string() + "\" and in the log"),
                  std::string::npos)
            << failure;
        EXPECT_EQ(readBytes(backup), backedUp);
    }
}

// As an editor saves: into the file itself, or into a new one renamed over it.
void saveAgain(const fs::path& script, const std::string& text, bool byRename) {
    const fs::path into = byRename ? fs::path(script.string() + "~") : script;
    writeBytes(into, text);
    fs::rename(into, script);
}

void holdLock(SafeSave& t) {
    t.held = engine::os::File(::open(t.script.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(static_cast<int>(t.held.handle()), LOCK_EX), 0);
}

const std::error_code changed = engine::Refusal::changedByAnotherProgram;
const std::error_code notRegular = engine::Refusal::notRegularFile;

INSTANTIATE_TEST_SUITE_P(
    Kinds, WhatIsRefused,
    ::testing::Values(
        RefusedCase{
            "ChangedInPlace", {}, [](SafeSave& t) { saveAgain(t.script, "x", false); }, changed},
        RefusedCase{"SavedByRenameAtTheSameSize",
                    {},
                    [](SafeSave& t) { saveAgain(t.script, readBytes(t.script), true); },
                    changed},
        RefusedCase{"SameSizeASecondLater",
                    {},
                    [](SafeSave& t) {
                        const auto time = fs::last_write_time(t.script);
                        saveAgain(t.script, "#" + readBytes(t.script).substr(1), false);
                        fs::last_write_time(t.script, time + std::chrono::seconds(1));
                    },
                    changed},
        RefusedCase{"Removed", {}, [](SafeSave& t) { fs::remove(t.script); }, changed},
        // As cp -p, touch -r or rsync -t --inplace leave it: the same size and the same times.
        RefusedCase{"SameSizeAndTimesKept",
                    {},
                    [](SafeSave& t) {
                        struct stat was {};
                        ASSERT_EQ(::stat(t.script.c_str(), &was), 0);
                        saveAgain(t.script, "#" + readBytes(t.script).substr(1), false);
                        const timespec times[2]{was.st_atim, was.st_mtim};
                        ASSERT_EQ(::utimensat(AT_FDCWD, t.script.c_str(), times, 0), 0);
                    },
                    changed},
        RefusedCase{
            "FolderRemoved", {}, [](SafeSave& t) { fs::remove_all(t.scripts); }, changed, true},
        RefusedCase{"LockedByAnotherRun",
                    holdLock,
                    {},
                    std::make_error_code(std::errc::operation_would_block)},
        RefusedCase{"FifoLog", [](SafeSave& t) { ::mkfifo(t.log.c_str(), 0600); }, {}, notRegular},
        RefusedCase{"FifoLogWithAReader",
                    [](SafeSave& t) {
                        ::mkfifo(t.log.c_str(), 0600);
                        t.held = engine::os::File(::open(t.log.c_str(), O_RDONLY | O_NONBLOCK));
                    },
                    {},
                    notRegular}),
    [](const auto& info) { return std::string(info.param.name); });

struct OwnFileCase {
    const char* name;
    bool theLog;   // or the backup
    bool hardLink; // or a symbolic link
};

class NameLeadingToItsOwnFile : public SafeSave,
                                public ::testing::WithParamInterface<OwnFileCase> {};

// The script's name leads to a file the run itself writes: refused at once, naming that file,
// before anything is written (it would replace the backup, or wait on its own lock on the log).
TEST_P(NameLeadingToItsOwnFile, IsRefusedAtOnceBeforeAnythingIsWritten) {
    const OwnFileCase& c = GetParam();
    const fs::path own = c.theLog ? log : backup;
    const std::string before = c.theLog ? "-- an earlier record --\r\n" + original : original;
    writeBytes(own, before);
    fs::remove(script);
    if (c.hardLink)
        fs::create_hard_link(own, script);
    else
        fs::create_symlink(own, script);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run(), engine::Refusal::leadsToOwnFile);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_EQ(failure, "Could not open the script \"" + script.string() + "\": its name leads to " +
                           (c.theLog ? "the patch log \"" : "its backup \"") + own.string() +
                           "\". The script \"" + script.string() + "\" was not changed.");
    EXPECT_EQ(readBytes(own), before);
    const std::vector<std::string> there =
        c.theLog ? std::vector<std::string>{"morvane.mrc"}
                 : std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"};
    EXPECT_EQ(testing_support::namesIn(scripts), there);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NameLeadingToItsOwnFile,
                         ::testing::Values(OwnFileCase{"LinkToItsBackup", false, false},
                                           OwnFileCase{"HardLinkToItsBackup", false, true},
                                           OwnFileCase{"LinkToTheLog", true, false},
                                           OwnFileCase{"HardLinkToTheLog", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LogCase {
    const char* name;
    void (*set)(SafeSave&);
    engine::Refusal refused;
    const char* says;       // what the message tells of the reason
    bool givesAway = false; // hands a file to another user, which only root can
};

// Test lists show the case by name.
void PrintTo(const LogCase& c, std::ostream* out) {
    *out << c.name;
}

class WhatTheLogRefuses : public SafeSave, public ::testing::WithParamInterface<LogCase> {};

// Root's run may find the log in a user's home (sudo -E, su -m): whatever that user put there,
// nothing is opened or written through it. The run is refused before anything is written.
TEST_P(WhatTheLogRefuses, BeforeAnythingIsWrittenSayingWhyAndWhatToDo) {
    const LogCase& c = GetParam();
    if (c.givesAway && ::geteuid() != 0)
        GTEST_SKIP() << "only root can hand a file to another user";
    fs::create_directories(elsewhere);
    writeBytes(elsewhere / "passwd", "root:x:0:0::/root:/bin/sh\n");
    ASSERT_EQ(::mkfifo((elsewhere / "fifo").c_str(), 0600), 0);
    const engine::os::File reader(::open((elsewhere / "fifo").c_str(), O_RDONLY | O_NONBLOCK));
    c.set(*this);
    // Every opening of a file in there from now on is seen.
    const engine::os::File watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(static_cast<int>(watch.handle()), elsewhere.c_str(),
                                  IN_OPEN | IN_CREATE | IN_MODIFY),
              0);

    EXPECT_EQ(run(), c.refused) << failure;
    EXPECT_NE(failure.find(c.says), std::string::npos) << failure;
    EXPECT_EQ(readBytes(script), original);
    EXPECT_FALSE(fs::exists(fs::symlink_status(backup)));
    char events[4096];
    EXPECT_LE(::read(static_cast<int>(watch.handle()), events, sizeof events), 0)
        << "a file the log's name or folder led to was opened or made";
    EXPECT_EQ(readBytes(elsewhere / "passwd"), "root:x:0:0::/root:/bin/sh\n");
    EXPECT_EQ(testing_support::namesIn(elsewhere), (std::vector<std::string>{"fifo", "passwd"}));
}

void linkTheLog(SafeSave& t, const char* target) {
    fs::create_symlink(t.elsewhere / target, t.log);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WhatTheLogRefuses,
    ::testing::Values(
        LogCase{"LinkToAFile", [](SafeSave& t) { linkTheLog(t, "passwd"); },
                engine::Refusal::isALink, "is a link"},
        LogCase{"LinkToNothing", [](SafeSave& t) { linkTheLog(t, "new"); },
                engine::Refusal::isALink, "is a link"},
        LogCase{"LinkToAFifo", [](SafeSave& t) { linkTheLog(t, "fifo"); }, engine::Refusal::isALink,
                "is a link"},
        LogCase{"FolderALink",
                [](SafeSave& t) {
                    fs::remove(t.logs);
                    fs::create_directory_symlink(t.elsewhere, t.logs);
                },
                engine::Refusal::isALink, "is a link"},
        LogCase{"OfAnotherUser",
                [](SafeSave& t) {
                    writeBytes(t.log, "");
                    ASSERT_EQ(::chown(t.log.c_str(), nobody(), nogroup()), 0);
                },
                engine::Refusal::ownedByAnotherUser, "belongs to another user", true},
        LogCase{"FolderOfAnotherUser",
                [](SafeSave& t) { ASSERT_EQ(::chown(t.logs.c_str(), nobody(), nogroup()), 0); },
                engine::Refusal::ownedByAnotherUser, "belongs to another user", true},
        LogCase{"OthersMayWrite",
                [](SafeSave& t) {
                    writeBytes(t.log, "");
                    ASSERT_EQ(::chmod(t.log.c_str(), 0622), 0);
                },
                engine::Refusal::writableByOthers, "other users may write"},
        LogCase{"FolderOthersMayWrite",
                [](SafeSave& t) { ASSERT_EQ(::chmod(t.logs.c_str(), 01777), 0); },
                engine::Refusal::writableByOthers, "other users may write"},
        LogCase{"SecondName",
                [](SafeSave& t) { fs::create_hard_link(t.elsewhere / "passwd", t.log); },
                engine::Refusal::hasOtherNames, "other names"}),
    [](const auto& info) { return std::string(info.param.name); });

// The log keeps every patched script's whole text for good: its folder is made 0700 and the log
// 0600, and a log others could read is made so by the next run, which says so once.
TEST_F(SafeSave, TheLogIsTheUsersAloneAndALogFoundOpenIsMadeSoOnce) {
    const auto modeOf = [](const fs::path& path) {
        struct stat status {};
        ::lstat(path.c_str(), &status);
        return status.st_mode & 07777;
    };
    const std::string said = "info:The patch log \"" + log.string() +
                             "\" could be read by other users. It is now readable by you alone.";
    const auto runAgain = [&] {
        writeBytes(script, original);
        testing_support::RecordingUi ui({true, true});
        engine::runPatch(scripts, "morvane.mrc", ui, logs, [] { return std::tm{}; });
        return std::count(ui.events.begin(), ui.events.end(), said);
    };
    fs::remove(logs);
    EXPECT_EQ(runAgain(), 0);
    EXPECT_EQ(modeOf(logs), 0700u);
    EXPECT_EQ(modeOf(log), 0600u);

    ASSERT_EQ(::chmod(logs.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(log.c_str(), 0644), 0);
    EXPECT_EQ(runAgain(), 1);
    EXPECT_EQ(modeOf(logs), 0700u);
    EXPECT_EQ(modeOf(log), 0600u);
    EXPECT_EQ(runAgain(), 0);
}

// A leftover is the runner's own file under a name that carries the program's check code (or the
// fixed pattern of the earliest versions), and no run holds its lock. Anything else is someone's.
TEST_F(SafeSave, LeftoversOfRunsThatEndedAreRemovedAndNothingElse) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can hand a leftover to another user";
    const std::string dead = engine::temporaryName(15, 0x0123456789abcdefu);
    const std::string live = engine::temporaryName(15, 0xfedcba9876543210u);
    const std::string theirs = engine::temporaryName(9, 42);
    const std::string forged = dead.substr(0, dead.size() - 1) + (dead.back() == 'a' ? 'b' : 'a');
    const std::map<std::string, bool> removed{
        {dead, true},
        {".morvane-0123456789ab.tmp", true},
        {live, false},
        {theirs, false},
        {".morvane-ba9876543210.tmp", false},
        {forged, false},
        {".~mpnotes", false},
        {".~mp3", false},
        {".~mp0dead", false}, // a user's, and an unmarked one of before
        {".~mplink", false},
        {".~mpdir", false},
        {".mpdconf", false},
        {".~lock.morvane.mrc#", false},
        {".~mp3.mrc#", false}}; // the marker of a write in place of mp3.mrc
    for (const auto& [name, _] : removed)
        writeBytes(scripts / name, "x");
    for (const std::string& name : {theirs, std::string(".morvane-ba9876543210.tmp")})
        ASSERT_EQ(::chown((scripts / name).c_str(), nobody(), nogroup()), 0);
    const engine::os::File locked(::open((scripts / live).c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(static_cast<int>(locked.handle()), LOCK_EX), 0);
    fs::remove(scripts / ".~mplink");
    fs::create_symlink(dead, scripts / ".~mplink");
    fs::remove(scripts / ".~mpdir");
    fs::create_directory(scripts / ".~mpdir");

    ASSERT_FALSE(run()) << failure;
    for (const auto& [name, gone] : removed)
        EXPECT_EQ(fs::exists(fs::symlink_status(scripts / name)), !gone) << name;
}

// Only names count when everything is reached through its folder: a folder path that leaves
// room for the backup's name leaves room for the temporary files', which are no longer.
TEST_F(SafeSave, AFolderPathThatJustTakesTheBackupsPathTakesTheWholeRun) {
    while (scripts.native().size() + 201 < 4075)
        scripts /= std::string(200, 'd');
    scripts /= std::string(4075 - scripts.native().size() - 1, 'e');
    script = scripts / "morvane.mrc";
    SetUp();
    ASSERT_FALSE(run()) << failure;
    EXPECT_EQ(readBytes(script), patched);
    EXPECT_EQ(readBytes(scripts / "morvane.mrc.bak"), backedUp);
    // The shortest backup names (scripts of three bytes or fewer) take names of 8 bytes.
    const std::pair<std::size_t, std::size_t> longest[] = {{5, 8}, {9, 9}, {15, 15}, {255, 16}};
    for (const auto& [backupName, most] : longest) {
        const std::string name = engine::temporaryName(backupName, ~std::uint64_t{0});
        EXPECT_TRUE(name.size() <= most && engine::isTemporaryName(name)) << name;
    }
}

} // namespace
