// Archive reader: volume headers, the volume chain, member records and
// extraction, the install script, and the refusal of unsafe member paths.
#include "archive/archive.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "codec/member_decoder.h"
#include "tests/native/archive_fixture.h"
#include "tests/native/stream_writer.h"

namespace {

namespace fs = std::filesystem;

const char DAMAGED[] = "ERROR:\r\nSource file damaged.";
const char UNSAFE[] = "ERROR:\r\nSource file damaged.\r\nFile name outside the destination.";

// The 205-byte single-volume archive: README.TXT (a, b, c; archive bit),
// the empty DATA\EMPTY.DAT (read-only, archive), both 1997-03-15 12:30:00,
// then the group Tools with one item and no program to start.
std::string Example205()
{
    std::string a;
    a += "[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1]";           // 0-40
    a += "[PRNAME=README.TXT]";                                  // 41-59
    a += std::string("\x20\x00\x00\x00", 4);                     // 60-63 attributes
    a += std::string("\xC0\x63\x6F\x22", 4);                     // 64-67 stamp
    a += std::string("\x03\x00\x00\x00", 4);                     // 68-71 size
    a += "\xF6\xFB\xBD\xE0";                                     // 72-75 stream
    a += "[PRNAME=DATA\\EMPTY.DAT]";                             // 76-98
    a += std::string("\x21\x00\x00\x00", 4);                     // 99-102
    a += std::string("\xC0\x63\x6F\x22", 4);                     // 103-106
    a += std::string("\x00\x00\x00\x00", 4);                     // 107-110
    a += "[PRNAME=TARNBOLT_END_FILE_SECTION]";                   // 111-144
    a += "[GROUPNAME=Tools]";                                    // 145-161
    a += "[ITEMNAME=README.TXT,Read me]";                        // 162-190
    a += "[TARNBOLT=END]";                                       // 191-204
    return a;
}

const std::uint32_t STAMP_1997 = 0x226F63C0;

std::time_t LocalTime1997()
{
    std::tm t{};
    t.tm_year = 97;
    t.tm_mon = 2;
    t.tm_mday = 15;
    t.tm_hour = 12;
    t.tm_min = 30;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

class ReaderTest : public ArchiveFixture {
protected:
    // Extracts members until the end-of-files record; false on a failure.
    bool ExtractAll()
    {
        install.filesDone = 0;
        for (;;) {
            if (BeginMember() != 0)
                return false;
            if (install.filesDone)
                return true;
            int result = DecodeMember(0);
            while (result == 0 && install.PumpStep == STEP_CONTINUE)
                result = DecodeMember(1);
            if (result != 0)
                return false;
        }
    }

    // Reads the script to its terminator: the codes and values in order.
    std::vector<std::pair<int, std::string>> ReadScript()
    {
        std::vector<std::pair<int, std::string>> records;
        for (;;) {
            int code = ReadScriptRecord();
            records.push_back({code, code > 0 ? install.recordValue : ""});
            if (code <= 0 || code == SCRIPT_PRGEXEC)
                return records;
        }
    }

    // The texts of status line 3 in order, comma-separated.
    std::string PercentsOrder()
    {
        std::string all;
        for (const auto& st : recordingHost.statusLog)
            if (st.line == 3)
                all += (all.empty() ? "" : ",") + st.text;
        return all;
    }

    // Everything below the scratch root other than the volumes: what the
    // reader wrote or made.
    std::vector<std::string> Written()
    {
        std::vector<std::string> found;
        for (auto& e : fs::recursive_directory_iterator(root))
            if (e.path().parent_path() != source)
                found.push_back(fs::relative(e.path(), root).string());
        std::sort(found.begin(), found.end());
        return found;
    }

    void ExpectWorkedExampleInstalled()
    {
        EXPECT_EQ(ReadFile(dest / "README.TXT"), "abc");
        EXPECT_EQ(ReadFile(dest / "DATA" / "EMPTY.DAT"), "");
        struct stat st;
        ASSERT_EQ(stat((dest / "README.TXT").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, LocalTime1997());
        EXPECT_TRUE(st.st_mode & S_IWUSR);
        ASSERT_EQ(stat((dest / "DATA" / "EMPTY.DAT").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, LocalTime1997());
        EXPECT_FALSE(st.st_mode & 0222);   // read-only as stored
        EXPECT_EQ(recordingHost.stamps, (std::vector<std::uint32_t>{STAMP_1997, STAMP_1997}));
        EXPECT_EQ(ReadScript(), (std::vector<std::pair<int, std::string>>{
                                    {SCRIPT_GROUPNAME, "Tools"},
                                    {SCRIPT_ITEMNAME, "README.TXT,Read me"},
                                    {SCRIPT_END, ""}}));
        EXPECT_TRUE(recordingHost.errors.empty());
    }
};

// First-volume header ------------------------------------------------------

TEST_F(ReaderTest, FirstVolumeHeaders)
{
    const std::string dir511(511, 'd');
    struct Case {
        std::string header;
        bool valid;
        std::string destDir;
        int allowDestChange;
    } cases[] = {
        {"[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1]", true, "C:\\TOOLS", 1},
        {"[TARNBOLT \t\r\n 0][DEFDIR=C:\\TOOLS][DFCHANGE=1]", true, "C:\\TOOLS", 1},
        {"[TARNBOLT0][DEFDIR=D:\\][DFCHANGE=0]", true, "D:\\", 0},
        {"[TARNBOLT +0][DEFDIR=C:\\Program Files][DFCHANGE=-7]", true, "C:\\Program Files", -7},
        {"[TARNBOLT -0][DEFDIR=X][DFCHANGE= 2]", true, "X", 2},
        {"[TARNBOLT 0][DEFDIR=" + dir511 + "][DFCHANGE=1]", true, dir511, 1},
        {"[TARNBOLT 1][DEFDIR=C:\\TOOLS][DFCHANGE=1]", false, "", 0},
        {"[TARNBOLT 0][DEFDIR=][DFCHANGE=1]", false, "", 0},
        {"[TARNBOLT 0][DEFDIR=" + dir511 + "e][DFCHANGE=1]", false, "", 0},
        {"[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1", false, "", 0},
        {"[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1)", false, "", 0},
        {"[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=]", false, "", 0},
        {"[TARNBOLT 0][DEFDIR=C:\\A]B][DFCHANGE=1]", false, "", 0},
        {"[tarnbolt 0][DEFDIR=C:\\TOOLS][DFCHANGE=1]", false, "", 0},
        {"[TARNBOLT 0][DEFDIR=C:\\TOOLS]", false, "", 0},
        {"MZ\x90\x00garbage", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& c : cases) {
        CloseArchiveStreams();
        install.allowDestChange = 1;
        WriteVolume(0, c.header + "[PAYLOAD");
        int result = OpenFirstVolume();
        SCOPED_TRACE(c.header.substr(0, 60));
        if (c.valid) {
            ASSERT_EQ(result, 0);
            EXPECT_EQ(install.destDir, c.destDir);
            EXPECT_EQ(install.allowDestChange, c.allowDestChange);
            EXPECT_EQ(std::getc(install.volumeStream), '[');   // payload follows at once
            EXPECT_EQ(std::getc(install.volumeStream), 'P');
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_STREQ(install.textBuffer, "Invalid file type");
        }
    }
    EXPECT_TRUE(recordingHost.errors.empty());   // the caller shows the text
}

TEST_F(ReaderTest, MissingFirstVolume)
{
    EXPECT_EQ(OpenFirstVolume(), -1);
    EXPECT_STREQ(install.textBuffer, "ERROR: Cannot open data file");
    EXPECT_EQ(install.volumeStream, nullptr);
}

// The worked example --------------------------------------------------------

TEST_F(ReaderTest, WorkedExampleBytesAreAsTabled)
{
    std::string a = Example205();
    ASSERT_EQ(a.size(), 205u);
    EXPECT_EQ(a.substr(41, 8), "[PRNAME=");
    EXPECT_EQ(a.substr(76, 1), "[");
    EXPECT_EQ(a.substr(111, 34), "[PRNAME=TARNBOLT_END_FILE_SECTION]");
    EXPECT_EQ(a.substr(191), "[TARNBOLT=END]");
    // The stream holds the three literal codes of a fresh model.
    StreamWriter w;
    for (char c : std::string("abc"))
        w.Literal(c);
    EXPECT_EQ(w.Bytes(), a.substr(72, 4));
}

TEST_F(ReaderTest, WorkedExampleRecordByRecord)
{
    WriteVolume(0, Example205());
    ASSERT_EQ(OpenFirstVolume(), 0);
    EXPECT_STREQ(install.destDir, "C:\\TOOLS");
    EXPECT_EQ(install.allowDestChange, 1);
    std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());

    ASSERT_EQ(BeginMember(), 0);
    EXPECT_FALSE(install.filesDone);
    EXPECT_STREQ(install.recordValue, "README.TXT");
    EXPECT_EQ(install.memberAttributes, 0x20u);
    EXPECT_EQ(install.memberStamp, STAMP_1997);
    EXPECT_EQ(install.outputPath, (dest / "README.TXT").string());
    EXPECT_EQ(recordingHost.LastStatus(2), "Extracting: README.TXT");
    EXPECT_EQ(recordingHost.LastStatus(3), "0 %");
    EXPECT_EQ(std::ftell(install.volumeStream), 68);   // on the size bytes
    ASSERT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(install.PumpStep, STEP_NEXT_MEMBER);
    EXPECT_EQ(recordingHost.LastStatus(3), "100 %");

    ASSERT_EQ(BeginMember(), 0);   // starts with the byte handed back
    EXPECT_STREQ(install.recordValue, "DATA\\EMPTY.DAT");
    EXPECT_EQ(install.memberAttributes, 0x21u);
    EXPECT_EQ(install.outputPath, (dest / "DATA" / "EMPTY.DAT").string());
    EXPECT_EQ(recordingHost.LastStatus(2), "Extracting: EMPTY.DAT");
    EXPECT_EQ(recordingHost.madeDirectories, (std::vector<std::string>{(dest / "DATA").string()}));
    ASSERT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(std::ftell(install.volumeStream), 111);

    std::size_t shown = recordingHost.statusLog.size();
    ASSERT_EQ(BeginMember(), 0);
    EXPECT_TRUE(install.filesDone);
    EXPECT_EQ(install.outputStream, nullptr);
    EXPECT_EQ(recordingHost.statusLog.size(), shown);   // the end record shows nothing

    ExpectWorkedExampleInstalled();
    EXPECT_TRUE(recordingHost.prompts.empty());
    EXPECT_EQ(install.volumeNumber, 0);   // never left volume 0
}

TEST_F(ReaderTest, WorkedExampleSplitInsideTheStream)
{
    std::string a = Example205();
    WriteVolume(0, a.substr(0, 74));   // bytes 0-73: two stream bytes
    WriteVolume(1, a.substr(74));
    ASSERT_EQ(OpenFirstVolume(), 0);
    std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
    ASSERT_TRUE(ExtractAll());
    EXPECT_EQ(install.volumeNumber, 1);
    EXPECT_EQ(recordingHost.LastStatus(1), "Reading: SETUP.E01");
    ExpectWorkedExampleInstalled();
}

TEST_F(ReaderTest, WorkedExampleSplitInsideTheEightBytesIsDamaged)
{
    std::string a = Example205();
    WriteVolume(0, a.substr(0, 63));   // bytes 0-62
    WriteVolume(1, a.substr(63));
    ASSERT_EQ(OpenFirstVolume(), 0);
    std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
    EXPECT_EQ(BeginMember(), -1);
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{DAMAGED}));
    EXPECT_TRUE(Written() == (std::vector<std::string>{"dest", "src"}));
}

TEST_F(ReaderTest, RecordsMayBeginAtAVolumeStart)
{
    // Cut before the second member, before the end-of-files record and
    // before the last script record; volume 0 ends right after its header.
    std::string a = Example205();
    WriteVolume(0, a.substr(0, 41));
    WriteVolume(1, a.substr(41, 76 - 41));
    WriteVolume(2, a.substr(76, 111 - 76));
    WriteVolume(3, a.substr(111, 191 - 111));
    WriteVolume(4, a.substr(191));
    ASSERT_EQ(OpenFirstVolume(), 0);
    std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
    ASSERT_TRUE(ExtractAll());
    ExpectWorkedExampleInstalled();
    EXPECT_EQ(install.volumeNumber, 4);
}

TEST_F(ReaderTest, ArchiveWithoutMembersStartsOnlyItsProgram)
{
    OpenPayload("[PRNAME=TARNBOLT_END_FILE_SECTION][PRGEXEC=SETUP2.EXE /Q]");
    ASSERT_TRUE(ExtractAll());
    EXPECT_EQ(ReadScript(), (std::vector<std::pair<int, std::string>>{{SCRIPT_PRGEXEC, "SETUP2.EXE /Q"}}));
    EXPECT_EQ(Written(), (std::vector<std::string>{"dest", "src"}));
    EXPECT_TRUE(recordingHost.statusLog.empty());
}

// Volume chain -------------------------------------------------------------

TEST_F(ReaderTest, ContinuationHeaders)
{
    struct Case {
        std::string volume1;
        int firstByte;   // -1: refused
    } cases[] = {
        {"[TARNBOLT 1]Q", 'Q'},
        {"[TARNBOLT1]Q", 'Q'},
        {"[TARNBOLT \r\n\t1]Q", 'Q'},
        {"[TARNBOLT 01]Q", 'Q'},
        {"[TARNBOLT 1]]", ']'},                  // any byte after the header is data
        {"[TARNBOLT 2]Q", -1},                   // another volume's number
        {"[TARNBOLT 0][DEFDIR=X][DFCHANGE=1]", -1},
        {"[TARNBOLT 1)Q", -1},
        {"[TARNBOLT 1", -1},
        {"[TARNBOLZ 1]Q", -1},
        {"", -1},
        {"garbage", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume1);
        CloseArchiveStreams();
        recordingHost.Install();
        install.volumeNumber = 0;
        WriteVolume(0, kHeader);
        WriteVolume(1, c.volume1, true);
        ASSERT_EQ(OpenFirstVolume(), 0);
        EXPECT_EQ(ReadArchiveByte(), c.firstByte);
        if (c.firstByte >= 0) {
            EXPECT_TRUE(recordingHost.prompts.empty());
            EXPECT_EQ(install.volumeNumber, 1);
        } else {
            // Told that the file is the wrong one, asked again, cancelled.
            ASSERT_EQ(recordingHost.prompts.size(), 1u);
            EXPECT_EQ(recordingHost.prompts[0], "File \"SETUP.E01\" is not disk number 1.\r\n"
                                                "Insert disk number 1 with file \"SETUP.E01\"\r\nin " +
                                                    source.string());
            EXPECT_TRUE(install.sourceExhausted);
            EXPECT_EQ(install.volumeStream, nullptr);
        }
        EXPECT_TRUE(recordingHost.errors.empty());
    }
}

TEST_F(ReaderTest, VolumeHoldingOnlyItsHeaderIsPassedOver)
{
    WriteVolume(0, kHeader);
    WriteVolume(1, "");
    WriteVolume(2, "Q");
    ASSERT_EQ(OpenFirstVolume(), 0);
    EXPECT_EQ(ReadArchiveByte(), 'Q');
    EXPECT_EQ(install.volumeNumber, 2);
    EXPECT_EQ(recordingHost.LastStatus(1), "Reading: SETUP.E02");
}

TEST_F(ReaderTest, MissingVolumeIsAskedForUntilRetryFindsIt)
{
    WriteVolume(0, std::string(kHeader) + "A");
    ASSERT_EQ(OpenFirstVolume(), 0);
    int asked = 0;
    recordingHost.onDiskPrompt = [&](const std::string&) {
        if (++asked == 2)
            WriteVolume(1, "B");   // the diskette is in now
        return 1;
    };
    EXPECT_EQ(ReadArchiveByte(), 'A');
    EXPECT_EQ(ReadArchiveByte(), 'B');
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(recordingHost.prompts[0], "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + source.string());
}

TEST_F(ReaderTest, WrongDisketteThenTheRightOne)
{
    WriteVolume(0, kHeader);
    WriteVolume(1, "[TARNBOLT 3]C", true);
    ASSERT_EQ(OpenFirstVolume(), 0);
    recordingHost.onDiskPrompt = [&](const std::string&) {
        WriteVolume(1, "D");
        return 1;
    };
    EXPECT_EQ(ReadArchiveByte(), 'D');
    EXPECT_EQ(recordingHost.prompts.size(), 1u);
}

TEST_F(ReaderTest, VolumeTenIsE0AAndCarriesTen)
{
    WriteVolume(0, kHeader);
    WriteVolume(10, "T");
    ASSERT_EQ(OpenFirstVolume(), 0);
    install.volumeNumber = 9;
    EXPECT_EQ(ReadArchiveByte(), 'T');
    EXPECT_EQ(install.volumeNumber, 10);
    EXPECT_EQ(recordingHost.LastStatus(1), "Reading: SETUP.E0A");
    ASSERT_TRUE(fs::exists(source / "SETUP.E0A"));
    EXPECT_EQ(ReadFile(source / "SETUP.E0A"), "[TARNBOLT 10]T");
}

TEST_F(ReaderTest, SingleVolumeNeverLooksForAnother)
{
    WriteVolume(0, Example205());
    WriteVolume(1, "[TARNBOLT 1]");   // would be noticed if opened
    ASSERT_EQ(OpenFirstVolume(), 0);
    std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
    ASSERT_TRUE(ExtractAll());
    ReadScript();
    EXPECT_EQ(install.volumeNumber, 0);
    EXPECT_TRUE(recordingHost.prompts.empty());
}

// Member records -------------------------------------------------------------

std::string MemberRecord(const std::string& path, std::uint32_t attributes = 0x20)
{
    return "[PRNAME=" + path + "]" + SizeBytes(attributes) + SizeBytes(STAMP_1997);
}

TEST_F(ReaderTest, DamagedMemberRecords)
{
    const char* cases[] = {
        " [PRNAME=A.TXT]",
        "PRNAME=A.TXT]",
        "[prname=A.TXT]",
        "[PRNAME",
        "[PRNAME=]",
        "[PRNAME=A.TXT",
        "[PRNAME=A.TXT]\x20\x21\x22",   // fewer than eight bytes
        "",                              // no record at all: cancelled prompt, no message
    };
    for (const char* c : cases) {
        SCOPED_TRACE(c);
        CloseArchiveStreams();
        recordingHost.Install();
        install.sourceExhausted = 0;
        install.volumeNumber = 0;
        OpenPayload(c);
        EXPECT_EQ(BeginMember(), -1);
        if (*c)
            EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{DAMAGED}));
        else
            EXPECT_TRUE(recordingHost.errors.empty());
        EXPECT_EQ(install.outputStream, nullptr);
    }
    EXPECT_EQ(Written(), (std::vector<std::string>{"dest", "src"}));
}

TEST_F(ReaderTest, MemberPathOf256BytesIsReadAnd257IsDamaged)
{
    // 256 bytes in components short enough for any file system.
    std::string path = std::string(99, 'p') + "\\" + std::string(99, 'p') + "\\" + std::string(56, 'q');
    ASSERT_EQ(path.size(), 256u);
    OpenPayload(MemberRecord(path) + SizeBytes(0));
    ASSERT_EQ(BeginMember(), 0);
    EXPECT_EQ(install.recordValue, path);
    ASSERT_EQ(DecodeMember(0), 0);

    CloseArchiveStreams();
    OpenPayload(MemberRecord(path + "r") + SizeBytes(0));
    EXPECT_EQ(BeginMember(), -1);
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{DAMAGED}));
}

