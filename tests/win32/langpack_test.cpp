// The language library KVN_NL.LNG as its host uses it: loaded by full path,
// texts fetched with LoadString and formatted with the host's arguments,
// unloaded again; and its version block read with the version functions.
// BV_LANGPACK is the built library, BV_LANGPACK_CATALOGUE the table it was
// made from (paths of the build machine).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "langpack/catalogue.h"
#include "langpack/tests/quoted_nl.h"

namespace {

// A build-machine path as Wine sees it.
std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

const std::string kLibrary = WindowsPath(BV_LANGPACK);

bool HasText(unsigned id)
{
    return id <= 450 || (id >= 1000 && id <= 1082);
}

class LanguageLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryA(kLibrary.c_str());
        ASSERT_NE(module_, nullptr) << kLibrary << ": error " << GetLastError();
    }
    void TearDown() override
    {
        if (module_) {
            EXPECT_TRUE(FreeLibrary(module_));
        }
    }
    std::string Text(unsigned id) const
    {
        char buffer[1024];
        int n = LoadStringA(module_, id, buffer, sizeof buffer);
        return std::string(buffer, n > 0 ? size_t(n) : 0);
    }
    HMODULE module_ = nullptr;
};

TEST_F(LanguageLibrary, EveryIdGivesItsTextOrNothing)
{
    lng::Catalogue catalogue;
    std::vector<lng::Breach> breaches;
    ASSERT_TRUE(lng::ReadCatalogue(WindowsPath(BV_LANGPACK_CATALOGUE), catalogue, breaches));
    ASSERT_EQ(catalogue.texts.size(), 534u);
    int withText = 0;
    for (unsigned id = 0; id <= 1100; ++id) {
        char buffer[1024];
        buffer[0] = 'x';
        int n = LoadStringA(module_, id, buffer, sizeof buffer);
        if (HasText(id)) {
            ++withText;
            ASSERT_GT(n, 0) << "ID " << id;
            EXPECT_EQ(std::string(buffer, size_t(n)), catalogue.texts[id]) << "ID " << id;
            EXPECT_EQ(buffer[n], '\0') << "ID " << id;
        } else {
            // Empty slots of stored blocks (451-463, 992-999, 1083-1087) and
            // IDs without any block alike.
            EXPECT_EQ(n, 0) << "ID " << id;
            EXPECT_EQ(buffer[0], '\0') << "ID " << id;
        }
    }
    EXPECT_EQ(withText, 534);
}

TEST_F(LanguageLibrary, QuotedTextsReadTheSameThroughBothLookups)
{
    for (const QuotedText& q : kQuotedNl) {
        EXPECT_EQ(Text(q.id), q.text) << "ID " << q.id;
        const wchar_t* wide = nullptr;
        int n = LoadStringW(module_, q.id, reinterpret_cast<wchar_t*>(&wide), 0);
        ASSERT_GT(n, 0) << "ID " << q.id;
        std::string narrowed;
        for (int k = 0; k < n; ++k) narrowed += char(wide[k]);
        EXPECT_EQ(narrowed, q.text) << "ID " << q.id;
    }
}

TEST_F(LanguageLibrary, ShortBufferTruncatesWithTerminator)
{
    char buffer[8];
    int n = LoadStringA(module_, 12, buffer, sizeof buffer);
    EXPECT_EQ(n, 7);
    EXPECT_STREQ(buffer, "Geen to");
}

