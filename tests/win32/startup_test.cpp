// Start-up of SETUP.EXE: where it looks for volume 0, what it says when the
// volume is missing or foreign, and that it always exits with code 0.
#include <gtest/gtest.h>

#include "driver.h"

using namespace driver;

namespace {

const char VALID_VOLUME0[] =
    "[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1][PRNAME=TARNBOLT_END_FILE_SECTION][TARNBOLT=END]";

// The setup dialog, told apart from the boxes by its exact caption (window
// searches ignore case, and the boxes are captioned "Brevant").
bool SetupDialogShown(const Process& setup)
{
    for (HWND window : TopWindows(setup.id)) {
        if (IsWindowVisible(window) && ClassOf(window) == "#32770" && TextOf(window) == "BREVANT") return true;
    }
    return false;
}

// Starts the installer and expects one error box with this text, no setup
// dialog, and exit code 0 after OK.
void ExpectStartupError(const std::string& dir, const std::string& program, const std::string& text)
{
    Process setup = Start(program, dir);
    Box box = WaitBox(setup);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(CountBoxes(setup), 1);
    EXPECT_FALSE(SetupDialogShown(setup));
    Answer(box, "OK");
    EXPECT_EQ(WaitExit(setup), 0);
}

// Starts the installer and expects the setup dialog; aborts it.
void ExpectDialogThenAbort(const std::string& dir, const std::string& program)
{
    Process setup = Start(program, dir);
    HWND dialog = WaitWindow(setup, "#32770", "BREVANT");
    ASSERT_NE(dialog, nullptr);
    Click(dialog, 3);
    Box question = WaitBox(setup);
    EXPECT_EQ(question.text, "This will stop the program.");
    Answer(question, "Yes");
    EXPECT_EQ(WaitExit(setup), 0);
}

TEST(Startup, MissingVolumeZeroShowsOneErrorAndExitsZero)
{
    std::string dir = FreshDir("missing");
    ExpectStartupError(dir, PlaceInstaller(dir), "ERROR: Cannot open data file");
}

TEST(Startup, ForeignVolumeZeroIsInvalidFileType)
{
    const char* headers[] = {
        "[TARNBOLT 1][DEFDIR=C:\\TOOLS][DFCHANGE=1]",
        "[TARNBOLT 0][DEFDIR=][DFCHANGE=1]",
        "PK\x03\x04 not an archive",
        "",
    };
    std::string dir = FreshDir("foreign");
    std::string program = PlaceInstaller(dir);
    for (const char* header : headers) {
        SCOPED_TRACE(header);
        WriteFile(dir + "\\SETUP.E00", header);
        ExpectStartupError(dir, program, "Invalid file type");
    }
}

TEST(Startup, VolumesAreNamedAfterTheProgram)
{
    std::string dir = FreshDir("myname");
    std::string program = PlaceInstaller(dir, "MY.SETUP.EXE");
    WriteFile(dir + "\\SETUP.E00", VALID_VOLUME0);
    ExpectStartupError(dir, program, "ERROR: Cannot open data file");
    WriteFile(dir + "\\MY.SETUP.E00", VALID_VOLUME0);
    ExpectDialogThenAbort(dir, program);
}

TEST(Startup, LowerCaseProgramNameFindsUpperCaseVolume)
{
    std::string dir = FreshDir("lower");
    WriteFile(dir + "\\SETUP.E00", VALID_VOLUME0);
    ExpectDialogThenAbort(dir, PlaceInstaller(dir, "setup.exe"));
}

TEST(Startup, DriveRootWorkingDirectoryReadsRootVolume)
{
    std::string dir = FreshDir("root");
    std::string program = PlaceInstaller(dir);
    WriteFile("C:\\SETUP.E00", VALID_VOLUME0);
    ExpectDialogThenAbort("C:\\", program);
    DeleteFileA("C:\\SETUP.E00");
    ExpectStartupError("C:\\", program, "ERROR: Cannot open data file");
}

TEST(Startup, ProgramNameLongerThanFifteenCharactersIsRefused)
{
    std::string dir = FreshDir("longname");
    WriteFile(dir + "\\ABCDEFGHIJKLMNOP.E00", VALID_VOLUME0);
    WriteFile(dir + "\\ABCDEFGHIJKLMNO.E00", VALID_VOLUME0);
    ExpectStartupError(dir, PlaceInstaller(dir, "ABCDEFGHIJKLMNOP.EXE"), "ERROR: Program name too long");
    ExpectDialogThenAbort(dir, PlaceInstaller(dir, "ABCDEFGHIJKLMNO.EXE"));
}

}  // namespace