TEST_F(ReaderTest, BracketEndsTheMemberPath)
{
    // The rest of the path is taken for the eight bytes that follow.
    OpenPayload("[PRNAME=A.TXT]X.TXT]" + SizeBytes(0) + "[");
    ASSERT_EQ(BeginMember(), 0);
    EXPECT_STREQ(install.recordValue, "A.TXT");
    EXPECT_EQ(install.memberAttributes, 0x58542E58u);   // "X.TX"
}

TEST_F(ReaderTest, SubdirectoriesAreMadeBelowTheDestination)
{
    OpenPayload(MemberRecord("DATA\\SUB\\X.DAT") + SizeBytes(0) + "[");
    ASSERT_EQ(BeginMember(), 0);
    EXPECT_EQ(recordingHost.LastStatus(2), "Extracting: X.DAT");
    EXPECT_EQ(recordingHost.madeDirectories,
              (std::vector<std::string>{(dest / "DATA").string(), (dest / "DATA" / "SUB").string()}));
    ASSERT_EQ(DecodeMember(0), 0);
    EXPECT_TRUE(fs::is_regular_file(dest / "DATA" / "SUB" / "X.DAT"));
    EXPECT_EQ(PercentsOrder(), "0 %,100 %");
}

TEST_F(ReaderTest, DestinationEndingWithASeparatorIsJoinedWithoutAnother)
{
    // As a drive root C:\ is: the member path follows the separator at once.
    OpenPayload(MemberRecord("DATA\\X.DAT") + SizeBytes(0) + "[");
    std::snprintf(install.destDir, sizeof install.destDir, "%s/", dest.c_str());
    ASSERT_EQ(BeginMember(), 0);
    EXPECT_EQ(install.outputPath, dest.string() + "/DATA/X.DAT");
    EXPECT_EQ(recordingHost.madeDirectories, (std::vector<std::string>{(dest / "DATA").string()}));
}

