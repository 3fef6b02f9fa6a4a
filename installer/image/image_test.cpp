// Checks of the built SETUP.EXE, read as a plain file on the build machine:
// the header (run from swap, subsystem 4.0, no link time), the size limit,
// the sections the toolchain's start-up and unwinding would add, the import
// table against the DLLs and functions that Windows 95 and NT 3.51 have, the
// relocation table, and that no path of the build is in the image.
//   setup_image_test [gtest options] IMAGE LIMIT SOURCE_DIR BINARY_DIR
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/native/pe_image.h"

namespace {

std::string gImagePath;
unsigned long gSizeLimit = 0;
std::vector<std::string> gBuildPaths;

// What the installer may import: each function one that 32-bit Windows has
// had since Windows 95 and NT 3.51. A function missing here is to be checked
// against those systems before it is added. The C runtime is CRTDLL.DLL,
// which every Win32 system carries; MSVCRT.DLL came later (Visual C++ 4.2)
// and is missing from a clean Windows 95 and NT 3.51.
const std::map<std::string, std::set<std::string>> kAllowedImports = {
    {"kernel32.dll",
     {"CreateDirectoryA", "DosDateTimeToFileTime", "FindClose", "FindFirstFileA", "GetDriveTypeA",
      "GetFileAttributesA", "GetModuleFileNameA", "GetModuleHandleA", "LocalFileTimeToFileTime", "MulDiv",
      "OpenFile", "SetFileAttributesA", "SetFileTime", "WinExec"}},
    {"user32.dll",
     {"BeginPaint", "CreateWindowExA", "DdeClientTransaction", "DdeConnect", "DdeCreateDataHandle",
      "DdeCreateStringHandleA", "DdeDisconnect", "DdeFreeStringHandle", "DdeInitializeA", "DdeUninitialize",
      "DefWindowProcA", "DeleteMenu", "DialogBoxParamA", "DispatchMessageA", "DlgDirListA", "DlgDirSelectExA",
      "DrawTextA", "EnableWindow", "EndDialog", "EndPaint", "FillRect", "GetClientRect", "GetDC",
      "GetDesktopWindow", "GetDlgItem", "GetMessageA", "GetSystemMenu", "GetWindowRect", "InvalidateRect",
      "LoadCursorA", "LoadIconA", "MessageBoxA", "PostMessageA", "PostQuitMessage", "RegisterClassA",
      "ReleaseDC", "SendDlgItemMessageA", "SendMessageA", "SetDlgItemTextA", "SetWindowPos", "ShowWindow",
      "TranslateMessage", "UpdateWindow"}},
    {"gdi32.dll",
     {"CreateFontIndirectA", "CreatePen", "CreateSolidBrush", "DeleteObject", "GetDeviceCaps", "GetObjectA",
      "GetStockObject", "GetTextMetricsA", "LineTo", "MoveToEx", "SelectObject", "SetBkColor", "SetTextColor"}},
    {"crtdll.dll",
     {"_chdir", "_chdrive", "_fileno", "_fsopen", "_get_osfhandle", "_getcwd", "_getdrive", "_splitpath", "_strupr",
      "_vsnprintf", "exit", "fclose", "ferror", "fflush", "fopen", "fread", "fscanf", "fseek", "fwrite", "getc",
      "memcmp", "memcpy", "memmove", "memset", "putc", "sscanf", "strcat", "strchr", "strcmp", "strcpy", "strlen",
      "toupper", "ungetc"}},
};

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class SetupImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (gImagePath.empty()) GTEST_SKIP() << "no image given";
        ASSERT_TRUE(image_.Load(gImagePath)) << gImagePath << " is not a PE image";
    }
    PeImage image_;
};

TEST_F(SetupImage, HeaderMarksA32BitGuiProgramThatRunsFromSwap)
{
    EXPECT_EQ(image_.U16(image_.pe() + 4), 0x014C);   // i386
    // Executable, line numbers, symbols and debugging information stripped,
    // 32-bit, and IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP; not a library.
    EXPECT_EQ(image_.U16(image_.pe() + 22), 0x070E);
    EXPECT_EQ(image_.U16(image_.opt()), 0x010B);       // PE32
    EXPECT_NE(image_.U32(image_.opt() + 16), 0u) << "no entry point";
    EXPECT_EQ(image_.U16(image_.opt() + 68), 2);       // Windows GUI
    EXPECT_EQ(image_.U16(image_.opt() + 40), 4);       // operating system 4.0
    EXPECT_EQ(image_.U16(image_.opt() + 42), 0);
    EXPECT_EQ(image_.U16(image_.opt() + 48), 4);       // subsystem 4.0
    EXPECT_EQ(image_.U16(image_.opt() + 50), 0);
}

