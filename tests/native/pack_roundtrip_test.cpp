// Round trips: archives made by the writer, read back by the installer's
// own reader and decoder (console host), in one volume, cut at random
// allowed points, at every allowed point, and at small volume sizes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "codec/member_encoder.h"
#include "packer/archive/whole_archive_reader.h"
#include "packer/archive/archive_writer.h"
#include "tests/native/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

// Text with repeats near and far, so that matches of every length and
// distance occur; long enough members run past the model's rebuilds.
Bytes SomeText(std::size_t n, unsigned seed)
{
    static const char* words[] = {"the ", "kit ", "installer ", "volume ", "member ", "stream ", "\r\n", "of ",
                                  "window ", "    ", "blank ", "Brevant ", "x", "y", "z", "0123456789"};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const char* w = words[rng() % 16];
        b.insert(b.end(), w, w + std::char_traits<char>::length(w));
        if (rng() % 7 == 0 && b.size() > 100) {   // copy an earlier stretch
            std::size_t len = 3 + rng() % 70, from = b.size() - 1 - rng() % std::min<std::size_t>(b.size() - 1, 2500);
            for (std::size_t k = 0; k < len && b.size() < n + 80; k++)
                b.push_back(b[from + k]);
        }
    }
    b.resize(n);
    return b;
}

class PackRoundTrip : public ::testing::Test {
protected:
    fs::path root, source, dest;

    void SetUp() override
    {
        root = MakeScratchDir("bvpack-test");
        source = root / "src";
        dest = root / "dest";
        fs::create_directory(source);
    }

    void TearDown() override
    {
        RemoveScratchDir(root);
    }

    static bv::ArchiveInput Members(const std::vector<std::pair<std::string, Bytes>>& files)
    {
        bv::ArchiveInput in;
        in.defaultDest = "C:\\KIT";
        std::uint32_t stamp = bv::MakeDosStamp(1997, 3, 15, 12, 30, 0);
        for (std::size_t i = 0; i < files.size(); i++) {
            bv::ArchiveMember m;
            m.path = files[i].first;
            m.data = files[i].second;
            m.attributes = bv::ATTR_ARCHIVE | (i % 3 == 1 ? std::uint32_t{bv::ATTR_READONLY} : 0u);
            m.dosStamp = stamp + static_cast<std::uint32_t>(i) * 0x10021u;   // a day and two seconds apart
            in.members.push_back(m);
        }
        in.script.group = "Kit";
        in.script.items = {"BIN\\TOOL.EXE,Tool, the first", "README.TXT"};
        in.script.program = "BIN\\TOOL.EXE /setup";
        return in;
    }

    void WriteVolumes(const std::vector<Bytes>& volumes)
    {
        fs::remove_all(source);
        fs::create_directory(source);
        std::string error;
        ASSERT_TRUE(bv::WriteVolumeFiles(source.string(), "SETUP", volumes, &error)) << error;
    }

    // Reads the volumes in source back and compares everything with the input.
    void ExpectSame(const bv::ArchiveInput& in, const std::string& label)
    {
        fs::remove_all(dest);
        fs::create_directory(dest);
        bv::ReadResult r = bv::ReadArchive(source.string(), "SETUP", dest.string(), true);
        ASSERT_TRUE(r.ok) << label << ": " << r.error;
        EXPECT_EQ(r.defaultDest, in.defaultDest) << label;
        EXPECT_EQ(r.allowChange, in.allowChange) << label;
        ASSERT_EQ(r.members.size(), in.members.size()) << label;
        for (std::size_t i = 0; i < in.members.size(); i++) {
            const bv::ArchiveMember& m = in.members[i];
            const bv::ReadMember& got = r.members[i];
            EXPECT_EQ(got.path, m.path) << label;
            EXPECT_EQ(got.size, m.data.size()) << label << " " << m.path;
            EXPECT_EQ(got.attributes, m.attributes) << label << " " << m.path;
            EXPECT_EQ(got.dosStamp, m.dosStamp) << label << " " << m.path;

            std::string rel = m.path;
            for (char& c : rel)
                if (c == '\\')
                    c = '/';
            fs::path file = dest / rel;
            std::ifstream f(file, std::ios::binary);
            Bytes data((std::istreambuf_iterator<char>(f)), {});
            EXPECT_TRUE(data == m.data) << label << ": contents of " << m.path;

            struct stat st {};
            ASSERT_EQ(stat(file.c_str(), &st), 0) << file;
            EXPECT_EQ((st.st_mode & S_IWUSR) == 0, (m.attributes & bv::ATTR_READONLY) != 0) << label << " " << m.path;
            std::tm t{};
            t.tm_sec = static_cast<int>(m.dosStamp & 0x1F) * 2;
            t.tm_min = static_cast<int>(m.dosStamp >> 5 & 0x3F);
            t.tm_hour = static_cast<int>(m.dosStamp >> 11 & 0x1F);
            t.tm_mday = static_cast<int>(m.dosStamp >> 16 & 0x1F);
            t.tm_mon = static_cast<int>(m.dosStamp >> 21 & 0x0F) - 1;
            t.tm_year = static_cast<int>(m.dosStamp >> 25) + 80;
            t.tm_isdst = -1;
            EXPECT_EQ(st.st_mtime, std::mktime(&t)) << label << " " << m.path;
        }
        std::vector<bv::ReadScriptEntry> script;
        script.push_back({SCRIPT_GROUPNAME, in.script.group});
        for (const std::string& item : in.script.items)
            script.push_back({SCRIPT_ITEMNAME, item});
        script.push_back({SCRIPT_PRGEXEC, in.script.program});
        ASSERT_EQ(r.script.size(), script.size()) << label;
        for (std::size_t i = 0; i < script.size(); i++) {
            EXPECT_EQ(r.script[i].code, script[i].code) << label;
            EXPECT_EQ(r.script[i].value, script[i].value) << label;
        }
    }
};