TEST_F(ReaderTest, ReadOnlyFileIsOverwrittenAndKeepsTheStoredAttributes)
{
    WriteFile(dest / "R.TXT", "old contents");
    fs::permissions(dest / "R.TXT", fs::perms::owner_read);
    OpenPayload(MemberRecord("R.TXT", 0x21) + SizeBytes(1) + "\xE6\x80" "[");
    ASSERT_EQ(BeginMember(), 0);
    EXPECT_EQ(recordingHost.clearedReadOnly, (std::vector<std::string>{(dest / "R.TXT").string()}));
    ASSERT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(ReadFile(dest / "R.TXT"), "A");
    EXPECT_EQ(fs::status(dest / "R.TXT").permissions() & fs::perms::owner_write, fs::perms::none);
}

// A read-only file that cannot be opened (another program holds it) stays
// as it was found: its contents and its read-only attribute.
TEST_F(ReaderTest, ReadOnlyFileThatCannotBeOpenedStaysReadOnly)
{
    WriteFile(dest / "R.TXT", "old contents");
    fs::permissions(dest / "R.TXT", fs::perms::owner_read);
    recordingHost.refuseOutput = true;
    OpenPayload(MemberRecord("R.TXT", 0x20) + SizeBytes(1) + "\xE6\x80" "[");
    EXPECT_EQ(BeginMember(), -1);
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{"ERROR:\r\nCannot open ouput file."}));
    EXPECT_EQ(recordingHost.clearedReadOnly, (std::vector<std::string>{(dest / "R.TXT").string()}));
    EXPECT_EQ(ReadFile(dest / "R.TXT"), "old contents");
    EXPECT_EQ(fs::status(dest / "R.TXT").permissions() & fs::perms::owner_write, fs::perms::none);

    // A file that was writable is not made read-only by a failed open.
    CloseArchiveStreams();
    recordingHost.Install();
    recordingHost.refuseOutput = true;
    WriteFile(dest / "W.TXT", "old contents");
    OpenPayload(MemberRecord("W.TXT", 0x20) + SizeBytes(1) + "\xE6\x80" "[");
    EXPECT_EQ(BeginMember(), -1);
    EXPECT_NE(fs::status(dest / "W.TXT").permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(recordingHost.attributedPaths.empty());
}

