// A typical installation by SETUP.EXE: members across several volumes, a
// missing volume asked for and put in place, files with their bytes, time
// stamps and attributes, the progress texts; and archives that are damaged
// or try to write outside the destination.
#include <algorithm>

#include "installer_fixture.h"

using namespace installer_test;

namespace {

const std::uint32_t READONLY_ARCHIVE = bv::ATTR_READONLY | bv::ATTR_ARCHIVE;

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

bv::ArchiveInput TypicalInput(const std::string& dest)
{
    bv::ArchiveInput input;
    input.defaultDest = dest;
    input.members.push_back(Member("README.TXT", Bytes("Read me first.\r\n"), bv::ATTR_ARCHIVE,
                                   bv::MakeDosStamp(1995, 7, 14, 13, 45, 30)));
    input.members.push_back(Member("DATA\\SUB\\X.DAT", NoiseBytes(30000, 3), bv::ATTR_ARCHIVE,
                                   bv::MakeDosStamp(2010, 12, 31, 23, 59, 58)));
    input.members.push_back(Member("EMPTY.DAT", {}, bv::ATTR_ARCHIVE, bv::MakeDosStamp(1980, 1, 1, 0, 0, 0)));
    input.members.push_back(Member("RO.TXT", Bytes("new read-only contents"), READONLY_ARCHIVE,
                                   bv::MakeDosStamp(2000, 2, 29, 12, 0, 0)));
    return input;
}

TEST(TypicalInstallation, AcrossVolumesWithADiskPrompt)
{
    std::string dir = FreshDir("typical");
    std::string dest = dir + "\\DEST";
    std::string held = dir + "\\HELD";
    MakeDirs(held);
    bv::ArchiveInput input = TypicalInput(dest);
    auto volumes = WriteArchive(dir, input, 12000);
    ASSERT_GE(volumes.size(), 3u);
    // An older read-only copy is overwritten and read-only again.
    MakeDirs(dest);
    WriteFile(dest + "\\RO.TXT", "old");
    SetFileAttributesA((dest + "\\RO.TXT").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(MoveFileA((dir + "\\SETUP.E01").c_str(), (held + "\\SETUP.E01").c_str()));

    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    Click(setup.dialog, NEXT);

    const std::string prompt = "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + Upper(dir);
    Box box = WaitBoxOf(setup, prompt, DISK_PROMPT);
    Answer(box, "Retry");   // still missing: asked again
    box = WaitBoxOf(setup, prompt, DISK_PROMPT);
    ASSERT_TRUE(MoveFileA((held + "\\SETUP.E01").c_str(), (dir + "\\SETUP.E01").c_str()));
    Answer(box, "Retry");
    EXPECT_EQ(setup.WaitEnd(), 0);

    for (const bv::ArchiveMember& member : input.members) {
        SCOPED_TRACE(member.path);
        std::string path = dest + "\\" + member.path;
        EXPECT_EQ(ReadFile(path), AsString(member.data));
        EXPECT_TRUE(SameTime(LastWriteTime(path), StampToFileTime(member.dosStamp)));
        EXPECT_EQ(Attributes(path) & FILE_ATTRIBUTE_READONLY, member.attributes & FILE_ATTRIBUTE_READONLY);
    }
    // Every status text, in order: all three lines emptied at the start and
    // for the script; each volume announced as it is opened, the missing
    // one before it is asked for; each member's name and percentages.
    std::vector<std::string> reading = {""};
    for (size_t n = 0; n < volumes.size(); n++) reading.push_back("Reading: " + bv::VolumeFileName("SETUP", n));
    reading.push_back("");
    EXPECT_EQ(setup.watch.Texts(STATUS1), reading);
    EXPECT_EQ(setup.watch.Texts(STATUS2), (std::vector<std::string>{"", "Extracting: README.TXT", "Extracting: X.DAT",
                                                                    "Extracting: EMPTY.DAT", "Extracting: RO.TXT", ""}));
    std::vector<std::string> trail = setup.watch.Trail();
    auto at = [&](const std::string& entry) { return std::find(trail.begin(), trail.end(), entry) - trail.begin(); };
    EXPECT_LT(at("6:Extracting: X.DAT"), at("5:Reading: SETUP.E01"));
    EXPECT_EQ(at("5:Reading: SETUP.E01") + 1, at("box:" + prompt));
    EXPECT_EQ(trail[at("box:" + prompt) + 1], "box:" + prompt);
    EXPECT_LT(at("box:" + prompt), at("6:Extracting: EMPTY.DAT"));
    // Line 3 per member: "0 %" when it opens, rising percentages to
    // "100 %", and "100 %" again when it is finished.
    std::vector<std::vector<std::string>> percent;
    for (const std::string& entry : trail) {
        if (entry.rfind("6:Extracting: ", 0) == 0) percent.emplace_back();
        if (entry.rfind("7:", 0) == 0 && !percent.empty()) percent.back().push_back(entry.substr(2));
    }
    ASSERT_EQ(percent.size(), input.members.size());
    percent.back().pop_back();   // emptied for the script
    EXPECT_EQ(percent[0], (std::vector<std::string>{"0 %", "100 %", "100 %"}));
    EXPECT_EQ(percent[2], (std::vector<std::string>{"0 %", "100 %"}));
    EXPECT_EQ(percent[3], (std::vector<std::string>{"0 %", "100 %", "100 %"}));
    std::vector<int> x = Percentages(percent[1]);
    ASSERT_EQ(x.size(), percent[1].size()) << "only percentages";
    ASSERT_GE(x.size(), 5u);
    EXPECT_EQ(x.front(), 0);
    EXPECT_EQ(x[x.size() - 2], 100);
    EXPECT_EQ(x.back(), 100);
    for (size_t n = 2; n + 1 < x.size(); n++) EXPECT_LT(x[n - 1], x[n]) << "percentages rise";
}

// Writes the typical archive with one byte sequence replaced (same length).
void PatchArchive(const std::string& dir, const std::string& from, const std::string& to)
{
    std::string volume = ReadFile(dir + "\\SETUP.E00");
    size_t at = volume.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    volume.replace(at, from.size(), to);
    WriteFile(dir + "\\SETUP.E00", volume);
}

struct DamageCase {
    const char* name;
    const char* from;
    const char* to;
    const char* message;
};

// The damage is found after the first member: the message, the first
// member stays, nothing is written outside the destination, exit code 0.
TEST(TypicalInstallation, DamagedAndHostileArchives)
{
    const DamageCase cases[] = {
        {"keyword", "[PRNAME=SECOND.TXT]", "[XRNAME=SECOND.TXT]", "ERROR:\r\nSource file damaged."},
        {"parent", "[PRNAME=XX\\EVIL.TXT]", "[PRNAME=..\\EVIL.TXT]",
         "ERROR:\r\nSource file damaged.\r\nFile name outside the destination."},
        {"absolute", "[PRNAME=XXXEVIL.TXT]", "[PRNAME=C:\\EVIL.TXT]",
         "ERROR:\r\nSource file damaged.\r\nFile name outside the destination."},
        {"device", "[PRNAME=DATA\\XUL.TXT]", "[PRNAME=DATA\\NUL.TXT]",
         "ERROR:\r\nSource file damaged.\r\nFile name outside the destination."},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = FreshDir(std::string("damaged_") + c.name);
        std::string dest = dir + "\\DEST";
        MakeDirs(dest);
        DeleteFileA("C:\\EVIL.TXT");
        bv::ArchiveInput input;
        input.defaultDest = dest;
        input.members.push_back(Member("FIRST.TXT", Bytes("first")));
        std::string second = c.from;
        second = second.substr(8, second.size() - 9);
        input.members.push_back(Member(second, Bytes("second")));
        WriteArchive(dir, input);
        PatchArchive(dir, c.from, c.to);

        Installer setup(dir);
        ASSERT_NE(setup.dialog, nullptr);
        Click(setup.dialog, NEXT);
        ExpectBox(setup, c.message, ERROR_BOX);
        EXPECT_EQ(setup.WaitEnd(), 0);
        EXPECT_EQ(ReadFile(dest + "\\FIRST.TXT"), "first");
        EXPECT_FALSE(Exists(dir + "\\EVIL.TXT"));
        EXPECT_FALSE(Exists("C:\\EVIL.TXT"));
        EXPECT_FALSE(Exists(dest + "\\DATA"));   // a refused path makes no directory
    }
}

// Cancel at the disk prompt ends the installation silently.
TEST(TypicalInstallation, CancelledDiskPromptEndsQuietly)
{
    std::string dir = FreshDir("cancelled");
    std::string dest = dir + "\\DEST";
    MakeDirs(dest);
    auto volumes = WriteArchive(dir, TypicalInput(dest), 12000);
    ASSERT_GE(volumes.size(), 2u);
    DeleteFileA((dir + "\\SETUP.E01").c_str());
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    Click(setup.dialog, NEXT);
    ExpectBox(setup, "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + Upper(dir), DISK_PROMPT, "Cancel");
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(ReadFile(dest + "\\README.TXT"), "Read me first.\r\n");
}

}  // namespace
