// The destination of SETUP.EXE: entries normalised from the root of their
// drive, refused entries, the create question, directories that cannot be
// made, and browsing in the directory list. The installer runs in C:\BVDEST,
// so that its current drive is C:; the bed maps a drive D:.
#include "installer_fixture.h"
#include "installer_texts.h"

using namespace installer_test;

namespace {

const char WORK_DIR[] = "C:\\BVDEST";
const char PAYLOAD[] = "installed\r\n";

// The archive in C:\BVDEST: one member, default destination C:\DEFAULT.
std::string FreshWorkDir()
{
    RemoveTree(WORK_DIR);
    MakeDirs(WORK_DIR);
    bv::ArchiveInput input;
    input.defaultDest = "C:\\DEFAULT";
    input.members.push_back(Member("BVMARK.TXT", Bytes(PAYLOAD)));
    WriteArchive(WORK_DIR, input);
    return WORK_DIR;
}

struct EntryCase {
    const char* entry;
    const char* installedIn;   // the normalised destination
    bool asked;                // the directory is missing: the create question
    const char* cleanup;       // what to remove afterwards
};

TEST(Destination, EntriesAreTakenFromTheRootOfTheirDrive)
{
    const EntryCase cases[] = {
        {"   D:\\APPS\\", "D:\\APPS", true, "D:\\APPS"},
        {"APPS", "C:\\APPS", true, "C:\\APPS"},
        {"\\APPS", "C:\\APPS", true, "C:\\APPS"},
        {"D:APPS", "D:\\APPS", true, "D:\\APPS"},
        {"C:", "C:\\", false, "C:\\BVMARK.TXT"},
        {"C:\\", "C:\\", false, "C:\\BVMARK.TXT"},
        {"C:\\BVDEST", "C:\\BVDEST", false, "C:\\BVDEST\\BVMARK.TXT"},
        {"C:\\NEW\\SUB", "C:\\NEW\\SUB", true, "C:\\NEW"},
    };
    std::string dir = FreshWorkDir();
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.entry);
        RemoveTree(c.cleanup);
        DeleteFileA(c.cleanup);
        Installer setup(dir);
        ASSERT_NE(setup.dialog, nullptr);
        setup.Next(c.entry);
        if (c.asked) ExpectBox(setup, CREATE_QUESTION, QUESTION_BOX, "Yes");
        EXPECT_EQ(setup.WaitEnd(), 0);
        EXPECT_EQ(ReadFile(std::string(c.installedIn) + (c.installedIn[3] ? "\\" : "") + "BVMARK.TXT"), PAYLOAD);
        RemoveTree(c.cleanup);
        DeleteFileA(c.cleanup);
    }
}

// Every refused entry gives the one warning and leaves the dialog as it was.
TEST(Destination, RefusedEntriesGiveTheWarning)
{
    const std::string unparsable = "C:\\" + std::string(140, 'B');   // longer than the platform parses
    const std::string entries[] = {"", "     ", "A*.DOC", "APPS?", "C:\\DIR*\\X", unparsable};
    std::string dir = FreshWorkDir();
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    for (const std::string& entry : entries) {
        SCOPED_TRACE(entry);
        setup.Next(entry);
        ExpectBox(setup, REFUSED, WARNING_BOX);
        ASSERT_NO_FATAL_FAILURE(ExpectStillChoosing(setup, entry));
    }
    Click(setup.dialog, ABORT);
    ExpectBox(setup, "This will stop the program.", QUESTION_BOX, "Yes");
    EXPECT_EQ(setup.WaitEnd(), 0);
}

