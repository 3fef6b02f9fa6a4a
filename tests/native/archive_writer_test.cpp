// Archive writer: the exact bytes of a small archive, volume cuts, and the
// inputs that the format cannot hold.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "packer/archive/archive_writer.h"
#include "tests/native/scratch_dir.h"

namespace {

using bv::ArchiveInput;
using bv::ArchiveMember;
using bv::ArchivePayload;

using Bytes = std::vector<std::uint8_t>;

Bytes B(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// README.TXT (abc, archive) and DATA\EMPTY.DAT (empty, read-only and
// archive), stamped 1997-03-15 12:30:00; group Tools with one item.
ArchiveInput WorkedExample()
{
    ArchiveInput in;
    in.defaultDest = "C:\\TOOLS";
    in.allowChange = true;
    std::uint32_t stamp = bv::MakeDosStamp(1997, 3, 15, 12, 30, 0);
    in.members.push_back({"README.TXT", B("abc"), bv::ATTR_ARCHIVE, stamp});
    in.members.push_back({"DATA\\EMPTY.DAT", {}, bv::ATTR_ARCHIVE | bv::ATTR_READONLY, stamp});
    in.script.group = "Tools";
    in.script.items.push_back("README.TXT,Read me");
    return in;
}

const Bytes kWorkedExample = Cat({
    B("[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1]"),
    B("[PRNAME=README.TXT]"),
    {0x20, 0x00, 0x00, 0x00, 0xC0, 0x63, 0x6F, 0x22, 0x03, 0x00, 0x00, 0x00},
    {0xF6, 0xFB, 0xBD, 0xE0},
    B("[PRNAME=DATA\\EMPTY.DAT]"),
    {0x21, 0x00, 0x00, 0x00, 0xC0, 0x63, 0x6F, 0x22, 0x00, 0x00, 0x00, 0x00},
    B("[PRNAME=TARNBOLT_END_FILE_SECTION]"),
    B("[GROUPNAME=Tools]"),
    B("[ITEMNAME=README.TXT,Read me]"),
    B("[TARNBOLT=END]"),
});

TEST(ArchiveWriter, WorkedExampleByteForByte)
{
    ASSERT_EQ(kWorkedExample.size(), 205u);
    std::vector<Bytes> volumes;
    std::string error;
    ASSERT_TRUE(bv::WriteArchive(WorkedExample(), bv::VOLUME_UNLIMITED, &volumes, &error)) << error;
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0], kWorkedExample);
}

TEST(ArchiveWriter, WorkedExampleCutInsideTheStream)
{
    // Volume 0 holds file bytes 0-73: the payload is cut after its 33rd byte,
    // two bytes into the stream.
    ArchivePayload payload;
    std::string error;
    ASSERT_TRUE(bv::BuildPayload(WorkedExample(), &payload, &error)) << error;
    std::vector<Bytes> volumes;
    ASSERT_TRUE(bv::SplitPayloadAt(payload, {33}, &volumes, &error)) << error;
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0], Bytes(kWorkedExample.begin(), kWorkedExample.begin() + 74));
    EXPECT_EQ(volumes[1], Cat({B("[TARNBOLT 1]"), Bytes(kWorkedExample.begin() + 74, kWorkedExample.end())}));

    // Inside the eight bytes after the record: refused.
    EXPECT_FALSE(bv::SplitPayloadAt(payload, {22}, &volumes, &error));
    EXPECT_NE(error.find("22"), std::string::npos) << error;
}

TEST(ArchiveWriter, AllowedCutsOfTheWorkedExample)
{
    ArchivePayload payload;
    std::string error;
    ASSERT_TRUE(bv::BuildPayload(WorkedExample(), &payload, &error)) << error;
    // Payload offsets (file offset - 41) where a volume may end: before each
    // record, anywhere around the stream bytes.
    std::vector<std::uint64_t> expected = {0, 31, 32, 33, 34, 35, 70, 104, 121, 150, 164};
    std::vector<std::uint64_t> allowed;
    for (std::uint64_t n = 0; n <= payload.bytes.size(); n++)
        if (bv::IsAllowedCut(payload, n))
            allowed.push_back(n);
    EXPECT_EQ(allowed, expected);
}

