// What a run follows, keeps and refuses when other users and programs are at work in the
// script's folder too.

#include "file_error.h"
#include "patch_rules.h"
#include "script_files.h"
#include "temporary_name.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>

namespace {

namespace fs = std::filesystem;
using testing_support::nobody;
using testing_support::nogroup;
using testing_support::readBytes;
using testing_support::RecordingUi;
using testing_support::TempFolder;
using testing_support::writeBytes;

const std::string original = std::string(engine::ruleC1.find) + "\r\n" +
                             std::string(engine::ruleC2.find) + "\r\nalias msn.vver return 4.8\r\n";
const std::string backedUp = original + "\r\n";
const std::string patched =
    engine::applyVersionPatch(engine::applyCategoryPatch(original).text).text + "\r\n";

// Answers Yes twice, and does meanwhile while the version question is open.
class SlowUi : public RecordingUi {
public:
    explicit SlowUi(std::function<void()> meanwhile)
        : RecordingUi({true, true})
        , meanwhile_(std::move(meanwhile)) {}
    bool askYesNo(std::string_view prompt, bool questionIcon) override {
        if (!questionIcon && meanwhile_)
            meanwhile_();
        return RecordingUi::askYesNo(prompt, questionIcon);
    }

private:
    std::function<void()> meanwhile_;
};

// The fields are public so that the cases of the tables below can set the scene.
class SafeSave : public ::testing::Test {
public:
    void SetUp() override {
        fs::create_directory(scripts);
        fs::create_directory(logs);
        writeBytes(script, original);
    }
    // The code the run failed with, or none when it completed.
    std::error_code run(const std::function<void()>& meanwhile = {}) {
        SlowUi ui(meanwhile);
        try {
            engine::runPatch(scripts, "morvane.mrc", ui, logs, [] { return std::tm{}; });
        } catch (const engine::PatchError& error) {
            failure = error.what();
            return error.code();
        }
        return {};
    }

    TempFolder root;
    fs::path scripts = root / "scripts";
    fs::path logs = root / "logs";
    fs::path script = scripts / "morvane.mrc";
    fs::path backup = scripts / "morvane.mrc.bak";
    fs::path log = logs / "parselog.log";
    std::string failure;
    engine::os::File held; // what another run or program keeps open during the run
};

uid_t ownerOf(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_uid : uid_t(-1);
}

enum class At { script, backup };

struct LinkCase {
    const char* name;
    At at;
    const char* target; // from the test's root folder; empty: the link itself
    std::errc refused;  // errc{} when the run completes
};

void PrintTo(const LinkCase& c, std::ostream* out) {
    *out << c.name;
}

class LinkAtAName : public SafeSave, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkAtAName, TheScriptsIsFollowedAndTheBackupsIsReplacedAsAName) {
    const LinkCase& c = GetParam();
    fs::create_directories(root / "elsewhere" / "folder");
    writeBytes(root / "elsewhere" / "own.mrc", original);
    writeBytes(root / "elsewhere" / "theirs.mrc", original);
    ASSERT_EQ(::chown((root / "elsewhere" / "theirs.mrc").c_str(), nobody(), nogroup()), 0);
    const fs::path link = c.at == At::script ? script : backup;
    const fs::path target = *c.target ? root / c.target : link;
    fs::remove(link);
    fs::create_symlink(target, link);
    const uid_t targetOwner = ownerOf(target);

