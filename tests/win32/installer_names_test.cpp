// Names with é, ü and ß from the source tree to the installed files: the
// release is packed from UTF-8 names on the build machine by names_set.sh;
// SETUP.EXE, an ANSI program, installs them under their names in the
// system's code page (Windows-1252 in the bed), which Windows shows as the
// same characters.
#include <algorithm>

#include "installer_fixture.h"
#include "installer_texts.h"

using namespace installer_test;

namespace {

const std::string SET = WinPath(BV_NAMES_SET);

// A file's bytes, opened by its UTF-16 name; empty when it cannot be read.
std::string ReadWide(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

// The names in a folder, by their UTF-16 names, sorted.
std::vector<std::wstring> NamesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Names, AccentedNamesAreInstalledUnderTheirNames)
{
    ASSERT_EQ(GetACP(), 1252u) << "the bed's ANSI code page";
    const std::wstring dest = L"C:\\Gr\u00F6\u00DFe";
    const std::wstring product = std::wstring(SET.begin(), SET.end()) + L"\\product";
    std::string dir = FreshDir("names");
    for (const char* volume : {"SETUP.E00"})
        ASSERT_TRUE(CopyFileA((SET + "\\set\\" + volume).c_str(), (dir + "\\" + volume).c_str(), FALSE)) << volume;
    for (const wchar_t* file : {L"\\caf\u00E9.txt", L"\\PLAIN.TXT", L"\\Gr\u00F6\u00DFe\\\u00FCber.txt"})
        DeleteFileW((dest + file).c_str());
    RemoveDirectoryW((dest + L"\\Gr\u00F6\u00DFe").c_str());
    RemoveDirectoryW(dest.c_str());

    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    // The default destination, shown in the code page (and upper case).
    EXPECT_EQ(ItemText(setup.dialog, EDIT), "C:\\GR\xD6\xDF" "E");
    Click(setup.dialog, NEXT);
    ExpectBox(setup, CREATE_QUESTION, QUESTION_BOX, "Yes");
    EXPECT_EQ(setup.WaitEnd(), 0);

    EXPECT_EQ(NamesIn(dest), (std::vector<std::wstring>{L"Gr\u00F6\u00DFe", L"PLAIN.TXT", L"caf\u00E9.txt"}));
    EXPECT_EQ(NamesIn(dest + L"\\Gr\u00F6\u00DFe"), (std::vector<std::wstring>{L"\u00FCber.txt"}));
    for (const wchar_t* file : {L"\\caf\u00E9.txt", L"\\PLAIN.TXT", L"\\Gr\u00F6\u00DFe\\\u00FCber.txt"}) {
        SCOPED_TRACE(static_cast<int>(file[1]));
        std::string installed = ReadWide(dest + file);
        EXPECT_FALSE(installed.empty());
        EXPECT_EQ(installed, ReadWide(product + file));
    }
}

}  // namespace