TEST(ArchiveWriter, VolumeSizes)
{
    ArchivePayload payload;
    std::string error;
    ASSERT_TRUE(bv::BuildPayload(WorkedExample(), &payload, &error)) << error;
    std::vector<Bytes> volumes;

    // 74 bytes: volume 0 ends inside the stream as in the worked example.
    ASSERT_TRUE(bv::SplitPayload(payload, 74, &volumes, &error)) << error;
    ASSERT_EQ(volumes.size(), 4u);
    EXPECT_EQ(volumes[0].size(), 74u);
    EXPECT_EQ(volumes[1], Cat({B("[TARNBOLT 1]"), Bytes(kWorkedExample.begin() + 74, kWorkedExample.begin() + 111)}));
    EXPECT_EQ(volumes[2], Cat({B("[TARNBOLT 2]"), Bytes(kWorkedExample.begin() + 111, kWorkedExample.begin() + 162)}));
    EXPECT_EQ(volumes[3], Cat({B("[TARNBOLT 3]"), Bytes(kWorkedExample.begin() + 162, kWorkedExample.end())}));
    for (const Bytes& v : volumes)
        EXPECT_LE(v.size(), 74u);

    // The header alone plus less than the first record: volume 0 holds only
    // its header, which is allowed; the record then goes into volume 1.
    ASSERT_TRUE(bv::SplitPayload(payload, 50, &volumes, &error)) << error;
    EXPECT_EQ(volumes[0], B("[TARNBOLT 0][DEFDIR=C:\\TOOLS][DFCHANGE=1]"));
    for (std::size_t n = 1; n < volumes.size(); n++) {
        EXPECT_GT(volumes[n].size(), std::string("[TARNBOLT " + std::to_string(n) + "]").size());
        EXPECT_LE(volumes[n].size(), 50u);
    }

    // A record larger than a volume cannot be stored.
    EXPECT_FALSE(bv::SplitPayload(payload, 45, &volumes, &error));
    EXPECT_NE(error.find("DATA\\EMPTY.DAT"), std::string::npos) << error;
    EXPECT_TRUE(volumes.empty());
    EXPECT_FALSE(bv::SplitPayload(payload, 41, &volumes, &error));
    EXPECT_NE(error.find("header"), std::string::npos) << error;
}

// The worked example with README.TXT replaced by size bytes of noise, whose
// stream begins at payload offset 31 and hardly shrinks.
ArchivePayload NoisePayload(std::size_t size)
{
    ArchiveInput in = WorkedExample();
    std::mt19937 rng(3);
    in.members[0].data.resize(size);
    for (std::uint8_t& b : in.members[0].data)
        b = static_cast<std::uint8_t>(rng());
    ArchivePayload payload;
    std::string error;
    EXPECT_TRUE(bv::BuildPayload(in, &payload, &error)) << error;
    return payload;
}

// Cuts for a volume 0 that ends inside the stream, then count one-byte
// volumes, then the rest.
std::vector<std::uint64_t> OneByteVolumes(std::size_t count)
{
    std::vector<std::uint64_t> cuts;
    for (std::uint64_t c = 40; c <= 40 + count; c++)
        cuts.push_back(c);
    return cuts;
}

TEST(ArchiveWriter, ContinuationHeadersCarryTheirNumber)
{
    ArchivePayload payload = NoisePayload(3000);
    std::string error;
    std::vector<std::uint64_t> cuts = OneByteVolumes(11);
    std::vector<Bytes> volumes;
    ASSERT_TRUE(bv::SplitPayloadAt(payload, cuts, &volumes, &error)) << error;
    ASSERT_EQ(volumes.size(), 13u);
    EXPECT_EQ(std::string(volumes[10].begin(), volumes[10].begin() + 13), "[TARNBOLT 10]");
    EXPECT_EQ(volumes[10].size(), 14u);
    EXPECT_EQ(bv::VolumeFileName("SETUP", 10), "SETUP.E0A");
    EXPECT_EQ(bv::VolumeFileName("SETUP", 255), "SETUP.EFF");

    // Only the first volume may be empty.
    EXPECT_TRUE(bv::SplitPayloadAt(payload, {0, 40}, &volumes, &error)) << error;
    EXPECT_FALSE(bv::SplitPayloadAt(payload, {40, 40}, &volumes, &error));
    EXPECT_FALSE(bv::SplitPayloadAt(payload, {payload.bytes.size()}, &volumes, &error));
}

