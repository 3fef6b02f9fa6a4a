// A diskette release installed as a user installs it: the files of disk 1
// are in drive A:, SETUP.EXE is started from A:\, and at each disk prompt
// the diskette in A: is taken out and the next one put in before Retry.
// The set (three or more 360K diskettes, taken out of the images with
// mtools) is made by diskette_set.sh before this test runs.
#include <cstdio>

#include "installer_fixture.h"

using namespace installer_test;

namespace {

const std::string DRIVE = "A:\\";
const std::string SET = WinPath(BV_DISKETTE_SET);

std::string DiskDir(int number)
{
    return SET + "\\disk\\" + std::to_string(number);
}

int DiskCount()
{
    int count = 0;
    while (Exists(DiskDir(count + 1))) ++count;
    return count;
}

// Empties drive A:. A running program's file cannot be deleted, so every
// file is moved out of the drive, into a folder of the build machine.
void TakeOut()
{
    static int taken = 0;
    const std::string out = WinPath(BV_WORK_ROOT) + "\\taken-out";
    MakeDirs(out);
    for (const std::string& name : FilesBelow(DRIVE, false)) {
        std::string path = DRIVE + name, to = out + "\\" + std::to_string(++taken) + "-" + name;
        EXPECT_TRUE(MoveFileExA(path.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
            << "cannot take " << path << " out: error " << GetLastError();
    }
    ASSERT_TRUE(FilesBelow(DRIVE, false).empty());
}

// Puts diskette n into drive A:.
void PutIn(int number)
{
    TakeOut();
    for (const std::string& name : FilesBelow(DiskDir(number), false))
        ASSERT_TRUE(CopyFileA((DiskDir(number) + "\\" + name).c_str(), (DRIVE + name).c_str(), FALSE)) << name;
}

std::string DiskPrompt(int volume)
{
    char text[160];
    std::snprintf(text, sizeof text, "Insert disk number %d with file \"SETUP.E%02X\"\r\nin A:", volume, volume);
    return text;
}

// Answers Retry and waits until the prompt is gone: the installer has then
// looked at the drive again, and a prompt seen next is a new one.
void Retry(const Box& box)
{
    Answer(box, "Retry");
    for (int waited = 0; box.window && IsWindow(box.window) && waited < 60000; waited += 20) Sleep(20);
    EXPECT_FALSE(box.window && IsWindow(box.window)) << "the prompt \"" << box.text << "\" stayed";
}

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

TEST(DisketteInstallation, FromDriveAOneDisketteAtATime)
{
    const int disks = DiskCount();
    ASSERT_GE(disks, 3) << "the set in " << SET << " has fewer than three diskettes";
    EXPECT_EQ(FilesBelow(DiskDir(1), false), (std::vector<std::string>{"LIESMICH.TXT", "SETUP.E00", "SETUP.EXE"}));
    std::string dest = FreshDir("diskette") + "\\DEST";
    MakeDirs(dest);
    PutIn(1);

    Process process = Start(DRIVE + "SETUP.EXE", DRIVE);
    struct EndsWithTheTest {
        Process& process;
        ~EndsWithTheTest() { Kill(process); }
    } ending{process};
    HWND dialog = WaitWindow(process, "#32770", "BREVANT", 60000);
    ASSERT_NE(dialog, nullptr);
    SetItemText(dialog, EDIT, dest);
    Click(dialog, NEXT);

    // Each prompt holds the installation: the dialog is open meanwhile and
    // says which volume it is reading.
    std::vector<std::string> prompts, expected, reading, readingExpected;
    auto prompt = [&](const std::string& want, int volume) {
        Box box = WaitBox(process, "Brevant", 120000);
        prompts.push_back(box.text);
        expected.push_back(want);
        EXPECT_TRUE(IsWindowVisible(dialog));
        char text[32];
        std::snprintf(text, sizeof text, "Reading: SETUP.E%02X", volume);
        reading.push_back(ItemText(dialog, STATUS1));
        readingExpected.push_back(text);
        return box;
    };
    for (int volume = 1; volume < disks; volume++) {
        SCOPED_TRACE("disk " + std::to_string(volume + 1));
        Box box = prompt(DiskPrompt(volume), volume);
        if (volume == 1) {
            // The wrong diskette first: the one after it, without SETUP.E01.
            PutIn(3);
            Retry(box);
            box = prompt(DiskPrompt(1), 1);
            // A diskette whose SETUP.E01 is another volume of the set.
            TakeOut();
            ASSERT_TRUE(CopyFileA((DiskDir(3) + "\\SETUP.E02").c_str(), (DRIVE + "SETUP.E01").c_str(), FALSE));
            Retry(box);
            box = prompt("File \"SETUP.E01\" is not disk number 1.\r\n" + DiskPrompt(1), 1);
        }
        PutIn(volume + 1);
        Retry(box);
    }
    EXPECT_EQ(WaitExit(process, 120000), 0);
    EXPECT_EQ(prompts, expected);
    EXPECT_EQ(reading, readingExpected);

    // Exactly the product, with its bytes, stamps and read-only attribute.
    std::vector<std::string> product = FilesBelow(SET + "\\product");
    EXPECT_EQ(FilesBelow(dest), product);
    for (const std::string& file : product) {
        SCOPED_TRACE(file);
        std::string from = SET + "\\product\\" + file, to = dest + "\\" + file;
        EXPECT_EQ(ReadFile(to), ReadFile(from));
        EXPECT_TRUE(SameTime(LastWriteTime(to), LastWriteTime(from)));
        EXPECT_EQ(Attributes(to) & FILE_ATTRIBUTE_READONLY, Attributes(from) & FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_EQ(Attributes(dest + "\\RO.TXT") & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    TakeOut();
}

}  // namespace
