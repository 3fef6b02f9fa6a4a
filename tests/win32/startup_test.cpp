// Start-up of SETUP.EXE: where it looks for volume 0, what it says when the
// volume is missing or foreign, that it always exits with code 0, and the
// names it derives from its own file name and its working directory.
#include <algorithm>

#include "installer_fixture.h"

using namespace installer_test;

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

// Starts the installer and expects one error box with this text, owned by
// the main window (no setup dialog), and exit code 0 after OK.
void ExpectStartupError(const std::string& dir, const std::string& program, const std::string& text)
{
    Watched setup(program, dir);
    Box box = setup.WaitBox();
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(setup.StyleOf(box), ERROR_BOX);
    EXPECT_EQ(ClassOf(box.owner), "BVDECOMP") << "not owned by the main window";
    EXPECT_TRUE(IsIconic(box.owner)) << "the main window is minimised";
    EXPECT_EQ(CountBoxes(setup.process), 1);
    EXPECT_FALSE(SetupDialogShown(setup.process));
    Answer(box, "OK");
    EXPECT_EQ(WaitExit(setup.process), 0);
}

// Starts the installer and expects the setup dialog; aborts it.
void ExpectDialogThenAbort(const std::string& dir, const std::string& program)
{
    Watched watch(program, dir);
    HWND dialog = WaitWindow(watch.process, "#32770", "BREVANT");
    ASSERT_NE(dialog, nullptr);
    Click(dialog, ABORT);
    Box question = watch.WaitBox();
    EXPECT_EQ(question.text, "This will stop the program.");
    EXPECT_EQ(question.owner, dialog);
    Answer(question, "Yes");
    EXPECT_EQ(WaitExit(watch.process), 0);
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

struct NameCase {
    const char* name;
    const char* fileName;   // of the program
    bool driveRoot;         // started in C:\ instead of a fresh directory
};

// Whatever the case of the program's file name and the working directory,
// the volumes, the status line, the disk prompt and the banner name the
// archive in capitals; a drive root is named without its backslash.
TEST(Startup, ArchiveAndDirectoryAreNamedInCapitals)
{
    const NameCase cases[] = {
        {"LowerCaseProgram", "setup.exe", false},
        {"DriveRoot", "SETUP.EXE", true},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = FreshDir(std::string("names_") + c.name);
        std::string source = c.driveRoot ? "C:\\" : dir;
        std::string volumes = c.driveRoot ? "C:" : dir;   // the prompt names this
        std::string dest = dir + "\\DEST";
        MakeDirs(dest);
        bv::ArchiveInput input;
        input.defaultDest = dest;
        input.members.push_back(Member("X.DAT", NoiseBytes(30000, 5)));
        const size_t count = WriteArchive(source, input, 12000).size();
        ASSERT_GE(count, 2u);
        DeleteFileA((volumes + "\\SETUP.E01").c_str());

        Installer setup(dir, c.fileName, source);
        ASSERT_NE(setup.dialog, nullptr);
        Click(setup.dialog, NEXT);
        ExpectBox(setup, "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + Upper(volumes), DISK_PROMPT, "Cancel");
        EXPECT_EQ(setup.WaitEnd(), 0);
        EXPECT_EQ(setup.watch.Texts(STATUS1),
                  (std::vector<std::string>{"", "Reading: SETUP.E00", "Reading: SETUP.E01"}));
        std::vector<std::string> drawn = setup.watch.Drawn();
        EXPECT_NE(std::find(drawn.begin(), drawn.end(), "SETUP\rInstallation"), drawn.end())
            << "the banner title; drawn: " << ::testing::PrintToString(drawn);
        for (size_t n = 0; n < count; n++) DeleteFileA((volumes + "\\" + bv::VolumeFileName("SETUP", n)).c_str());
    }
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