// NAME.E00 to NAME.EFF: 256 volumes are written, a 257th is refused.
TEST(ArchiveWriter, AtMost256Volumes)
{
    ArchivePayload payload = NoisePayload(3000);
    std::string error;
    std::vector<std::uint64_t> cuts = OneByteVolumes(254);
    std::vector<Bytes> volumes;
    ASSERT_TRUE(bv::SplitPayloadAt(payload, cuts, &volumes, &error)) << error;
    ASSERT_EQ(volumes.size(), 256u);
    EXPECT_EQ(std::string(volumes[255].begin(), volumes[255].begin() + 14), "[TARNBOLT 255]");

    const std::filesystem::path dir = MakeScratchDir("writer-volumes");
    ASSERT_TRUE(bv::WriteVolumeFiles(dir.string(), "SETUP", volumes, &error)) << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 256);
    EXPECT_TRUE(std::filesystem::exists(dir / "SETUP.EFF"));
    RemoveScratchDir(dir);

    cuts.push_back(40 + 255);
    EXPECT_FALSE(bv::SplitPayloadAt(payload, cuts, &volumes, &error));
    EXPECT_NE(error.find("256"), std::string::npos) << error;
    EXPECT_TRUE(volumes.empty());
    // Volumes so small that the stream needs more than 256 of them.
    payload = NoisePayload(12000);
    EXPECT_FALSE(bv::SplitPayload(payload, 50, &volumes, &error));
    EXPECT_NE(error.find("256"), std::string::npos) << error;
    EXPECT_TRUE(volumes.empty());
}

TEST(ArchiveWriter, LockedDestinationAndProgramRun)
{
    ArchiveInput in;
    in.defaultDest = "D:\\APP";
    in.allowChange = false;
    in.script.program = "NOTEPAD.EXE README.TXT";
    std::vector<Bytes> volumes;
    std::string error;
    ASSERT_TRUE(bv::WriteArchive(in, bv::VOLUME_UNLIMITED, &volumes, &error)) << error;
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0], B("[TARNBOLT 0][DEFDIR=D:\\APP][DFCHANGE=0][PRNAME=TARNBOLT_END_FILE_SECTION]"
                            "[PRGEXEC=NOTEPAD.EXE README.TXT]"));
}