// No keeps the dialog and creates nothing; the next Next starts over from
// the edit field; Yes makes the directories level by level.
TEST(Destination, CreateQuestionNoThenYes)
{
    std::string dir = FreshWorkDir();
    RemoveTree("C:\\NEW");
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    setup.Next("C:\\NEW\\SUB\\");
    ExpectBox(setup, CREATE_QUESTION, QUESTION_BOX, "No");
    ASSERT_TRUE(WaitNoWindow(setup.process, "#32770", "Brevant"));
    EXPECT_TRUE(IsItemVisible(setup.dialog, NEXT));
    EXPECT_EQ(ItemText(setup.dialog, EDIT), "C:\\NEW\\SUB\\");
    EXPECT_FALSE(Exists("C:\\NEW"));

    Click(setup.dialog, NEXT);
    ExpectBox(setup, CREATE_QUESTION, QUESTION_BOX, "Yes");
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_TRUE(Attributes("C:\\NEW") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(ReadFile("C:\\NEW\\SUB\\BVMARK.TXT"), PAYLOAD);
    RemoveTree("C:\\NEW");
}

// A plain file in the way, or a drive that does not exist: the error, and
// the dialog stays for another entry.
TEST(Destination, DirectoryThatCannotBeMade)
{
    std::string dir = FreshWorkDir();
    WriteFile("C:\\BVFILE", "in the way");
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    for (const char* entry : {"C:\\BVFILE\\SUB", "Q:\\APPS"}) {
        SCOPED_TRACE(entry);
        setup.Next(entry);
        ExpectBox(setup, CREATE_QUESTION, QUESTION_BOX, "Yes");
        ExpectBox(setup, CANNOT_CREATE, ERROR_BOX);
        ASSERT_TRUE(WaitNoWindow(setup.process, "#32770", "Brevant"));
        EXPECT_TRUE(IsItemVisible(setup.dialog, NEXT));
        EXPECT_FALSE(IsItemVisible(setup.dialog, STATUS1));
    }
    // An existing file as destination is taken without a question; the
    // extraction then fails on the first member.
    setup.Next("C:\\BVFILE");
    ExpectBox(setup, "ERROR:\r\nCannot open ouput file.", ERROR_BOX);
    EXPECT_EQ(setup.WaitEnd(), 0);
    DeleteFileA("C:\\BVFILE");
}

// The list's texts are read as wide characters: only those cross the
// process boundary intact.
int ListIndexOf(HWND list, const std::string& text)
{
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int n = 0; n < count; n++) {
        wchar_t item[300] = L"";
        if (SendMessageW(list, LB_GETTEXTLEN, n, 0) >= 300) continue;
        SendMessageW(list, LB_GETTEXT, n, reinterpret_cast<LPARAM>(item));
        if (std::wstring(text.begin(), text.end()) == item) return n;
    }
    return -1;
}

// Selects a list entry and double-clicks it.
void DoubleClickEntry(HWND dialog, const std::string& text)
{
    HWND list = GetDlgItem(dialog, LIST);
    int index = ListIndexOf(list, text);
    ASSERT_GE(index, 0) << text;
    SendMessageA(list, LB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(LIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
}

TEST(Destination, BrowsingByDoubleClick)
{
    std::string dir = FreshWorkDir();
    MakeDirs(std::string(WORK_DIR) + "\\SUB1\\INNER");
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    EXPECT_EQ(ItemText(setup.dialog, EDIT), "C:\\DEFAULT");
    HWND list = GetDlgItem(setup.dialog, LIST);
    EXPECT_GE(ListIndexOf(list, "[SUB1]"), 0);
    EXPECT_GE(ListIndexOf(list, "[..]"), 0);
    EXPECT_GE(ListIndexOf(list, "[-c-]"), 0);
    EXPECT_LT(ListIndexOf(list, "SETUP.E00"), 0) << "the list holds no files";

    DoubleClickEntry(setup.dialog, "[SUB1]");
    EXPECT_EQ(Upper(ItemText(setup.dialog, EDIT)), "C:\\BVDEST\\SUB1");
    EXPECT_GE(ListIndexOf(list, "[INNER]"), 0);
    DoubleClickEntry(setup.dialog, "[..]");
    EXPECT_EQ(Upper(ItemText(setup.dialog, EDIT)), "C:\\BVDEST");
    DoubleClickEntry(setup.dialog, "[SUB1]");

    // The browsed path is the destination; volumes are still found.
    Click(setup.dialog, NEXT);
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(ReadFile(std::string(WORK_DIR) + "\\SUB1\\BVMARK.TXT"), PAYLOAD);
}

}  // namespace