TEST_F(ReaderTest, PathEndingWithBackslashMakesItsDirectoryThenFailsToOpen)
{
    OpenPayload(MemberRecord("EMPTYDIR\\") + SizeBytes(0) + "[");
    EXPECT_EQ(BeginMember(), -1);
    EXPECT_TRUE(fs::is_directory(dest / "EMPTYDIR"));
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{"ERROR:\r\nCannot open ouput file."}));
}

TEST_F(ReaderTest, DirectoryThatCannotBeMade)
{
    recordingHost.refuseDirectories = true;
    OpenPayload(MemberRecord("NEW\\X.DAT") + SizeBytes(0) + "[");
    EXPECT_EQ(BeginMember(), -1);
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{"ERROR:\r\nCannot create directory."}));
}

TEST_F(ReaderTest, UnsafeMemberPathsAreRefusedBeforeAnythingIsMade)
{
    const char* refused[] = {
        "C:\\WINDOWS\\X.DLL", "C:X.DLL", "\\X.DLL", "/X.DLL", "..\\X.DLL", "DATA\\..\\..\\X.DLL",
        "DATA/../../X.DLL", "DATA\\..", "...\\X.DLL", ".. \\X.DLL", " ..\\X.DLL", "X.TXT:STREAM", "DATA\\C:X",
        // DOS devices: with or without an extension, any case, trailing dots
        // or blanks, as a directory too.
        "NUL.TXT", "DATA\\AUX", "COM1.DAT", "CON", "prn.log", "Lpt9", "NUL.", "AUX  ", "NUL .TXT", "COM9.A.B",
        "LPT1\\X.TXT", "DATA/CON/X", "COM\xB9", "COM\xB2", "lpt\xB3.log", "aux.txt",
    };
    for (const char* path : refused) {
        SCOPED_TRACE(path);
        CloseArchiveStreams();
        recordingHost.Install();
        OpenPayload(MemberRecord(path) + SizeBytes(0) + "[");
        EXPECT_EQ(BeginMember(), -1);
        ASSERT_EQ(recordingHost.errors.size(), 1u);
        EXPECT_EQ(recordingHost.errors[0], UNSAFE);
        EXPECT_TRUE(recordingHost.madeDirectories.empty());
        EXPECT_EQ(install.outputStream, nullptr);
    }
    EXPECT_EQ(Written(), (std::vector<std::string>{"dest", "src"}));

    const char* accepted[] = {"A..B.TXT", "..A\\.B", "DATA\\.\\X.TXT", "A B\\C.TXT", "CONSOLE.TXT", "NULL",
                              "XNUL.TXT", "AUX1", "COM0", "COM10.DAT", "LPT", "LPT.TXT", "CO.N", "DATA\\NULX\\A"};
    for (const char* path : accepted) {
        SCOPED_TRACE(path);
        CloseArchiveStreams();
        recordingHost.Install();
        OpenPayload(MemberRecord(path) + SizeBytes(0) + "[");
        EXPECT_EQ(BeginMember(), 0);
        EXPECT_EQ(DecodeMember(0), 0);
        EXPECT_TRUE(recordingHost.errors.empty());
    }
}