TEST_F(PackRoundTrip, ManySizesInOneVolumeAndCutAtRandom)
{
    Bytes leftovers(3000, 'Q');   // fills the window slots that a later member must not use
    Bytes blanksThenQ(2100, ' ');
    blanksThenQ.insert(blanksThenQ.end(), 100, 'Q');
    bv::ArchiveInput in = Members({
        {"EMPTY.DAT", {}},
        {"ONE.BIN", {0x41}},
        {"BIN\\TOOL.EXE", RandomBytes(40000, 1)},   // 40,000 literals: the model rebuilds
        {"WINDOW.TXT", SomeText(2048, 2)},
        {"WINDOW1.TXT", SomeText(2049, 3)},
        {"README.TXT", SomeText(150000, 4)},
        {"ZEROS.DAT", Bytes(200000, 0)},
        {"DOCS\\Q.TXT", leftovers},
        {"DOCS\\BLANKS.TXT", blanksThenQ},
        {"DOCS\\DEEP\\ER\\SMALL.TXT", SomeText(61, 5)},
    });

    bv::ArchivePayload payload;
    std::string error;
    ASSERT_TRUE(bv::BuildPayload(in, &payload, &error)) << error;

    std::vector<Bytes> volumes;
    ASSERT_TRUE(bv::SplitPayload(payload, bv::VOLUME_UNLIMITED, &volumes, &error)) << error;
    WriteVolumes(volumes);
    ExpectSame(in, "one volume");

    std::vector<std::uint64_t> allowed;
    for (std::uint64_t n = 0; n < payload.bytes.size(); n++)
        if (bv::IsAllowedCut(payload, n))
            allowed.push_back(n);
    for (unsigned seed = 1; seed <= 4; seed++) {
        std::mt19937 rng(seed);
        std::vector<std::uint64_t> cuts;
        for (std::uint64_t c : allowed)
            if (rng() % (allowed.size() / 60 + 1) == 0 && (c > 0 || cuts.empty()))
                cuts.push_back(c);
        ASSERT_TRUE(bv::SplitPayloadAt(payload, cuts, &volumes, &error)) << error;
        WriteVolumes(volumes);
        ExpectSame(in, "random cuts, seed " + std::to_string(seed) + ", " + std::to_string(volumes.size()) + " volumes");
    }

    // Diskette-like sizes that cut through the streams.
    for (std::uint64_t size : {std::uint64_t{65536}, std::uint64_t{4099}}) {
        ASSERT_TRUE(bv::SplitPayload(payload, size, &volumes, &error)) << error;
        WriteVolumes(volumes);
        ExpectSame(in, "volume size " + std::to_string(size));
    }
}

TEST_F(PackRoundTrip, EveryAllowedCutAtOnce)
{
    // Every continuation volume holds the smallest payload possible: one
    // stream byte, or one record with what must stay with it.
    bv::ArchiveInput in = Members({
        {"ONE.BIN", {0x41}},
        {"EMPTY.DAT", {}},
        {"A.TXT", SomeText(300, 6)},
        {"B.BIN", RandomBytes(40, 7)},
    });
    bv::ArchivePayload payload;
    std::string error;
    ASSERT_TRUE(bv::BuildPayload(in, &payload, &error)) << error;
    std::vector<std::uint64_t> cuts;
    for (std::uint64_t n = 1; n < payload.bytes.size(); n++)
        if (bv::IsAllowedCut(payload, n))
            cuts.push_back(n);
    std::vector<Bytes> volumes;
    ASSERT_TRUE(bv::SplitPayloadAt(payload, cuts, &volumes, &error)) << error;
    ASSERT_GT(volumes.size(), 100u);
    WriteVolumes(volumes);
    ExpectSame(in, "every cut");

    // The smallest volume size that holds the largest record.
    std::uint64_t smallest = 0;
    for (std::uint64_t size = 40; size < 200 && smallest == 0; size++)
        if (bv::SplitPayload(payload, size, &volumes, &error))
            smallest = size;
    ASSERT_NE(smallest, 0u);
    WriteVolumes(volumes);
    ExpectSame(in, "volume size " + std::to_string(smallest));
}

TEST_F(PackRoundTrip, GreedyParseAlsoDecodes)
{
    // Both parses produce streams that the installer decodes.
    Bytes text = SomeText(70000, 8);
    for (EncodeParse parse : {EncodeParse::Greedy, EncodeParse::Optimal}) {
        std::vector<std::uint8_t> stream = EncodeMember(text.data(), text.size(), parse);
        bv::ArchiveInput in = Members({{"README.TXT", text}});
        bv::ArchivePayload payload;
        std::string error;
        ASSERT_TRUE(bv::BuildPayload(in, &payload, &error)) << error;
        // Put this parse's stream in place of the writer's own.
        std::size_t at = 8 + in.members[0].path.size() + 1 + 12;
        std::uint64_t own = payload.cuts[1].last - payload.cuts[1].first;
        payload.bytes.erase(payload.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            payload.bytes.begin() + static_cast<std::ptrdiff_t>(at + own));
        payload.bytes.insert(payload.bytes.begin() + static_cast<std::ptrdiff_t>(at), stream.begin(), stream.end());
        std::vector<Bytes> volumes;
        ASSERT_TRUE(bv::SplitPayloadAt(payload, {}, &volumes, &error)) << error;
        WriteVolumes(volumes);
        ExpectSame(in, parse == EncodeParse::Greedy ? "greedy" : "optimal");
    }
}

}  // namespace
