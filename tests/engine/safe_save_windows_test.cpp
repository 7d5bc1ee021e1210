// What Windows keeps of a file where Linux keeps its mode and owner: the read-only attribute and
// the ACL. And what the user sees of a run in progress: a hidden temporary file, and a script
// every other program can still read.

#include "engine/os_file.h"
#include "engine/patch_rules.h"
#include "engine/patch_run.h"
#include "engine/path_text.h"
#include "engine/script_files.h"
#include "tests/engine/patch_run_cases.h"
#include "tests/engine/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <memory>
#include <sddl.h>

namespace {

namespace fs = std::filesystem;
using testing_support::readBytes;
using testing_support::RecordingUi;
using testing_support::TempFolder;
using testing_support::writeBytes;

DWORD attributesOf(const fs::path& path) {
    return GetFileAttributesW(path.c_str());
}

// The file's DACL in SDDL, the form in which two ACLs compare.
std::wstring daclOf(const fs::path& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"(none)";
    const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"(unreadable)";
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> ownedText(text, &LocalFree);
    return text;
}

bool setDacl(const fs::path& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::wstring name = path.native();
    return SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

class WindowsSave : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(root / "scripts");
        fs::create_directory(root / "logs");
        writeBytes(script(), "alias msn.vver return 4.8\r\n");
    }
    void TearDown() override {
        SetFileAttributesW(script().c_str(), FILE_ATTRIBUTE_NORMAL); // so that it can go
    }
    fs::path script() const { return root / "scripts" / "morvane.mrc"; }
    fs::path backup() const { return root / "scripts" / "morvane.mrc.bak"; }
    void run(RecordingUi& ui, std::string_view name = "morvane.mrc") {
        engine::runPatch(root / "scripts", name, ui, root / "logs");
    }

    TempFolder root;
};