TEST_F(ReaderTest, LongDestinationAndLongMemberPathFit)
{
    // 511 characters of destination and 256 of member path: 768 in all.
    std::string deep = dest.string();
    while (deep.size() < 511)
        deep += "/" + std::string(std::min<std::size_t>(100, 511 - deep.size() - 1), 'd');
    ASSERT_EQ(deep.size(), 511u);
    std::string path = std::string(200, 'm') + "\\" + std::string(55, 'n');
    OpenPayload(MemberRecord(path) + SizeBytes(1) + "\xE6\x80" "[");
    std::snprintf(install.destDir, sizeof install.destDir, "%s", deep.c_str());
    ASSERT_EQ(CreateDirectoriesOnPath(install.destDir, 1), 0);
    ASSERT_EQ(BeginMember(), 0);
    EXPECT_EQ(std::strlen(install.outputPath), 768u);
    ASSERT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(ReadFile(deep + "/" + std::string(200, 'm') + "/" + std::string(55, 'n')), "A");
}

TEST_F(ReaderTest, MemberCutByTheLastVolumeEndFailsWithoutMessage)
{
    std::string a = Example205();
    WriteVolume(0, a.substr(0, 74));   // stream cut, no further volume
    ASSERT_EQ(OpenFirstVolume(), 0);
    std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
    EXPECT_FALSE(ExtractAll());
    EXPECT_EQ(recordingHost.prompts.size(), 1u);
    EXPECT_TRUE(recordingHost.errors.empty());
}