TEST(ArchiveWriter, RefusesWhatTheFormatCannotHold)
{
    struct Case {
        const char* name;
        void (*change)(ArchiveInput&);
        const char* mentions;
    };
    const Case cases[] = {
        {"path with ]", [](ArchiveInput& in) { in.members[0].path = "A]B.TXT"; }, "]"},
        {"path of 257 bytes", [](ArchiveInput& in) { in.members[0].path = std::string(257, 'A'); }, "256"},
        {"reserved path", [](ArchiveInput& in) { in.members[0].path = "TARNBOLT_END_FILE_SECTION"; }, "reserved"},
        {"empty path", [](ArchiveInput& in) { in.members[0].path = ""; }, "empty"},
        {"drive", [](ArchiveInput& in) { in.members[0].path = "C:EVIL.TXT"; }, ":"},
        {"leading backslash", [](ArchiveInput& in) { in.members[0].path = "\\WINDOWS\\X.DLL"; }, "slash"},
        {"leading slash", [](ArchiveInput& in) { in.members[0].path = "/etc/x"; }, "slash"},
        {"dot-dot", [](ArchiveInput& in) { in.members[0].path = "DATA\\..\\..\\X.TXT"; }, ".."},
        {"dot-dot alone", [](ArchiveInput& in) { in.members[0].path = ".."; }, ".."},
        {"trailing dots", [](ArchiveInput& in) { in.members[0].path = "DATA\\...\\X"; }, "dot"},
        {"trailing blank", [](ArchiveInput& in) { in.members[0].path = "DATA \\X.TXT"; }, "blank"},
        {"trailing blank of the file", [](ArchiveInput& in) { in.members[0].path = "X.TXT "; }, "blank"},
        {"less than", [](ArchiveInput& in) { in.members[0].path = "A<B.TXT"; }, "cannot hold"},
        {"greater than", [](ArchiveInput& in) { in.members[0].path = "A>B.TXT"; }, "cannot hold"},
        {"double quote", [](ArchiveInput& in) { in.members[0].path = "A\"B.TXT"; }, "cannot hold"},
        {"bar", [](ArchiveInput& in) { in.members[0].path = "DATA\\A|B"; }, "cannot hold"},
        {"question mark", [](ArchiveInput& in) { in.members[0].path = "A?.TXT"; }, "cannot hold"},
        {"asterisk", [](ArchiveInput& in) { in.members[0].path = "*.TXT"; }, "cannot hold"},
        {"control character", [](ArchiveInput& in) { in.members[0].path = "A\tB.TXT"; }, "cannot hold"},
        {"device with extension", [](ArchiveInput& in) { in.members[0].path = "NUL.TXT"; }, "device"},
        {"device as directory", [](ArchiveInput& in) { in.members[0].path = "DATA\\AUX\\X.TXT"; }, "device"},
        {"device, lower case", [](ArchiveInput& in) { in.members[0].path = "com1.dat"; }, "device"},
        {"device with trailing dot", [](ArchiveInput& in) { in.members[0].path = "CON."; }, "device"},
        {"device with blank before the dot", [](ArchiveInput& in) { in.members[0].path = "LPT9 .LOG"; }, "device"},
        {"printer", [](ArchiveInput& in) { in.members[0].path = "PRN"; }, "device"},
        {"forward slash", [](ArchiveInput& in) { in.members[0].path = "DATA/X.TXT"; }, "/"},
        {"empty component", [](ArchiveInput& in) { in.members[0].path = "DATA\\\\X.TXT"; }, "empty"},
        {"trailing backslash", [](ArchiveInput& in) { in.members[0].path = "DATA\\"; }, "empty"},
        {"duplicate ignoring case", [](ArchiveInput& in) { in.members[1].path = "readme.txt"; }, "twice"},
        {"file and directory", [](ArchiveInput& in) { in.members[1].path = "README.TXT\\X"; }, "directory"},
        {"empty destination", [](ArchiveInput& in) { in.defaultDest = ""; }, "empty"},
        {"destination of 512 bytes", [](ArchiveInput& in) { in.defaultDest = "C:\\" + std::string(509, 'D'); }, "511"},
        {"destination with ]", [](ArchiveInput& in) { in.defaultDest = "C:\\A]"; }, "]"},
        {"item without group", [](ArchiveInput& in) { in.script.group.clear(); }, "group"},
        {"group with ]", [](ArchiveInput& in) { in.script.group = "T]"; }, "]"},
        {"group of 257 bytes", [](ArchiveInput& in) { in.script.group = std::string(257, 'G'); }, "256"},
        {"empty item", [](ArchiveInput& in) { in.script.items.push_back(""); }, "empty"},
        {"item without command", [](ArchiveInput& in) { in.script.items.push_back(",Title"); }, "command"},
        {"program of 257 bytes", [](ArchiveInput& in) { in.script.program = std::string(257, 'P'); }, "256"},
        {"program with ]", [](ArchiveInput& in) { in.script.program = "RUN]"; }, "]"},
    };
    for (const Case& c : cases) {
        ArchiveInput in = WorkedExample();
        c.change(in);
        std::vector<Bytes> volumes;
        std::string error;
        EXPECT_FALSE(bv::WriteArchive(in, bv::VOLUME_UNLIMITED, &volumes, &error)) << c.name;
        EXPECT_TRUE(volumes.empty()) << c.name;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.name << ": " << error;
    }

    // The limits themselves are accepted.
    ArchiveInput in = WorkedExample();
    in.members[0].path = std::string(256, 'A');
    in.defaultDest = "C:\\" + std::string(508, 'D');
    in.script.group = std::string(256, 'G');
    in.script.items.push_back(std::string(256, 'I'));
    in.script.program = std::string(256, 'P');
    std::vector<Bytes> volumes;
    std::string error;
    EXPECT_TRUE(bv::WriteArchive(in, bv::VOLUME_UNLIMITED, &volumes, &error)) << error;

    // Names that only resemble devices are files like any other.
    for (const char* path : {"CONSOLE.TXT", "NULL", "XNUL.TXT", "COM0", "COM10.DAT", "LPT.TXT", "DATA\\AUXX\\A"}) {
        in = WorkedExample();
        in.members[0].path = path;
        EXPECT_TRUE(bv::WriteArchive(in, bv::VOLUME_UNLIMITED, &volumes, &error)) << path << ": " << error;
    }
}

TEST(ArchiveWriter, DosStamps)
{
    EXPECT_EQ(bv::MakeDosStamp(1997, 3, 15, 12, 30, 0), 0x226F63C0u);
    EXPECT_EQ(bv::MakeDosStamp(1970, 6, 1, 10, 0, 0), bv::MakeDosStamp(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(bv::MakeDosStamp(2200, 1, 1, 0, 0, 0), bv::MakeDosStamp(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(bv::MakeDosStamp(2024, 2, 29, 23, 59, 59) & 0x1F, 29u);   // two-second steps
}

}  // namespace