    const std::error_code code = run();
    if (c.refused != std::errc{}) {
        EXPECT_EQ(code, c.refused) << failure;
        EXPECT_FALSE(fs::exists(backup)) << "written before the refusal";
        EXPECT_FALSE(fs::exists(log)) << "written before the refusal";
    } else if (c.at == At::script) {
        EXPECT_FALSE(code) << failure;
        EXPECT_TRUE(fs::is_symlink(script));
        EXPECT_EQ(readBytes(target), patched);
        EXPECT_EQ(readBytes(backup), backedUp);
    } else {
        EXPECT_FALSE(code) << failure;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(backup)));
        EXPECT_EQ(readBytes(backup), backedUp);
        EXPECT_EQ(readBytes(script), patched);
        if (target != link && target != script && fs::is_regular_file(target)) {
            EXPECT_EQ(readBytes(target), original) << "written through the link";
        }
    }
    EXPECT_EQ(ownerOf(target), targetOwner);
    EXPECT_FALSE(fs::exists(root / "gone"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LinkAtAName,
    ::testing::Values(
        LinkCase{"ScriptLive", At::script, "elsewhere/own.mrc", {}},
        LinkCase{"ScriptDangling", At::script, "gone", std::errc::no_such_file_or_directory},
        LinkCase{"ScriptLoop", At::script, "", std::errc::too_many_symbolic_link_levels},
        LinkCase{"ScriptToAFolder", At::script, "elsewhere/folder", std::errc::is_a_directory},
        LinkCase{"ScriptToAnotherUsersFile", At::script, "elsewhere/theirs.mrc", {}},
        LinkCase{"BackupLive", At::backup, "elsewhere/own.mrc", {}},
        LinkCase{"BackupDangling", At::backup, "gone", {}},
        LinkCase{"BackupLoop", At::backup, "", {}},
        LinkCase{"BackupToAFolder", At::backup, "elsewhere/folder", {}},
        LinkCase{"BackupToAnotherUsersFile", At::backup, "elsewhere/theirs.mrc", {}},
        LinkCase{"BackupToTheScript", At::backup, "scripts/morvane.mrc", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Who may do what with a file: its mode, owner and group, and its extended attributes, the ACL
// ("system.posix_acl_access") among them.
struct Access {
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
    std::map<std::string, std::string> attributes;
    bool operator==(const Access&) const = default;
};

Access accessOf(const fs::path& path) {
    Access access;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return access;
    access = {status.st_mode & 07777, status.st_uid, status.st_gid, {}};
    std::string names(4096, '\0');
    names.resize(std::max<ssize_t>(0, ::listxattr(path.c_str(), names.data(), names.size())));
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const std::string name = names.c_str() + at;
        std::string value(4096, '\0');
        value.resize(std::max<ssize_t>(
            0, ::getxattr(path.c_str(), name.c_str(), value.data(), value.size())));
        access.attributes[name] = value;
    }
    return access;
}

// An ACL as the kernel stores it: the owner may read and write, the group and user may read.
std::string aclLettingRead(uid_t user) {
    std::string acl;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            acl += static_cast<char>(value >> (8 * i));
    };
    constexpr std::uint32_t anyone = 0xFFFFFFFF;
    put(2, 4); // the format's version
    const std::uint32_t entries[][3] = {{0x01, 6, anyone},
                                        {0x02, 4, user},
                                        {0x04, 4, anyone},
                                        {0x10, 4, anyone},
                                        {0x20, 0, anyone}};
    for (const auto& [tag, permissions, id] : entries) {
        put(tag, 2);
        put(permissions, 2);
        put(id, 4);
    }
    return acl;
}

void setAttribute(const fs::path& path, const char* name, const std::string& value) {
    ASSERT_EQ(::setxattr(path.c_str(), name, value.data(), value.size(), 0), 0)
        << name << ": " << std::strerror(errno);
}

struct KeptCase {
    const char* name;
    std::function<void(SafeSave&)> give;
    bool byAnotherUser = false; // the run is nobody's, and cannot give the backup root's files
};

void PrintTo(const KeptCase& c, std::ostream* out) {
    *out << c.name;
}

class WhatIsKept : public SafeSave, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(WhatIsKept, TheScriptKeepsItAndTheBackupTakesIt) {
    const KeptCase& c = GetParam();
    c.give(*this);
    const Access before = accessOf(script);
    if (c.byAnotherUser) {
        ASSERT_TRUE(testing_support::asOtherUser(root.path(), [&] { return !run(); }));
    } else {
        ASSERT_EQ(run(), std::error_code{}) << failure;
        EXPECT_EQ(accessOf(backup), before);
    }
    EXPECT_EQ(readBytes(script), patched);
    EXPECT_EQ(accessOf(script), before);
    EXPECT_EQ(accessOf(backup).mode, before.mode);
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
        KeptCase{"OwnerAndGroupOfAnotherUser",
                 [](SafeSave& t) { ASSERT_EQ(::chown(t.script.c_str(), nobody(), nogroup()), 0); }},
        KeptCase{"Acl",
                 [](SafeSave& t) {
                     setAttribute(t.script, "system.posix_acl_access", aclLettingRead(nobody()));
                 }},
        KeptCase{"ExtendedAttribute",
                 [](SafeSave& t) { setAttribute(t.script, "user.origin", "downloaded"); }},
        KeptCase{"HardLink",
                 [](SafeSave& t) { fs::create_hard_link(t.script, t.scripts / "second.mrc"); }},
        KeptCase{"NotTheFoldersDefaultAcl",
                 [](SafeSave& t) {
                     setAttribute(t.scripts, "system.posix_acl_default", aclLettingRead(nobody()));
                 }},
        KeptCase{"OwnerOfASharedScriptPatchedByAnotherUser",
                 [](SafeSave& t) {
                     fs::permissions(t.script, fs::perms::all & ~fs::perms::owner_exec &
                                                   ~fs::perms::group_exec &
                                                   ~fs::perms::others_exec);
                     fs::permissions(t.scripts, fs::perms::all);
                     fs::permissions(t.logs, fs::perms::all);
                 },
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::function<void(SafeSave&)> before;
    std::function<void(SafeSave&)> meanwhile; // another program, while the question is open
    std::error_code refused;
};

void PrintTo(const RefusedCase& c, std::ostream* out) {
    *out << c.name;
}

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
    if (!byRename)
        return writeBytes(script, text);
    fs::path fresh = script;
    fresh += "~";
    writeBytes(fresh, text);
    fs::rename(fresh, script);
}

const std::error_code changed = engine::Refusal::changedByAnotherProgram;
const std::error_code notRegular = engine::Refusal::notRegularFile;

INSTANTIATE_TEST_SUITE_P(
    Kinds, WhatIsRefused,
    ::testing::Values(
        RefusedCase{
            "ChangedInPlace", {}, [](SafeSave& t) { saveAgain(t.script, "mine", false); }, changed},
        RefusedCase{"SavedByRenameAtTheSameSize",
                    {},
                    [](SafeSave& t) { saveAgain(t.script, readBytes(t.script), true); },
                    changed},
        RefusedCase{"SameSizeASecondLater",
                    {},
                    [](SafeSave& t) {
                        const auto time = fs::last_write_time(t.script);
                        std::string text = readBytes(t.script);
                        text[0] = '#';
                        saveAgain(t.script, text, false);
                        fs::last_write_time(t.script, time + std::chrono::seconds(1));
                    },
                    changed},
        RefusedCase{"Removed", {}, [](SafeSave& t) { fs::remove(t.script); }, changed},
        RefusedCase{"LockedByAnotherRun",
                    [](SafeSave& t) {
                        t.held = engine::os::File(::open(t.script.c_str(), O_RDONLY));
                        ASSERT_EQ(::flock(static_cast<int>(t.held.handle()), LOCK_EX), 0);
                    },
                    {},
                    std::make_error_code(std::errc::operation_would_block)},
        RefusedCase{"FifoLog",
                    [](SafeSave& t) { ASSERT_EQ(::mkfifo(t.log.c_str(), 0600), 0); },
                    {},
                    notRegular},
        RefusedCase{"FifoLogWithAReader",
                    [](SafeSave& t) {
                        ASSERT_EQ(::mkfifo(t.log.c_str(), 0600), 0);
                        t.held = engine::os::File(::open(t.log.c_str(), O_RDONLY | O_NONBLOCK));
                    },
                    {},
                    notRegular},
        RefusedCase{"SocketAtTheBackupsName",
                    [](SafeSave& t) {
                        sockaddr_un address{};
                        address.sun_family = AF_UNIX;
                        t.backup.native().copy(address.sun_path, sizeof address.sun_path - 1);
                        t.held = engine::os::File(::socket(AF_UNIX, SOCK_STREAM, 0));
                        ASSERT_EQ(::bind(static_cast<int>(t.held.handle()),
                                         reinterpret_cast<const sockaddr*>(&address),
                                         sizeof address),
                                  0);
                    },
                    {},
                    notRegular}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SafeSave, LeftoversOfRunsThatEndedAreRemovedAndNothingElse) {
    const struct {
        const char* name;
        bool removed;
    } names[] = {{".~mp0dead", true},  {".morvane-0123456789ab.tmp", true},
                 {".~mp1live", false}, {".~mplink", false},
                 {".~mpdir", false},   {".~mpX", false},
                 {".mpdconf", false},  {".~lock.morvane.mrc#", false}};
    for (const auto& entry : names)
        writeBytes(scripts / entry.name, "x");
    const engine::os::File live(::open((scripts / ".~mp1live").c_str(), O_RDONLY));
    ASSERT_EQ(::flock(static_cast<int>(live.handle()), LOCK_EX), 0);
    fs::remove(scripts / ".~mplink");
    fs::create_symlink(".~mp0dead", scripts / ".~mplink");
    fs::remove(scripts / ".~mpdir");
    fs::create_directory(scripts / ".~mpdir");

    ASSERT_EQ(run(), std::error_code{}) << failure;
    for (const auto& entry : names)
        EXPECT_EQ(fs::exists(fs::symlink_status(scripts / entry.name)), !entry.removed)
            << entry.name;
}

// Names are what count when everything is reached through its folder: a path that leaves room
// for the backup's name leaves room for the temporary files'.
TEST_F(SafeSave, AFolderPathThatJustTakesTheBackupsPathTakesTheWholeRun) {
    fs::path deep = scripts;
    while (deep.native().size() + 201 < 4075)
        deep /= std::string(200, 'd');
    deep /= std::string(4075 - deep.native().size() - 1, 'e');
    fs::create_directories(deep);
    writeBytes(deep / "morvane.mrc", original);
    RecordingUi ui({true, true});
    engine::runPatch(deep, "morvane.mrc", ui, logs, [] { return std::tm{}; });
    EXPECT_EQ(readBytes(deep / "morvane.mrc"), patched);
    EXPECT_EQ(readBytes(deep / "morvane.mrc.bak"), backedUp);
    EXPECT_EQ(ui.events.back(), "browser:on");
}

TEST(TemporaryName, HiddenNoScriptNeverLongerThanTheBackupsAndRecognised) {
    for (const std::size_t backupName : {5u, 9u, 15u, 255u}) {
        const std::string name = engine::temporaryName(backupName, ~std::uint64_t{0});
        EXPECT_LE(name.size(), backupName);
        EXPECT_EQ(name.front(), '.');
        EXPECT_FALSE(name.ends_with(".mrc"));
        EXPECT_TRUE(engine::isTemporaryName(name)) << name;
    }
}

} // namespace
