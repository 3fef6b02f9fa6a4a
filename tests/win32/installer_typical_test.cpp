// A typical installation by SETUP.EXE: members across several volumes, a
// missing volume asked for and put in place, files with their bytes, time
// stamps and attributes, the progress texts; and archives that are damaged
// or try to write outside the destination.
#include <algorithm>
#include <cstdio>

#include "installer_fixture.h"

using namespace installer_test;

namespace {

const std::uint32_t READONLY_ARCHIVE = bv::ATTR_READONLY | bv::ATTR_ARCHIVE;

bool Contains(const std::vector<std::string>& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

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
    TextRecorder recorder(setup.dialog, {STATUS1, STATUS2, STATUS3});
    Click(setup.dialog, NEXT);

    Box prompt = WaitBox(setup.process, "Brevant", 60000);
    EXPECT_EQ(prompt.text, "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + Upper(dir));
    Answer(prompt, "Retry");   // still missing: asked again
    prompt = WaitBox(setup.process);
    EXPECT_EQ(prompt.text, "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + Upper(dir));
    ASSERT_TRUE(MoveFileA((held + "\\SETUP.E01").c_str(), (dir + "\\SETUP.E01").c_str()));
    Answer(prompt, "Retry");
    EXPECT_EQ(setup.WaitEnd(), 0);

    for (const bv::ArchiveMember& member : input.members) {
        SCOPED_TRACE(member.path);
        std::string path = dest + "\\" + member.path;
        EXPECT_EQ(ReadFile(path), AsString(member.data));
        EXPECT_TRUE(SameTime(LastWriteTime(path), StampToFileTime(member.dosStamp)));
        EXPECT_EQ(Attributes(path) & FILE_ATTRIBUTE_READONLY, member.attributes & FILE_ATTRIBUTE_READONLY);
    }
    std::vector<std::string> line1 = recorder.Texts(STATUS1);
    std::vector<std::string> line2 = recorder.Texts(STATUS2);
    std::vector<std::string> line3 = recorder.Texts(STATUS3);
    EXPECT_TRUE(Contains(line1, "Reading: SETUP.E00"));
    EXPECT_TRUE(Contains(line1, "Reading: SETUP.E01"));
    EXPECT_TRUE(Contains(line2, "Extracting: X.DAT"));
    EXPECT_TRUE(Contains(line3, "100 %"));
    // Line 3 carries only percentages; it is emptied for the script.
    for (const std::string& text : line3) {
        if (text.empty()) continue;
        int percent = -1;
        char sign = 0;
        ASSERT_EQ(std::sscanf(text.c_str(), "%d %c", &percent, &sign), 2) << text;
        EXPECT_EQ(text, std::to_string(percent) + " %");
        EXPECT_TRUE(percent >= 0 && percent <= 100) << text;
    }
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
        ExpectBox(setup, c.message);
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
    ExpectBox(setup, "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + Upper(dir), "Cancel");
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(ReadFile(dest + "\\README.TXT"), "Read me first.\r\n");
}

}  // namespace