TEST_F(SetupImage, FitsItsRoomOnDiskOne)
{
    EXPECT_LE(image_.bytes().size(), gSizeLimit);
}

// Sections that the toolchain's start-up code, thread-local storage and
// unwinding would bring; a program built without them has none.
TEST_F(SetupImage, CarriesNoStartUpOrUnwindSections)
{
    for (const PeSection& s : image_.sections())
        for (const char* name : {".CRT", ".tls", ".eh_fram", ".pdata", ".xdata", ".gcc_exc"})
            EXPECT_NE(s.name, name) << "section " << s.name << " of " << s.virtualSize << " bytes";
    EXPECT_EQ(image_.DirRva(9), 0u) << "TLS directory";
}

TEST_F(SetupImage, ImportsOnlyFunctionsOfWindows95AndNt351)
{
    auto imports = image_.Imports();
    ASSERT_FALSE(imports.empty());
    for (const auto& [dll, functions] : imports) {
        auto allowed = kAllowedImports.find(Lower(dll));
        if (allowed == kAllowedImports.end()) {
            ADD_FAILURE() << "imports from " << dll;
            continue;
        }
        for (const std::string& function : functions)
            EXPECT_TRUE(allowed->second.count(function)) << dll << ": " << function;
    }
}

// Win32s loads a program wherever it finds room, not at its preferred base:
// the image keeps its base relocations. Each block covers one 4 KB page of
// the image and holds whole 16-bit entries; the blocks fill the directory.
TEST_F(SetupImage, KeepsItsRelocations)
{
    EXPECT_EQ(image_.U16(image_.pe() + 22) & 0x0001, 0) << "relocations marked as stripped";
    uint32_t rva = image_.DirRva(PeImage::kReloc), size = image_.DirSize(PeImage::kReloc);
    ASSERT_NE(rva, 0u) << "no relocation directory";
    ASSERT_GT(size, 8u);
    uint32_t imageSize = image_.U32(image_.opt() + 56);
    uint32_t at = image_.Offset(rva), end = at + size, entries = 0;
    while (at < end) {
        uint32_t page = image_.U32(at), blockSize = image_.U32(at + 4);
        ASSERT_GE(blockSize, 8u) << "block at " << at;
        ASSERT_EQ(blockSize % 2, 0u) << "block at " << at;
        ASSERT_LE(at + blockSize, end) << "block at " << at;
        EXPECT_EQ(page % 4096, 0u);
        EXPECT_LT(page, imageSize);
        for (uint32_t e = at + 8; e < at + blockSize; e += 2) {
            uint16_t entry = image_.U16(e);
            int type = entry >> 12;
            EXPECT_TRUE(type == 0 || type == 3) << "relocation type " << type;   // padding, HIGHLOW
            if (type == 3) entries++;
        }
        at += blockSize;
    }
    EXPECT_GT(entries, 0u);
}

// Two builds of one source must be identical: no time of the link, no
// debugging directory, no path of the source or build tree in the image.
TEST_F(SetupImage, NamesNoLinkTimeOrBuildPath)
{
    EXPECT_EQ(image_.U32(image_.pe() + 8), 0u) << "link time stamp";
    EXPECT_EQ(image_.DirRva(6), 0u) << "debugging directory";
    if (image_.DirRva(PeImage::kResource) != 0) {
        EXPECT_EQ(image_.U32(image_.Offset(image_.DirRva(PeImage::kResource)) + 4), 0u) << "resource time stamp";
    }
    const std::string lowered = Lower(image_.bytes());
    for (const std::string& path : gBuildPaths) {
        EXPECT_EQ(lowered.find(Lower(path)), std::string::npos) << path;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc >= 2) gImagePath = argv[1];
    if (argc >= 3) gSizeLimit = std::strtoul(argv[2], nullptr, 10);
    for (int i = 3; i < argc; ++i) gBuildPaths.push_back(argv[i]);
    return RUN_ALL_TESTS();
}
