// Reads the built program's resources back the way Explorer does, through Windows' own calls:
// the version record, the icon and the kind of program. Run under Wine on Linux.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring program; // the executable under test, from the command line

std::vector<unsigned char> versionRecord() {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    std::vector<unsigned char> record(size);
    if (size == 0 || !GetFileVersionInfoW(program.c_str(), 0, size, record.data()))
        record.clear();
    return record;
}

// The value of an entry of the US English Unicode block, or nothing when it is missing.
bool entry(const std::vector<unsigned char>& record, const std::wstring& name,
           std::wstring& value) {
    void* found = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\040904b0\\" + name;
    if (!VerQueryValueW(record.data(), path.c_str(), &found, &length) || !found)
        return false;
    value.assign(static_cast<const wchar_t*>(found), length > 0 ? length - 1 : 0);
    return true;
}

TEST(VersionRecord, NumbersSayOnePointZero) {
    const auto record = versionRecord();
    ASSERT_FALSE(record.empty()) << "no version record";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);

    struct Translation {
        WORD language;
        WORD codePage;
    }* translations = nullptr;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translations), &length));
    ASSERT_EQ(length, sizeof(Translation));
    EXPECT_EQ(translations->language, 0x409);
    EXPECT_EQ(translations->codePage, 1200);
}

TEST(VersionRecord, EntriesAreTheProgramsAndNoOthers) {
    const auto record = versionRecord();
    ASSERT_FALSE(record.empty()) << "no version record";
    const struct {
        const wchar_t* name;
        const wchar_t* value; // nullptr: present, any text
    } present[] = {
        {L"ProductName", L"Morvane 4.8 Patch"},
        {L"FileVersion", L"1.00"},
        {L"ProductVersion", L"1.00"},
        {L"InternalName", L"morvane-patch"},
        {L"OriginalFilename", L"morvane-patch.exe"},
        {L"Comments", nullptr},
    };
    std::wstring value;
    for (const auto& wanted : present) {
        SCOPED_TRACE(std::string(wanted.name, wanted.name + wcslen(wanted.name)));
        ASSERT_TRUE(entry(record, wanted.name, value));
        if (wanted.value)
            EXPECT_TRUE(value == wanted.value);
        else
            EXPECT_FALSE(value.empty());
    }
    for (const wchar_t* absent :
         {L"CompanyName", L"FileDescription", L"LegalCopyright", L"LegalTrademarks"})
        EXPECT_FALSE(entry(record, absent, value));
}

// A resource's name, kept past the enumeration that gave it: a number, or a text.
struct ResourceName {
    std::wstring text;
    ULONG_PTR number = 0;
    LPCWSTR get() const { return text.empty() ? MAKEINTRESOURCEW(number) : text.c_str(); }
};

BOOL CALLBACK firstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
    auto& first = *reinterpret_cast<ResourceName*>(found);
    if (IS_INTRESOURCE(name))
        first.number = reinterpret_cast<ULONG_PTR>(name);
    else
        first.text = name;
    return FALSE; // the first is the one Explorer shows
}

// The icon group as the resource compiler writes it (GRPICONDIR and its entries).
#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitsPerPixel;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved;
    WORD type;
    WORD count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

TEST(Executable, FirstIconIsTheProgramsAndItIsAWindowProgram) {
    // Read as data, with kernel32 alone: Explorer's view of the icon without a window system.
    const HMODULE module = LoadLibraryExW(
        program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const auto groupIcons = MAKEINTRESOURCEW(14); // RT_GROUP_ICON
    const auto icons = MAKEINTRESOURCEW(3);       // RT_ICON
    ResourceName first;
    EnumResourceNamesW(module, groupIcons, firstName, reinterpret_cast<LONG_PTR>(&first));
    ASSERT_TRUE(!first.text.empty() || first.number != 0) << "no icon";
    const HRSRC found = FindResourceW(module, first.get(), groupIcons);
    ASSERT_NE(found, nullptr);
    const auto* group = static_cast<const IconGroup*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->type, 1);
    ASSERT_GE(group->count, 1);
    // The 16-pixel picture first, as the window's title bar shows it.
    EXPECT_EQ(group->entries[0].width, 16);
    EXPECT_EQ(group->entries[0].height, 16);
    for (WORD i = 0; i < group->count; ++i)
        EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(group->entries[i].id), icons), nullptr)
            << "picture " << i << " of the icon is missing";
    FreeLibrary(module);

    // No console window opens with it: the PE header names the Windows GUI subsystem.
    const HANDLE file = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<unsigned char> head(4096);
    DWORD got = 0;
    ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, nullptr);
    CloseHandle(file);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(head.data());
    ASSERT_LT(static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64), got);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(head.data() + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: version_record_windows <program.exe>\n");
        return 2;
    }
    const std::string path = argv[1];
    program.assign(path.begin(), path.end());
    return RUN_ALL_TESTS();
}
