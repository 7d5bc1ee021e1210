// What Windows keeps of a file where Linux keeps its mode and owner: the read-only attribute and
// the ACL. And what the user sees of a run in progress: a hidden temporary file, and a script
// every other program can still read.

#include "engine/os_file.h"
#include "engine/patch_rules.h"
#include "engine/patch_run.h"
#include "engine/script_files.h"
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