TEST_F(LanguageLibrary, TextsFormatWithTheHostsArguments)
{
    char out[512];
    std::snprintf(out, sizeof out, Text(205).c_str(), 4711L, "PA3ABC", "PI8XYZ");
    EXPECT_STREQ(out, "\rAntwoord op bericht 4711 aan PA3ABC@PI8XYZ, Afsluiten met CTRL-Z of /EX.\r");

    std::snprintf(out, sizeof out, Text(397).c_str(), "PA3ABC-2", 'Y', 3);
    EXPECT_STREQ(out, "PA3ABC-2   Verzenden Shutdown Y, ch: 3");

    // 186 and 200 put the end marker right-aligned after exactly 25 columns.
    std::snprintf(out, sizeof out, Text(186).c_str(), "", 12L);
    EXPECT_STREQ(out, "                         *** Einde bericht 12 ***");
    std::snprintf(out, sizeof out, Text(186).c_str(), "Dit is veel langer dan 25 tekens", 12L);
    EXPECT_STREQ(out, "Dit is veel langer dan 25*** Einde bericht 12 ***");

    std::snprintf(out, sizeof out, Text(332).c_str(), 2, "PE1ABC");
    EXPECT_STREQ(out, "\n2: Call PE1ABC      ,");
    std::snprintf(out, sizeof out, Text(261).c_str(), "XYZZYPLUGH");
    EXPECT_STREQ(out, "\rOngeldig commando XYZZYPLU");
    std::snprintf(out, sizeof out, Text(390).c_str(), 0xBEEFu);
    EXPECT_STREQ(out, "Kopieren: Systeem fout BEEF\n");
    std::snprintf(out, sizeof out, Text(11).c_str(), 4000000000u, 7u);
    EXPECT_STREQ(out, "Bytes ontvangen: 4000000000, verzonden: 7");

    // 315 is continued on its line by one of the interface descriptions.
    std::snprintf(out, sizeof out, (Text(315) + Text(316)).c_str(), "Korvane", 2, 9600);
    EXPECT_STREQ(out, "\nKorvane\nInformatie server.\n\nInterface: TNC2 Host mode, HALVERON driver, Com 2, Baud: 9600");
}

TEST_F(LanguageLibrary, IsPlacedAwayFromItsPreferredBaseWhenThatIsTaken)
{
    // The test program itself sits at 0x400000, so the library's base
    // relocations must have been applied.
    EXPECT_EQ(GetModuleHandleA(nullptr), reinterpret_cast<HMODULE>(0x400000));
    EXPECT_NE(module_, reinterpret_cast<HMODULE>(0x400000));
    EXPECT_EQ(Text(3), "NEE, Filetransfer bezig!");
}

DWORD WINAPI ReadOneText(void* module)
{
    char buffer[64];
    return DWORD(LoadStringA(static_cast<HMODULE>(module), 93, buffer, sizeof buffer));
}

TEST(LanguageLibraryLifetime, LoadsAndUnloadsAgainAcrossThreads)
{
    for (int round = 0; round < 3; ++round) {
        HMODULE module = LoadLibraryA(kLibrary.c_str());
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(GetModuleHandleA("KVN_NL.LNG"), module);
        // A thread that starts and ends while the library is loaded.
        HANDLE thread = CreateThread(nullptr, 0, ReadOneText, module, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
        DWORD length = 0;
        EXPECT_TRUE(GetExitCodeThread(thread, &length));
        EXPECT_EQ(length, 9u);  // "Adresboek"
        CloseHandle(thread);
        EXPECT_TRUE(FreeLibrary(module));
        EXPECT_EQ(GetModuleHandleA("KVN_NL.LNG"), nullptr);
    }
}

TEST(LanguageLibraryVersion, VersionFunctionsReadTheBlock)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(kLibrary.c_str(), &handle);
    ASSERT_GT(size, 0u) << "error " << GetLastError();
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(kLibrary.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), 200);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), 0);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), 'K');
    EXPECT_EQ(LOWORD(fixed->dwProductVersionMS), 'V');
    EXPECT_EQ(HIWORD(fixed->dwProductVersionLS), 'N');
    EXPECT_EQ(LOWORD(fixed->dwProductVersionLS), 'L');
    EXPECT_EQ(fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0u);
    EXPECT_EQ(fixed->dwFileType, 0u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04E4);

    const struct {
        const char* key;
        const char* value;
    } strings[] = {
        {"CompanyName", "Brevant Software"},
        {"FileDescription", "Korvane Dutch language dll"},
        {"FileVersion", "2.00"},
        {"InternalName", "KORVANE_LANGUAGE_DLL"},
        {"LegalCopyright", "Copyright (C) 1997 Brevant Software"},
        {"OriginalFilename", "KVN_NL.LNG"},
    };
    for (const auto& s : strings) {
        char* value = nullptr;
        std::string path = std::string("\\StringFileInfo\\040904E4\\") + s.key;
        ASSERT_TRUE(VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) << s.key;
        EXPECT_STREQ(value, s.value) << s.key;
    }
}

}  // namespace