// Directory walk -------------------------------------------------------------

TEST_F(ReaderTest, DirectoryWalk)
{
    std::string d = dest.string();
    struct Case {
        std::string path;
        int throughLast;
        int result;
        std::vector<std::string> made;
    } cases[] = {
        {d + "/A/B/F.TXT", 0, 0, {d + "/A", d + "/A/B"}},
        {d + "/A/B/F.TXT", 0, 0, {}},                        // all there now
        {d + "/N/M", 1, 0, {d + "/N", d + "/N/M"}},
        {d + "//C/F.TXT", 0, 0, {d + "//C"}},                // empty component skipped
        {"F.TXT", 0, 0, {}},
        {"/F.TXT", 0, 0, {}},
        {d + "/" + std::string(OUTPUT_PATH_SIZE, 'x'), 0, -1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 80));
        recordingHost.madeDirectories.clear();
        EXPECT_EQ(CreateDirectoriesOnPath(c.path.c_str(), c.throughLast), c.result);
        EXPECT_EQ(recordingHost.madeDirectories, c.made);
    }
    EXPECT_FALSE(fs::exists(dest / "A" / "B" / "F.TXT"));
    EXPECT_TRUE(fs::is_directory(dest / "N" / "M"));
}

TEST_F(ReaderTest, DirectoryWalkStopsAtTheFirstFailure)
{
    recordingHost.refuseDirectories = true;
    std::string d = dest.string();
    EXPECT_EQ(CreateDirectoriesOnPath((d + "/A/B/F").c_str(), 0), -1);
    EXPECT_EQ(recordingHost.madeDirectories, (std::vector<std::string>{d + "/A"}));
}

