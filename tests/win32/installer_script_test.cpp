// The install script of SETUP.EXE and the program launch: what the first
// script record starts, the launched program's working directory and
// command line, a program that cannot be started.
#include "installer_fixture.h"

using namespace installer_test;

namespace {

const char LAUNCH_RECORD[] = "LAUNCHED.TXT";

struct ScriptRun {
    std::string dir, dest;
};

// An archive in a fresh directory whose destination exists and holds the
// probe program as PROBE.EXE.
ScriptRun PrepareRun(const std::string& name, bv::ArchiveInput input)
{
    ScriptRun run;
    run.dir = FreshDir(name);
    run.dest = run.dir + "\\DEST";
    MakeDirs(run.dest);
    CopyFileA(WinPath(BV_PROBE).c_str(), (run.dest + "\\PROBE.EXE").c_str(), FALSE);
    input.defaultDest = run.dest;
    WriteArchive(run.dir, input);
    return run;
}

bv::ArchiveInput OneMember()
{
    bv::ArchiveInput input;
    input.members.push_back(Member("README.TXT", Bytes("read me")));
    return input;
}

// Waits for the probe's record: working directory, line feed, command line.
std::string WaitLaunchRecord(const std::string& dest)
{
    for (int waited = 0; waited < DEADLINE_MS; waited += 100) {
        std::string record = ReadFile(dest + "\\" + LAUNCH_RECORD);
        if (!record.empty()) return record;
        Sleep(100);
    }
    return "";
}

TEST(InstallScript, EndRecordAloneStartsNothing)
{
    ScriptRun run = PrepareRun("script_end", OneMember());
    Installer setup(run.dir);
    ASSERT_NE(setup.dialog, nullptr);
    Click(setup.dialog, NEXT);
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(ReadFile(run.dest + "\\README.TXT"), "read me");
    EXPECT_EQ(setup.watch.Texts(STATUS1), (std::vector<std::string>{"", "Reading: SETUP.E00", ""})) << "nothing executed";
}

// The program starts in the destination with its command line unchanged.
TEST(InstallScript, ProgramStartsInTheDestination)
{
    bv::ArchiveInput input = OneMember();
    input.script.program = "PROBE.EXE /Q one  \"two three\"";
    ScriptRun run = PrepareRun("script_launch", input);
    Installer setup(run.dir);
    ASSERT_NE(setup.dialog, nullptr);
    Click(setup.dialog, NEXT);
    EXPECT_EQ(setup.WaitEnd(), 0);
    std::string record = WaitLaunchRecord(run.dest);
    ASSERT_NE(record.find('\n'), std::string::npos) << record;
    EXPECT_EQ(Upper(record.substr(0, record.find('\n'))), Upper(run.dest));
    EXPECT_EQ(record.substr(record.find('\n') + 1), input.script.program);
}

// An empty member list goes straight to the script.
TEST(InstallScript, EmptyArchiveGoesStraightToTheScript)
{
    bv::ArchiveInput input;
    input.script.program = "PROBE.EXE";
    ScriptRun run = PrepareRun("script_empty", input);
    Installer setup(run.dir);
    ASSERT_NE(setup.dialog, nullptr);
    Click(setup.dialog, NEXT);
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_FALSE(WaitLaunchRecord(run.dest).empty());
}

TEST(InstallScript, MissingProgramIsReported)
{
    bv::ArchiveInput input = OneMember();
    input.script.program = "NOPROG.EXE /X";
    ScriptRun run = PrepareRun("script_missing", input);
    Installer setup(run.dir);
    ASSERT_NE(setup.dialog, nullptr);
    Click(setup.dialog, NEXT);
    Box box = WaitBoxOf(setup, "Execution failed; error code = 2", ERROR_BOX);
    EXPECT_EQ(ItemText(setup.dialog, STATUS1), "Executing: NOPROG.EXE /X");
    EXPECT_EQ(ItemText(setup.dialog, STATUS2), "");
    EXPECT_EQ(ItemText(setup.dialog, STATUS3), "");
    Answer(box, "OK");
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(ReadFile(run.dest + "\\README.TXT"), "read me");
}

// A script that begins with an item (the writer never makes one): the
// damage message, and nothing started.
TEST(InstallScript, ItemBeforeAnyGroupIsDamage)
{
    bv::ArchiveInput input = OneMember();
    input.script.program = "PROBE.EXE";
    ScriptRun run = PrepareRun("script_item", input);
    std::string volume = ReadFile(run.dir + "\\SETUP.E00");
    const std::string launch = "[PRGEXEC=PROBE.EXE]";
    ASSERT_EQ(volume.substr(volume.size() - launch.size()), launch);
    WriteFile(run.dir + "\\SETUP.E00", volume.substr(0, volume.size() - launch.size()) + "[ITEMNAME=PROBE.EXE]");
    Installer setup(run.dir);
    ASSERT_NE(setup.dialog, nullptr);
    Click(setup.dialog, NEXT);
    ExpectBox(setup, "ERROR:\r\nSource file damaged.", ERROR_BOX);
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(setup.watch.Texts(STATUS1), (std::vector<std::string>{"", "Reading: SETUP.E00", ""})) << "nothing executed";
}

}  // namespace