// Wine as an administrator writes read-only files anyway; the tests run as an ordinary user.
TEST_F(WindowsSave, AReadOnlyScriptIsRefusedAndKeptWithItsText) {
    ASSERT_TRUE(SetFileAttributesW(script().c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        engine::ScriptFile(script()).write("new", "");
        FAIL() << "a read-only script was written";
    } catch (const engine::FileError& error) {
        EXPECT_EQ(error.code(), std::errc::permission_denied) << error.what();
    }
    EXPECT_EQ(readBytes(script()), "alias msn.vver return 4.8\r\n");
    EXPECT_TRUE(attributesOf(script()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(WindowsSave, TheScriptKeepsItsAclAndAttributesAndTheBackupTakesItsAcl) {
    // Only this user and the administrators, nobody else: what a careful user may have set.
    constexpr wchar_t acl[] = L"D:P(A;;FA;;;OW)(A;;FA;;;BA)(A;;FR;;;SY)";
    if (!setDacl(script(), acl))
        GTEST_SKIP() << "this file system keeps no ACL";
    const std::wstring before = daclOf(script());
    ASSERT_TRUE(SetFileAttributesW(script().c_str(), FILE_ATTRIBUTE_ARCHIVE));

    engine::ScriptFile(script()).write("new\r\n", "");
    engine::BackupFile(backup()).write(engine::ScriptFile(script()), "old\r\n");

    EXPECT_EQ(readBytes(script()), "new\r\n");
    EXPECT_TRUE(daclOf(script()) == before);
    EXPECT_TRUE(daclOf(backup()) == before);
    EXPECT_EQ(attributesOf(script()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(attributesOf(backup()) & FILE_ATTRIBUTE_HIDDEN);
}

// While a run writes, its temporary file is hidden from every file list, and the script stays
// readable by other programs: its lock is on a byte past its end, not on its text.
TEST_F(WindowsSave, DuringARunTheTemporaryFileIsHiddenAndTheScriptReadable) {
    // A script the whole patch applies to, so that both writes happen.
    writeBytes(script(), "alias msn.vver return 4.8\r\n" + std::string(engine::ruleC1.find) +
                             "\r\n" + std::string(engine::ruleC2.find) + "\r\n" +
                             std::string(engine::ruleC3.find) + "\r\n");
    bool looked = false;
    engine::os::FaultPlan plan;
    plan.before = [&](long) {
        for (const auto& entry : fs::directory_iterator(root / "scripts")) {
            const std::wstring name = entry.path().filename().native();
            if (name.rfind(L".~mp", 0) != 0)
                continue;
            looked = true;
            EXPECT_TRUE(attributesOf(entry.path()) & FILE_ATTRIBUTE_HIDDEN);
        }
        const HANDLE reader = CreateFileW(script().c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        char first[5] = {};
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(reader, first, 5, &got, nullptr));
        EXPECT_EQ(got, 5u);
        CloseHandle(reader);
    };
    engine::os::setFaultPlan(&plan);
    RecordingUi ui({true, true});
    run(ui);
    engine::os::setFaultPlan(nullptr);

    EXPECT_TRUE(looked) << "no temporary file was seen";
    EXPECT_NE(readBytes(script()).find("4.8a"), std::string::npos);
    EXPECT_FALSE(attributesOf(script()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(testing_support::namesIn(root / "scripts"),
              (std::vector<std::string>{"morvane.mrc", "morvane.mrc.bak"}));
}

TEST_F(WindowsSave, ASecondRunOnTheSameScriptIsRefusedAtOnce) {
    engine::ScriptFile first(script());
    try {
        engine::ScriptFile second(script());
        FAIL() << "two runs held the script";
    } catch (const engine::FileError& error) {
        EXPECT_NE(std::string(error.what()).find("morvane.mrc"), std::string::npos);
    }
}

TEST_F(WindowsSave, NamesThatLeadElsewhereAreRefused) {
    for (const wchar_t* name :
         {L"..\\morvane.mrc", L"c:morvane.mrc", L"morvane.mrc:stream", L"scripts/morvane.mrc"}) {
        RecordingUi ui({true, true});
        EXPECT_THROW(engine::runPatch(root / "scripts", name, ui, root / "logs"),
                     engine::PatchError);
    }
    EXPECT_EQ(readBytes(script()), "alias msn.vver return 4.8\r\n");
}

// The file at path exactly as named: the plain path would drop a trailing dot or blank.
fs::path literal(const fs::path& path) {
    return L"\\\\?\\" + path.native();
}

// Whether the DACL lets in no one but this user and the system itself.
bool ownerOnly(const fs::path& path) {
    const std::wstring dacl = daclOf(literal(path));
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string user(size, '\0');
    GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    wchar_t* sid = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid);
    const std::wstring self = sid;
    LocalFree(sid);
    // Every entry is "(type;flags;rights;;;SID)": each must be this user's or the system's.
    for (std::size_t at = dacl.find(L'('); at != std::wstring::npos; at = dacl.find(L'(', at + 1)) {
        const std::size_t end = dacl.find(L')', at);
        const std::wstring sid =
            dacl.substr(dacl.rfind(L';', end) + 1, end - dacl.rfind(L';', end) - 1);
        if (sid != self && sid != L"SY")
            return false;
    }
    return true;
}

// From the moment it exists until it is complete, a temporary file lets no one else read what
// is written into it; the script's own ACL comes after.
TEST_F(WindowsSave, TheTemporaryFileIsThisUsersAloneWhileItIsWritten) {
    writeBytes(script(), std::string(engine::ruleC3.find) + "\r\n");
    int seen = 0;
    engine::os::FaultPlan plan;
    plan.before = [&](long) {
        for (const auto& entry : fs::directory_iterator(root / "scripts"))
            if (entry.path().filename().native().rfind(L".~mp", 0) == 0 &&
                fs::file_size(entry.path()) == 0) {
                ++seen;
                EXPECT_TRUE(ownerOnly(entry.path())) << daclOf(entry.path()).c_str();
            }
    };
    engine::os::setFaultPlan(&plan);
    RecordingUi ui({true, true});
    run(ui);
    engine::os::setFaultPlan(nullptr);
    EXPECT_GT(seen, 0) << "no temporary file was seen before its first byte";
}

// The log keeps every patched script's text: made in a folder everyone may read (a portable
// copy's own folder), it still lets no one else in.
TEST_F(WindowsSave, ANewLogIsThisUsersAloneWhereOthersMayReadItsFolder) {
    if (!setDacl(root / "logs", L"D:P(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;WD)"))
        GTEST_SKIP() << "this file system keeps no ACL";
    writeBytes(script(), std::string(engine::ruleC3.find) + "\r\n");
    RecordingUi ui({true, false});
    run(ui);
    EXPECT_TRUE(ownerOnly(root / "logs" / "parselog.log"))
        << daclOf(root / "logs" / "parselog.log").c_str();
}

// A save at the same size that puts the write time back, as a copy that keeps times leaves it,
// is still another program's save: the run leaves it alone.
TEST_F(WindowsSave, ASaveThatKeepsSizeAndTimesIsSeen) {
    const std::string original = patch_run_cases::script();
    writeBytes(script(), original);
    std::string saved = original;
    RecordingUi ui({true, true});
    ui.whileVersionQuestionIsOpen = [&] {
        const HANDLE file =
            CreateFileW(script().c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME created{}, accessed{}, written{};
        GetFileTime(file, &created, &accessed, &written);
        saved = readBytes(script());
        saved[0] = '#';
        DWORD count = 0;
        WriteFile(file, saved.data(), static_cast<DWORD>(saved.size()), &count, nullptr);
        FlushFileBuffers(file);
        SetFileTime(file, &created, &accessed, &written);
        CloseHandle(file);
    };
    EXPECT_THROW(run(ui), engine::PatchError);
    EXPECT_EQ(readBytes(script()), saved);
}

// Windows lets go of the script's lock for the moment it is replaced: a second run that opens it
// just then holds the patched script, and this run says that, not that it was left unchanged.
TEST_F(WindowsSave, ARunThatTakesTheScriptAsItIsReplacedIsNamed) {
    const std::string original = patch_run_cases::script();
    writeBytes(script(), original);
    engine::os::Folder folder;
    ASSERT_FALSE(engine::os::openFolder(root / "scripts", folder));
    engine::os::File second;
    engine::os::FaultPlan plan;
    plan.inside = [&](long) {
        if (second || readBytes(script()) == original) // the backup is put in place first
            return;
        ASSERT_FALSE(engine::os::openToRead(folder, "morvane.mrc", second));
        ASSERT_FALSE(engine::os::lock(second, std::chrono::milliseconds(0)));
    };
    engine::os::setFaultPlan(&plan);
    RecordingUi ui({true, true});
    std::string message;
    try {
        run(ui);
    } catch (const engine::PatchError& error) {
        message = error.what();
    }
    engine::os::setFaultPlan(nullptr);
    EXPECT_NE(message.find("another run of this program took it"), std::string::npos) << message;
    EXPECT_NE(message.find("was changed by this run"), std::string::npos) << message;
    EXPECT_EQ(readBytes(backup()), original);
    EXPECT_NE(readBytes(script()).find("PT - Chat Partners"), std::string::npos);
}

struct DeviceNameCase {
    const wchar_t* name;
    bool device;
};

// Test lists show the name, not the bytes of the case.
void PrintTo(const DeviceNameCase& c, std::ostream* out) {
    *out << engine::displayName(c.name);
}

class DeviceNames : public WindowsSave, public ::testing::WithParamInterface<DeviceNameCase> {};

// Opened by its plain path, such a name is the device; a run refuses it before it asks or opens
// anything.
TEST_P(DeviceNames, AreRefusedBeforeAnythingIsOpened) {
    const auto& c = GetParam();
    EXPECT_EQ(engine::isDeviceName(c.name), c.device);
    if (!c.device)
        return;
    RecordingUi ui({true, true});
    try {
        engine::runPatch(root / "scripts", c.name, ui, root / "logs");
        FAIL() << "a device name was taken for a script";
    } catch (const engine::PatchError& error) {
        EXPECT_NE(std::string(error.what()).find("is the name of a Windows device"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(ui.events.empty());
    EXPECT_FALSE(fs::exists(root / "logs" / "parselog.log"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DeviceNames,
    ::testing::Values(DeviceNameCase{L"CON.mrc", true}, DeviceNameCase{L"nul.mrc", true},
                      DeviceNameCase{L"Com1.mrc", true}, DeviceNameCase{L"lpt9.txt.mrc", true},
                      DeviceNameCase{L"AUX .mrc", true}, DeviceNameCase{L"conout$.mrc", true},
                      DeviceNameCase{L"COM\u00B9.mrc", true}, DeviceNameCase{L"console.mrc", false},
                      DeviceNameCase{L"com10.mrc", false}, DeviceNameCase{L"nul-notes.mrc", false},
                      DeviceNameCase{L"morvane.mrc", false}));

// A name that ends in a dot or a blank is a file of its own, which the plain path would take
// for the one without: the run patches the file chosen and leaves the other alone.
TEST_F(WindowsSave, ANameEndingInADotOrBlankIsThatFile) {
    for (const std::wstring name : {L"morvane.mrc.", L"morvane.mrc "}) {
        const fs::path chosen = root / "scripts" / name;
        const std::string text = std::string(engine::ruleC3.find) + "\r\n";
        writeBytes(literal(chosen), text);
        RecordingUi ui({true, false});
        engine::runPatch(root / "scripts", name, ui, root / "logs");
        EXPECT_EQ(readBytes(literal(chosen)), std::string(engine::ruleC3.replacement) + "\r\n\r\n");
        EXPECT_EQ(readBytes(literal(root / "scripts" / (name + L".bak"))), text);
        EXPECT_EQ(readBytes(script()), "alias msn.vver return 4.8\r\n");
        DeleteFileW(literal(chosen).c_str());
        DeleteFileW(literal(root / "scripts" / (name + L".bak")).c_str());
    }
}

// Makes link a link to the folder target: Windows' own, or under Wine a Unix one, which Wine
// shows as a reparse point.
bool makeFolderLink(const fs::path& link, const fs::path& target) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY |
                                SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
        const DWORD attributes = GetFileAttributesW(link.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        RemoveDirectoryW(link.c_str());
    }
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName)
        return false;
    const auto unix = [&](const fs::path& path) {
        char* name = unixName(path.c_str());
        std::string text = name ? name : "";
        HeapFree(GetProcessHeap(), 0, name);
        return std::wstring(text.begin(), text.end());
    };
    std::wstring command = L"ln -s \"" + unix(target) + L"\" \"" + unix(link.parent_path()) + L"/" +
                           link.filename().native() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT;
}

// Whoever may write where the log is kept could make the log's folder lead to a folder of
// theirs, or of an administrator's: the log is not written through a link.
TEST_F(WindowsSave, ALogFolderThatIsALinkIsRefused) {
    fs::create_directory(root / "elsewhere");
    if (!makeFolderLink(root / "linked-logs", root / "elsewhere"))
        GTEST_SKIP() << "no link to a folder can be made here";
    writeBytes(script(), std::string(engine::ruleC3.find) + "\r\n");
    RecordingUi ui({true, true});
    EXPECT_THROW(engine::runPatch(root / "scripts", "morvane.mrc", ui, root / "linked-logs"),
                 engine::PatchError);
    EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
    EXPECT_EQ(readBytes(script()), std::string(engine::ruleC3.find) + "\r\n");
    RemoveDirectoryW((root / "linked-logs").c_str());
}

TEST(LogDate, TheUsersShortDateAloneAtMidnightAndWithTheLongTimeOtherwise) {
    std::tm midnight{};
    midnight.tm_year = 126;
    midnight.tm_mon = 11;
    midnight.tm_mday = 8;
    std::tm later = midnight;
    later.tm_sec = 1;
    const std::string date = engine::userDateText(midnight);
    const std::string dateAndTime = engine::userDateText(later);
    EXPECT_NE(date.find("8"), std::string::npos) << date;
    EXPECT_EQ(dateAndTime.rfind(date + " ", 0), 0u) << dateAndTime;
    EXPECT_NE(dateAndTime.find("01"), std::string::npos) << dateAndTime;
}

} // namespace