// Install script -------------------------------------------------------------

TEST_F(ReaderTest, ScriptRecords)
{
    const std::string v256(256, 'v');
    struct Case {
        std::string bytes;
        int code;
        std::string value;   // recordValue afterwards
    } cases[] = {
        {"[GROUPNAME=Tools]", SCRIPT_GROUPNAME, "Tools"},
        {"[ITEMNAME=README.TXT,Read me]", SCRIPT_ITEMNAME, "README.TXT,Read me"},
        {"[PRGEXEC=NOTEPAD.EXE README.TXT]", SCRIPT_PRGEXEC, "NOTEPAD.EXE README.TXT"},
        {"[TARNBOLT=END]", SCRIPT_END, "before"},
        {"[GROUPNAME=" + v256 + "]", SCRIPT_GROUPNAME, v256},
        {"[GROUPNAME=" + v256 + "w]", SCRIPT_FAILED, ""},
        {"[GROUPNAME=]", SCRIPT_FAILED, ""},
        {"[groupname=Tools]", SCRIPT_FAILED, ""},
        {"[GROUPNAME Tools]", SCRIPT_FAILED, ""},
        {"[XTEMNAME=A]", SCRIPT_FAILED, ""},
        {"[TARNBOLT=EN]", SCRIPT_FAILED, ""},
        {"[TARNBOLT=END", SCRIPT_FAILED, ""},
        {"[TARNBOLT=ENDS]", SCRIPT_FAILED, ""},
        {"[PRGEXEC=A.EXE", SCRIPT_FAILED, ""},
        {" [GROUPNAME=Tools]", SCRIPT_FAILED, ""},
        {"\r\n[GROUPNAME=Tools]", SCRIPT_FAILED, ""},
        {"[", SCRIPT_FAILED, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        CloseArchiveStreams();
        recordingHost.Install();
        OpenPayload(c.bytes);
        std::snprintf(install.recordValue, sizeof install.recordValue, "before");
        EXPECT_EQ(ReadScriptRecord(), c.code);
        if (c.code == SCRIPT_FAILED) {
            EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{DAMAGED}));
        } else {
            EXPECT_EQ(install.recordValue, c.value);
            EXPECT_TRUE(recordingHost.errors.empty());
            EXPECT_EQ(std::getc(install.volumeStream), EOF);   // read to its "]" exactly
        }
    }
}

TEST_F(ReaderTest, ScriptRecordsFollowOneAnother)
{
    OpenPayload("[PRGEXEC=A]B][GROUPNAME=X] [TARNBOLT=END]");
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_PRGEXEC);
    EXPECT_STREQ(install.recordValue, "A");
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_FAILED);   // "B]" is no record
    EXPECT_EQ(recordingHost.errors.size(), 1u);
}

TEST_F(ReaderTest, BlankBetweenRecordsFails)
{
    OpenPayload("[GROUPNAME=X] [TARNBOLT=END]");
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_GROUPNAME);
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_FAILED);
}

TEST_F(ReaderTest, ScriptRecordAtAVolumeStart)
{
    WriteVolume(0, kHeader);
    WriteVolume(1, "[TARNBOLT=END]");
    ASSERT_EQ(OpenFirstVolume(), 0);
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_END);
    EXPECT_EQ(install.volumeNumber, 1);
}

TEST_F(ReaderTest, ScriptRecordCutByAVolumeEndFails)
{
    WriteVolume(0, std::string(kHeader) + "[GROUP");
    WriteVolume(1, "NAME=X]");
    ASSERT_EQ(OpenFirstVolume(), 0);
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_FAILED);
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{DAMAGED}));
    EXPECT_EQ(install.volumeNumber, 0);
}

TEST_F(ReaderTest, ScriptEndingEarlyAsksForAVolumeAndCancelIsSilent)
{
    OpenPayload("[GROUPNAME=X]");
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_GROUPNAME);
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_FAILED);
    EXPECT_EQ(recordingHost.prompts.size(), 1u);
    EXPECT_TRUE(recordingHost.errors.empty());
    EXPECT_TRUE(install.sourceExhausted);
    EXPECT_EQ(ReadScriptRecord(), SCRIPT_FAILED);   // no second prompt
    EXPECT_EQ(recordingHost.prompts.size(), 1u);
}

}  // namespace
