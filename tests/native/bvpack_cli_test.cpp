// bvpack as a user runs it: create, list, test and extract, exit codes.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/native/run_command.h"
#include "tests/native/scratch_dir.h"
#include "tests/native/scratch_files.h"
#include "tests/native/stand_in_program.h"

namespace {

namespace fs = std::filesystem;
using scratch_files::Noise;
using scratch_files::Read;
using scratch_files::Write;

using Outcome = CommandOutcome;

class BvpackCli : public ::testing::Test {
protected:
    fs::path root, src, out;

    void SetUp() override
    {
        root = MakeScratchDir("bvpack-cli");
        src = root / "src";
        out = root / "out";
        fs::create_directories(src / "DOCS");
        Write(src / "README.TXT", "Read me first.\r\n");
        Write(src / "DOCS" / "GUIDE.TXT", Text(50000));
        Write(src / "EMPTY.DAT", "");
        fs::permissions(src / "DOCS" / "GUIDE.TXT", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        struct utimbuf t = {852000000, 858429000};   // 1997-03-15 in most zones
        utime((src / "README.TXT").c_str(), &t);
    }

    void TearDown() override
    {
        RemoveScratchDir(root);
    }

    static std::string Text(std::size_t n)
    {
        std::mt19937 rng(5);
        std::string s;
        while (s.size() < n)
            s += "line " + std::to_string(rng() % 500) + " of the guide\r\n";
        return s;
    }

    // redirect: where the output goes; by default both streams are read.
    // env: assignments put before the command, e.g. SOURCE_DATE_EPOCH=0.
    // Releases get no installer unless a test gives one (BVPACK_INSTALLER:
    // the installer chosen when none is given).
    Outcome Bvpack(const std::string& args, const char* redirect = " 2>&1", const std::string& env = "")
    {
        std::string chosen = env.find("BVPACK_INSTALLER=") == std::string::npos ? "BVPACK_INSTALLER=none " : "";
        return RunCommand(chosen + env + " " + std::string(BVPACK_PATH) + " " + args, redirect);
    }

    // A stand-in installer of that size: a 32-bit Windows GUI program's
    // headers, then filler.
    static std::string Program(std::size_t size, char filler = 'i') { return StandInProgram(size, filler); }

    std::string Src() const { return src.string(); }
    std::string Out() const { return (out / "setup").string(); }
};

TEST_F(BvpackCli, CreateListTestExtract)
{
    Write(root / "fake-installer.exe", Program(1024));
    Outcome r = Bvpack("create " + Src() + " --out " + Out() + " --dest 'D:\\APPS\\KIT' --locked --group Kit"
                   " --item 'README.TXT,Read me' --run 'NOTEPAD.EXE README.TXT' --installer " +
                   (root / "fake-installer.exe").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(out / "SETUP.E00"));
    EXPECT_EQ(Read(out / "SETUP.EXE"), Program(1024));

    r = Bvpack("list " + Out());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("destination D:\\APPS\\KIT (locked)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("R--A  DOCS\\GUIDE.TXT"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("         0  "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1997-03-15"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("item    README.TXT,Read me"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("run     NOTEPAD.EXE README.TXT"), std::string::npos) << r.out;

    r = Bvpack("test " + (out / "SETUP.E00").string());
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("OK: 3 members"), std::string::npos) << r.out;

    r = Bvpack("extract " + Out() + " --to " + (root / "x").string());
    ASSERT_EQ(r.code, 0) << r.out;
    for (const char* name : {"README.TXT", "DOCS/GUIDE.TXT", "EMPTY.DAT"}) {
        EXPECT_EQ(Read(root / "x" / name), Read(src / name)) << name;
        struct stat a {}, b {};
        ASSERT_EQ(stat((root / "x" / name).c_str(), &a), 0);
        ASSERT_EQ(stat((src / name).c_str(), &b), 0);
        EXPECT_LE(a.st_mtime - b.st_mtime + 1, 2) << name;   // DOS stamps count two-second steps
        EXPECT_EQ(a.st_mode & 0222, b.st_mode & 0222) << name;
    }
}

TEST_F(BvpackCli, OutputInsideTheSourceIsNotPackedAgain)
{
    const std::string inside = (src / "dist" / "SETUP").string();
    Write(root / "fake-installer.exe", Program(1024));
    for (int round = 0; round < 2; round++) {
        Outcome r = Bvpack("create " + Src() + " --out " + inside + " --installer " + (root / "fake-installer.exe").string());
        ASSERT_EQ(r.code, 0) << r.out;
        EXPECT_NE(r.out.find("3 members"), std::string::npos) << r.out;
    }
}

TEST_F(BvpackCli, DisketteVolumes)
{
    Write(src / "NOISE.BIN", Noise(900000, 9));
    Outcome r = Bvpack("create " + Src() + " --out " + Out() + " --volume 360K");
    ASSERT_EQ(r.code, 0) << r.out;
    int volumes = 0;
    for (int n = 0; fs::exists(out / ("SETUP.E0" + std::to_string(n))); n++, volumes++)
        EXPECT_LE(fs::file_size(out / ("SETUP.E0" + std::to_string(n))), 362496u);
    EXPECT_EQ(volumes, 3);
    r = Bvpack("test " + Out());
    EXPECT_EQ(r.code, 0) << r.out;

    // Packing again into one volume leaves no volume of the old set behind.
    fs::copy_file(out / "SETUP.E01", root / "SETUP.E01");
    r = Bvpack("create " + Src() + " --out " + Out());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(out / "SETUP.E00"));
    EXPECT_FALSE(fs::exists(out / "SETUP.E01"));
    EXPECT_FALSE(fs::exists(out / "SETUP.E02"));
    // A volume of an older release that the last one did not write is no
    // longer the release's: in the way, and left as it is.
    fs::copy_file(root / "SETUP.E01", out / "SETUP.E01");
    r = Bvpack("create " + Src() + " --out " + Out() + " --volume 360K");
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_NE(r.out.find("SETUP.E01 is in the way"), std::string::npos) << r.out;
    EXPECT_EQ(Read(out / "SETUP.E01"), Read(root / "SETUP.E01"));
    fs::remove(out / "SETUP.E01");
    r = Bvpack("create " + Src() + " --out " + Out() + " --volume 360K");
    ASSERT_EQ(r.code, 0) << r.out;

    // A missing volume is damage, named with its volume.
    fs::remove(out / "SETUP.E01");
    r = Bvpack("test " + Out());
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("SETUP.E01"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("NOISE.BIN"), std::string::npos) << r.out;
}

// A list saved with DOS line ends names the same files.
TEST_F(BvpackCli, ListFileWithDosLineEnds)
{
    Write(root / "files.lst", "DOCS/GUIDE.TXT\r\nREADME.TXT\r\n\r\n");
    Outcome r = Bvpack("create " + Src() + " --out " + Out() + " --list " + (root / "files.lst").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("2 members"), std::string::npos) << r.out;
    r = Bvpack("list " + Out());
    ASSERT_EQ(r.code, 0) << r.out;
    std::size_t guide = r.out.find("  DOCS\\GUIDE.TXT\n"), readme = r.out.find("  README.TXT\n");
    ASSERT_NE(guide, std::string::npos) << r.out;
    ASSERT_NE(readme, std::string::npos) << r.out;
    EXPECT_LT(guide, readme);   // in the list's order
    EXPECT_EQ(r.out.find("EMPTY.DAT"), std::string::npos) << r.out;
}

// A small tree whose archive is pinned: text over several parse blocks,
// noise long enough for the model's first rebuild, a table with matches at
// many distances, an empty and a read-only file, names in mixed case. Files
// are written in the order given, so two trees can differ in that order.
void WriteFixedTree(const fs::path& dir, bool reversed, std::time_t mtime, const std::string& guide)
{
    std::string noise, table;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 40000; i++) {
        seed = seed * 1103515245u + 12345u;
        noise += static_cast<char>(seed >> 16);
    }
    for (int i = 0; i < 3000; i++) {
        const unsigned char record[8] = {static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8), 0, 0,
                                         static_cast<unsigned char>(i % 7), 0x55, 0xAA, static_cast<unsigned char>(i % 13)};
        table.append(reinterpret_cast<const char*>(record), sizeof record);
    }
    struct Entry {
        const char* path;
        std::string bytes;
    };
    std::vector<Entry> files = {
        {"README.TXT", "Read me first.\r\n"},
        {"DOCS/GUIDE.TXT", guide},
        {"DATA/NOISE.BIN", noise},
        {"DATA/TABLE.BIN", table},
        {"EMPTY.DAT", ""},
        {"lower.txt", "lower case\r\n"},
        {"DATA/RO.DAT", "read only\r\n"},
    };
    if (reversed)
        std::reverse(files.begin(), files.end());
    for (const Entry& e : files) {
        fs::create_directories((dir / e.path).parent_path());
        std::ofstream(dir / e.path, std::ios::binary) << e.bytes;
        struct utimbuf t = {mtime, mtime};
        utime((dir / e.path).c_str(), &t);
    }
    fs::permissions(dir / "DATA/RO.DAT", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

std::uint64_t Fnv1a(const std::string& bytes)
{
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// Any change of the archive's bytes (encoder, order, attributes, stamps)
// shows here and must be a conscious one: update the figures with it.
TEST_F(BvpackCli, FixedTreeUnderSourceDateEpochPacksToPinnedBytes)
{
    const std::uint64_t kPinnedSize = 52357;
    const std::uint64_t kPinnedHash = 0xae3afd0c4d7eaf83ull;
    // 1997-03-15 12:30:01 UTC; the host's zone must not matter.
    const std::string epoch = "TZ=XYZ-2 SOURCE_DATE_EPOCH=858429001";
    // Two checkouts: files written in another order, at other (later) times.
    WriteFixedTree(root / "a", false, std::time(nullptr), Text(30000));
    WriteFixedTree(root / "b", true, std::time(nullptr) - 100000, Text(30000));
    for (const char* tree : {"a", "b"}) {
        Outcome r = Bvpack("create " + (root / tree).string() + " --out " + (root / tree).string() + "-out/KIT", " 2>&1", epoch);
        ASSERT_EQ(r.code, 0) << r.out;
    }
    const std::string a = Read(root / "a-out" / "KIT.E00"), b = Read(root / "b-out" / "KIT.E00");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.size(), kPinnedSize);
    EXPECT_EQ(Fnv1a(a), kPinnedHash) << std::hex << Fnv1a(a);

    // Members in byte order of their paths, every stamp the epoch in UTC.
    Outcome r = Bvpack("list " + (root / "a-out" / "KIT").string());
    ASSERT_EQ(r.code, 0) << r.out;
    const char* order[] = {"---A  DATA\\NOISE.BIN", "R--A  DATA\\RO.DAT", "---A  DATA\\TABLE.BIN",
                           "---A  DOCS\\GUIDE.TXT", "---A  EMPTY.DAT",   "---A  README.TXT",
                           "---A  lower.txt"};
    std::size_t at = 0;
    for (const char* line : order) {
        std::size_t found = r.out.find(std::string("1997-03-15 12:30:00  ") + line + "\n", at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << r.out;
        at = found;
    }
}

TEST_F(BvpackCli, StampsOutsideTheDosRangeAreStoredAtItsEndsWithAWarning)
{
    struct Case {
        const char* env;
        std::time_t mtime;
        const char* stored;
        const char* warns;   // nullptr: no warning
    };
    const Case cases[] = {
        {"TZ=UTC0", 170848800, "1980-01-01 00:00:00", "OLD.TXT: time 1975-06-01 10:00:00 (local time) is before 1980"},
        {"TZ=UTC0 SOURCE_DATE_EPOCH=0", 946684800, "1980-01-01 00:00:00",
         "OLD.TXT: time 1970-01-01 00:00:00 (UTC, SOURCE_DATE_EPOCH) is before 1980"},
        {"TZ=UTC0", 4354819200, "2107-12-31 23:59:58", "OLD.TXT: time 2108-01-01 00:00:00 (local time) is after 2107"},
        {"TZ=UTC0 SOURCE_DATE_EPOCH=946684800", 858429001, "1997-03-15 12:30:00", nullptr},
    };
    for (const Case& c : cases) {
        fs::path tree = root / "range";
        fs::remove_all(tree);
        fs::create_directories(tree);
        Write(tree / "OLD.TXT", "old");
        struct utimbuf t = {c.mtime, c.mtime};
        utime((tree / "OLD.TXT").c_str(), &t);
        Outcome r = Bvpack("create " + tree.string() + " --out " + Out(), " 2>&1", c.env);
        ASSERT_EQ(r.code, 0) << c.env << "\n" << r.out;
        if (c.warns) {
            EXPECT_NE(r.out.find(std::string("bvpack: warning: ") + tree.string() + "/" + c.warns), std::string::npos)
                << c.env << "\n" << r.out;
        } else {
            EXPECT_EQ(r.out.find("warning"), std::string::npos) << c.env << "\n" << r.out;
        }
        r = Bvpack("list " + Out());
        EXPECT_NE(r.out.find(std::string(c.stored) + "  ---A  OLD.TXT"), std::string::npos) << c.env << "\n" << r.out;
    }
}

// A 360K release with an installer, a disk-1 file and images: every
// image is a sound FAT12 diskette with its label and exactly its planned
// files, which are the volumes and files beside it, stamps kept.
TEST_F(BvpackCli, DisketteImages)
{
    Write(src / "NOISE.BIN", Noise(900000, 10));
    Write(root / "fake-installer.exe", Program(100000));
    Write(root / "liesmich.txt", "Lies mich.\r\n");
    struct utimbuf t = {852000000, 858429000};
    utime((root / "liesmich.txt").c_str(), &t);
    const std::string release = Out() + " --installer " + (root / "fake-installer.exe").string() + " --disk1 " +
                                (root / "liesmich.txt").string();
    Outcome r = Bvpack("create " + Src() + " --out " + release + " --volume 360K --images");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("3 diskettes of 360K (354 clusters of 1024 bytes, 112 root entries each)"), std::string::npos)
        << r.out;
    // Disk 1 gives volume 0 what the installer (98 clusters) and the
    // readme (1) leave: 255 clusters.
    EXPECT_LE(fs::file_size(out / "SETUP.E00"), 255u * 1024);
    EXPECT_GT(fs::file_size(out / "SETUP.E00"), 254u * 1024);
    EXPECT_EQ(fs::file_size(out / "SETUP.E01"), 362496u);
    EXPECT_FALSE(fs::exists(out / "SETUP.E03"));
    EXPECT_FALSE(fs::exists(out / "DISK4.IMG"));
    const std::vector<std::vector<std::string>> planned = {
        {"SETUP.EXE", "LIESMICH.TXT", "SETUP.E00"}, {"SETUP.E01"}, {"SETUP.E02"}};
    for (std::size_t n = 0; n < planned.size(); n++) {
        const std::string image = (out / ("DISK" + std::to_string(n + 1) + ".IMG")).string();
        SCOPED_TRACE(image);
        ASSERT_EQ(fs::file_size(image), 368640u);
        Outcome check = RunCommand(FsckFat(image));
        EXPECT_EQ(check.code, 0) << check.out;
        Outcome dir = RunCommand(Mtool("mdir -i " + image + " ::"));
        ASSERT_EQ(dir.code, 0) << dir.out;
        EXPECT_NE(dir.out.find("Volume in drive : is DISK" + std::to_string(n + 1)), std::string::npos) << dir.out;
        Outcome bare = RunCommand(Mtool("mdir -b -i " + image + " ::"));
        std::string expected;
        for (const std::string& name : planned[n])
            expected += "::/" + name + "\n";
        EXPECT_EQ(bare.out, expected);
        fs::path copy = root / ("disk" + std::to_string(n + 1));
        fs::create_directories(copy);
        Outcome taken = RunCommand(Mtool("mcopy -m -i " + image + " '::*' " + copy.string()));
        ASSERT_EQ(taken.code, 0) << taken.out;
        for (const std::string& name : planned[n]) {
            EXPECT_EQ(Read(copy / name), Read(out / name)) << name;
            struct stat a {}, b {};
            ASSERT_EQ(stat((copy / name).c_str(), &a), 0);
            ASSERT_EQ(stat((out / name).c_str(), &b), 0);
            EXPECT_LE(a.st_mtime - b.st_mtime + 1, 2) << name;
        }
    }
    EXPECT_EQ(Read(out / "LIESMICH.TXT"), "Lies mich.\r\n");
    EXPECT_NE(RunCommand(Mtool("mdir -i " + (out / "DISK1.IMG").string() + " ::LIESMICH.TXT")).out.find("1997-03-15"),
              std::string::npos);

    // list finds the kind and the disk-1 file on the images.
    r = Bvpack("list " + Out());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("disk 1 (DISK1): 354 of 354 clusters used, 0 free (0 bytes)\n"
                         "  SETUP.EXE        100000 bytes     98 clusters\n"
                         "  LIESMICH.TXT         12 bytes      1 clusters\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("disk 3 (DISK3): "), std::string::npos) << r.out;
    // Given a kind, list plans the set on it: the 360K volumes fit 720K
    // diskettes; volumes made for 1.44M do not fit 360K ones.
    r = Bvpack("list " + Out() + " --volume 720K --disk1 " + (root / "liesmich.txt").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("3 diskettes of 720K"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("DOES NOT FIT"), std::string::npos) << r.out;

    // A shorter set leaves no image of the longer one; no images, none at all.
    r = Bvpack("create " + Src() + " --out " + release + " --volume 1.44M --images");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(out / "DISK1.IMG"));
    EXPECT_FALSE(fs::exists(out / "DISK2.IMG"));
    EXPECT_EQ(fs::file_size(out / "DISK1.IMG"), 1474560u);
    r = Bvpack("list " + Out() + " --volume 360K");
    EXPECT_NE(r.out.find("DOES NOT FIT by"), std::string::npos) << r.out;
    r = Bvpack("create " + Src() + " --out " + release + " --volume 720K");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_FALSE(fs::exists(out / "DISK1.IMG"));
}

TEST_F(BvpackCli, ExitCodes)
{
    Write(src / "BAD]NAME", "x");
    struct Case {
        std::string args;
        int code;
        std::string says;
        std::string env = "";
    };
    fs::create_directories(root / "ok");
    fs::create_directories(root / "empty");
    Write(root / "ok" / "A.TXT", "a");
    const std::string ok = (root / "ok").string();
    fs::create_directories(root / "device");
    Write(root / "device" / "NUL.TXT", "lost on Windows");
    const std::string big = (root / "BIG.EXE").string(), half = (root / "HALF.EXE").string();
    Write(big, Program(362496 - 1023, 'b'));   // leaves less than a cluster of 360K
    Write(half, Program(1457664 / 2, 'h'));
    Write(root / "HALF2", std::string(1457664 / 2 + 1, 'h'));
    Write(root / "read-me.text", "r");
    Write(root / "setup.e01", "s");
    const Case cases[] = {
        {"", 2, "Usage: bvpack"},
        {"--help", 0, "Exit codes"},
        {"frob", 2, "unknown command"},
        {"create " + ok, 2, "--out"},
        {"create " + ok + " --out " + Out() + " --bogus", 2, "unknown option"},
        {"create " + ok + " --out " + Out() + " --volume 3.5M", 2, "--volume"},
        {"create " + ok + " --out " + Out() + " --volume 0", 2, "--volume"},
        {"create " + ok + " --out " + Out() + " --item A.TXT", 2, "needs a group"},
        {"create " + ok + " --out " + Out() + " --volume 30", 2, "no room after"},
        {"create " + ok + " --out " + Out() + " --volume 45", 2, "is too small: the end-of-files record"},
        {"create " + ok + " --out " + Out() + " --images", 2, "--images needs a diskette kind"},
        {"create " + ok + " --out " + Out() + " --volume 8000 --images", 2, "--images needs a diskette kind"},
        {"create " + ok + " --out " + Out() + " --volume one --images", 2, "--images needs a diskette kind"},
        {"create " + ok + " --out " + Out() + " --volume 360K --installer " + big + " --images", 2,
         "disk 1 files SETUP.EXE need 354 of the 354 clusters of a 360K diskette: no room is left for SETUP.E00"},
        {"create " + ok + " --out " + Out() + " --volume 1.2M --disk1 " + half + " --disk1 " + half, 2,
         "as " + half + " does"},
        {"create " + ok + " --out " + Out() + " --volume 1.44M --installer " + half + " --disk1 " + (root / "HALF2").string(),
         2, "disk 1 files SETUP.EXE, HALF2 need 2848 of the 2847 clusters"},
        {"create " + ok + " --out " + Out() + " --volume 360K --disk1 " + (root / "read-me.text").string(), 2,
         "\"READ-ME.TEXT\" is not a DOS 8.3 file name"},
        {"create " + ok + " --out " + Out() + " --disk1 " + (root / "setup.e01").string(), 2,
         "would take the name of the installer or a volume"},
        {"create " + ok + " --out " + Out() + " --volume 360K --installer " + (root / "none.exe").string(), 3,
         "cannot read"},
        {"create " + ok + " --out " + (out / "INSTALLER").string() + " --volume 720K", 2, "DOS name of 1 to 8"},
        {"create " + ok + " --out " + (out / "NAMEOFSIXTEENCHR").string(), 2, "1 to 15"},
        {"create " + Src() + " --out " + Out(), 2, "\"]\""},
        {"create " + (root / "device").string() + " --out " + Out(), 2, "DOS device"},
        {"create " + (root / "none").string() + " --out " + Out(), 3, "source folder " + (root / "none").string() + " not found"},
        {"create " + half + " --out " + Out(), 2, half + " is a file; create packs a folder"},
        {"create " + ok + " --out " + Out() + " --list " + ok, 2, "the list " + ok + " is a folder"},
        {"create " + ok + " --out " + Out() + " --dest C:\\A --dest C:\\B", 2, "--dest given twice"},
        {"create " + ok + " --out " + Out() + " --volume 360K --volume 1.44M", 2, "--volume given twice"},
        {"create " + ok + " --out " + Out() + " --quiet --quiet", 2, "--quiet given twice"},
        {"list " + Out() + " --volume 360K --volume 720K", 2, "--volume given twice"},
        {"build " + root.string(), 2, root.string() + " is a folder; build takes the project file in it"},
        {"build " + (root / "ok").string() + " " + (root / "ok").string(), 2, "more than one PROJECT.INI"},
        {"create " + ok + " --out " + (out / "CON").string(), 2, "names a DOS device"},
        {"create " + ok + " --out '" + (out / "A*B").string() + "'", 2, "cannot hold"},
        {"create " + ok + " --out '" + (out / "MY APP ").string() + "'", 2, "blank"},
        {"create " + ok + " --out '" + (out / "MY APP").string() + "' --volume 360K", 2, "DOS name of 1 to 8"},
        {"create " + ok + " --out " + Out() + " --codepage 99999", 2, "--codepage needs"},
        {"create " + (root / "empty").string() + " --out " + Out(), 2, "no files to pack"},
        {"list " + (root / "none" / "SETUP").string(), 3, "Cannot open"},
        {"test", 2, "needs"},
        {"create " + ok + " --out " + Out(), 2, "SOURCE_DATE_EPOCH \"yesterday\"", "SOURCE_DATE_EPOCH=yesterday"},
        {"create " + ok + " --out " + Out(), 2, "SOURCE_DATE_EPOCH \"-1\"", "SOURCE_DATE_EPOCH=-1"},
    };
    for (const Case& c : cases) {
        Outcome r = Bvpack(c.args, " 2>&1", c.env);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(out / "SETUP.E00"));   // refused input leaves no volume
    Outcome missing = RunCommand("BVPACK_INSTALLER=none PATH=/nonexistent " + std::string(BVPACK_PATH) + " create " + ok +
                                 " --out " + Out() + " --volume 360K --images");
    EXPECT_EQ(missing.code, 3) << missing.out;
    EXPECT_NE(missing.out.find("diskette images need mformat, mcopy, mdir from mtools, not found on PATH"),
              std::string::npos)
        << missing.out;
    // Nothing at all is written for refused input.
    std::error_code ec;
    EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out, ec));

    // A volume that is not an archive.
    fs::create_directories(out);
    Write(out / "SETUP.E00", "[TARNBOLT 1][DEFDIR=C:\\X][DFCHANGE=1]");
    Outcome r = Bvpack("test " + Out());
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("Invalid file type"), std::string::npos) << r.out;
}

// Writes a project file and what it names below root/p.
class BvpackBuild : public BvpackCli {
protected:
    fs::path Project(const std::string& text)
    {
        fs::create_directories(root / "p" / "sub");
        Write(root / "p" / "A.TXT", "a");
        Write(root / "p" / "sub" / "a.txt", "a again");
        Write(root / "p" / "BAD]NAME", "b");
        Write(root / "p" / "BIG.EXE", Program(362496 - 1023, 'b'));   // leaves less than a cluster of 360K
        Write(root / "p" / "read-me.text", "r");
        Write(root / "p" / "\xC5\x82.TXT", "l with stroke");
        Write(root / "p" / "PROJECT.INI", text);
        return root / "p" / "PROJECT.INI";
    }
};

TEST_F(BvpackBuild, RefusedProjectsNameTheLineAndWriteNothing)
{
    const std::string setup = "[Setup]\nName = SETUP\nOutput = out\n";
    struct Case {
        const char* what;
        std::string text;
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"missing file", setup + "[Files]\nSource = A.TXT\nSource = NONE.TXT\n", 6, "not found"},
        {"wildcard matching nothing", setup + "[Files]\nSource = *.XYZ\n", 5, "nothing matches"},
        {"member path the archive cannot hold", setup + "[Files]\nSource = A.TXT\nSource = BAD]NAME\n", 6, "\"]\""},
        {"member in a folder that cannot be", setup + "[Files]\nSource = A.TXT => C:\n", 5, "\":\""},
        {"duplicate member", setup + "[Files]\nSource = A.TXT\nSource = sub/a.txt\n", 6, "occurs twice"},
        {"unknown key", setup + "Colour = red\n", 4, "unknown key \"Colour\""},
        {"group item naming no member", setup + "[Files]\nSource = A.TXT\n[Group]\nName = G\nItem = B.TXT,B\n", 8,
         "names no member"},
        {"item without a group", setup + "[Files]\nSource = A.TXT\n[Group]\nItem = A.TXT\n", 7, "needs a group"},
        {"program name over the installer's limit", "[Setup]\nName = NAMEOFSIXTEENCHR\n", 2, "1 to 15"},
        {"program to run that the archive cannot hold", setup + "[Run]\nProgram = A]\n", 5, "\"]\""},
        {"images without a diskette kind", setup + "VolumeSize = 8000\nImages = yes\n", 5,
         "Images needs a diskette kind"},
        {"volume size too small for any record", setup + "VolumeSize = 30\n[Files]\nSource = A.TXT\n", 4,
         "no room after"},
        {"installer leaving no room on disk 1", setup + "Diskette = 360K\nInstaller = BIG.EXE\n", 4,
         "no room is left for SETUP.E00"},
        {"disk-1 file without a DOS name", setup + "Diskette = 360K\nDiskOneFile = sub/a.txt\nDiskOneFile = read-me.text\n",
         6, "\"READ-ME.TEXT\" is not a DOS 8.3 file name"},
        {"first disk-1 file without a DOS name", setup + "Diskette = 360K\nDiskOneFile = read-me.text\n"
         "DiskOneFile = sub/a.txt\n", 5, "\"READ-ME.TEXT\" is not a DOS 8.3 file name"},
        {"name with a path", "[Setup]\nName = ../EVIL\nOutput = out\n", 2, "not a path"},
        {"name of a device", "[Setup]\nName = CON\nOutput = out\n", 2, "DOS device"},
        {"a name's wildcard", "[Setup]\nName = A*B\nOutput = out\n", 2, "cannot hold"},
        {"member name outside the code page", setup + "CodePage = 1252\n[Files]\nSource = A.TXT\nSource = \xC5\x82.TXT\n",
         7, "has \"\xC5\x82\", which code page 1252 lacks"},
    };
    for (const Case& c : cases) {
        fs::path project = Project(c.text);
        Outcome r = Bvpack("build " + project.string());
        EXPECT_EQ(r.code, 2) << c.what << "\n" << r.out;
        const std::string where = project.string() + ":" + std::to_string(c.line) + ": ";
        EXPECT_NE(r.out.find("bvpack: " + where), std::string::npos) << c.what << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.what << "\n" << r.out;
        EXPECT_FALSE(fs::exists(root / "p" / "out")) << c.what;
    }
    Outcome r = Bvpack("build " + (root / "none.ini").string());
    EXPECT_EQ(r.code, 3) << r.out;
    r = Bvpack("build");
    EXPECT_EQ(r.code, 2) << r.out;
    // An empty [Files]: nothing to install.
    fs::path project = Project(setup + "[Files]\n");
    r = Bvpack("build " + project.string());
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_EQ(r.out, "bvpack: " + project.string() + ": [Files] names no file to pack\n");
    EXPECT_FALSE(fs::exists(root / "p" / "out"));
}

// What the installer may stumble on but need not is packed, with a warning
// naming it; what only a diskette needs is not asked of other releases.
TEST_F(BvpackBuild, WarningsAndWhatOnlyDiskettesNeed)
{
    const std::string setup = "[Setup]\nName = SETUP\nOutput = out\n";
    const std::string deep = std::string(120, 'D') + "/" + std::string(120, 'E');
    fs::create_directories(root / "p" / deep);
    struct Case {
        const char* what;
        std::string text;
        std::string says;   // empty: no warning
    };
    const Case cases[] = {
        {"program that is no member", setup + "[Files]\nSource = A.TXT\n[Run]\nProgram = NOPE.EXE /Q\n",
         "PROJECT.INI:7: the program to run, NOPE.EXE, is no member of the archive"},
        {"program that is a member, in any case", setup + "[Files]\nSource = A.TXT\n[Run]\nProgram = a.txt /Q\n", ""},
        // 3 + 9 + 1 + 247 characters; one fewer is what Windows takes.
        {"path too long under the destination", setup + "Destination = C:\\" + std::string(9, 'L') +
         "\n[Files]\nSource = A.TXT\nSource = D*\n",
         "PROJECT.INI:7: the longest member path, " + std::string(120, 'D') + "\\" + std::string(120, 'E') +
         "\\Z.TXT, is 260 characters long under C:\\LLLLLLLLL; Windows takes at most 259"},
        {"path just short enough", setup + "Destination = C:\\" + std::string(8, 'L') +
         "\n[Files]\nSource = A.TXT\nSource = D*\n", ""},
        {"long disk-1 name without a diskette", setup + "DiskOneFile = read-me.text\n[Files]\nSource = A.TXT\n", ""},
    };
    Write(root / "p" / deep / "Z.TXT", "z");
    for (const Case& c : cases) {
        fs::remove_all(root / "p" / "out");
        fs::path project = Project(c.text);
        Outcome r = Bvpack("build " + project.string(), " 2>&1 >/dev/null");
        EXPECT_EQ(r.code, 0) << c.what << "\n" << r.out;
        if (!c.says.empty()) {
            EXPECT_NE(r.out.find("bvpack: warning: " + (root / "p").string() + "/" + c.says), std::string::npos)
                << c.what << "\n" << r.out;
            // --quiet shows errors alone.
            r = Bvpack("build " + project.string() + " --quiet");
            EXPECT_EQ(r.code, 0) << c.what << "\n" << r.out;
            EXPECT_EQ(r.out, "") << c.what;
        } else {
            EXPECT_EQ(r.out.find("warning"), std::string::npos) << c.what << "\n" << r.out;
        }
        EXPECT_TRUE(fs::exists(root / "p" / "out" / "SETUP.E00")) << c.what;
    }
}

// The bundled sample's project file and the create command line that the
// demo used before make the same volumes.
TEST_F(BvpackBuild, SampleProjectMakesTheCreateArchive)
{
    const fs::path sample = fs::path(BV_SOURCE_DIR) / "sample";
    fs::create_directories(root / "sample");
    fs::copy_file(sample / "SAMPLE.INI", root / "sample" / "SAMPLE.INI");
    fs::copy(sample / "product", root / "sample" / "product", fs::copy_options::recursive);
    const std::string program = Noise(20000, 3);
    fs::create_directories(root / "build" / "win32" / "sample");
    fs::create_directories(root / "build" / "win32" / "installer");
    Write(root / "build" / "win32" / "sample" / "HELLO.EXE", program);
    Write(root / "build" / "win32" / "installer" / "bvunpack.exe", Program(1024));

    // The tree as create wants it, with the same times.
    const fs::path stage = root / "stage";
    fs::copy(root / "sample" / "product", stage, fs::copy_options::recursive);
    fs::copy_file(root / "build" / "win32" / "sample" / "HELLO.EXE", stage / "HELLO.EXE");
    for (auto& e : fs::recursive_directory_iterator(stage))
        if (e.is_regular_file()) {
            fs::path rel = fs::relative(e.path(), stage);
            fs::path from = rel == "HELLO.EXE" ? root / "build" / "win32" / "sample" / "HELLO.EXE"
                                               : root / "sample" / "product" / rel;
            fs::last_write_time(e.path(), fs::last_write_time(from));
        }

    Outcome r = Bvpack("build " + (root / "sample" / "SAMPLE.INI").string());
    ASSERT_EQ(r.code, 0) << r.out;
    r = Bvpack("create " + stage.string() + " --out " + (root / "cmp" / "SETUP").string() +
               " --dest 'C:\\SAMPLE' --volume 8000 --group 'Brevant Sample' --item 'HELLO.EXE,Hello'"
               " --item 'README.TXT,Read me' --run HELLO.EXE --installer " +
               (root / "build" / "win32" / "installer" / "bvunpack.exe").string());
    ASSERT_EQ(r.code, 0) << r.out;
    const fs::path kit = root / "build" / "demo" / "kit";
    std::size_t files = 0;
    for (auto& e : fs::directory_iterator(root / "cmp")) {
        EXPECT_EQ(Read(kit / e.path().filename()), Read(e.path())) << e.path().filename();
        files++;
    }
    EXPECT_GE(files, 4u);   // three or more volumes and the installer
    EXPECT_EQ(std::distance(fs::directory_iterator(kit), fs::directory_iterator()), static_cast<long>(files));
}

// A project's Diskette, Images, DiskOneFile and Installer make the release
// that the same create options make: the same volumes, disk-1 files and
// images. The images' directory entries carry the times the label and the
// volumes were written at, so their time fields are not compared.
TEST_F(BvpackBuild, DisketteProjectMakesTheCreateRelease)
{
    Write(src / "NOISE.BIN", Noise(600000, 11));
    Write(root / "fake-installer.exe", Program(50002));
    Write(root / "liesmich.txt", "Lies mich.\r\n");
    Write(root / "PROJECT.INI", "[Setup]\nName = SETUP\nDiskette = 360K\nImages = yes\nDiskOneFile = liesmich.txt\n"
                                "Installer = fake-installer.exe\nOutput = built\n[Files]\nSource = src/*\n");
    Outcome r = Bvpack("build " + (root / "PROJECT.INI").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("2 diskettes of 360K"), std::string::npos) << r.out;
    r = Bvpack("create " + Src() + " --out " + Out() + " --volume 360K --images --disk1 " +
               (root / "liesmich.txt").string() + " --installer " + (root / "fake-installer.exe").string());
    ASSERT_EQ(r.code, 0) << r.out;

    // The 360K root directory: 112 entries after the boot sector and two
    // FATs of two sectors; times and dates lie at 14 to 25 in an entry.
    auto withoutTimes = [](std::string image) {
        for (std::size_t entry = (1 + 2 * 2) * 512; entry < (1 + 2 * 2) * 512 + 112 * 32; entry += 32)
            image.replace(entry + 14, 12, 12, '\0');
        return image;
    };
    // The manifests differ only in the images' checksums.
    auto withoutImages = [](const std::string& manifest) {
        std::string kept, line;
        std::istringstream in(manifest);
        while (std::getline(in, line))
            if (line.find(".IMG") == std::string::npos)
                kept += line + "\n";
        return kept;
    };
    std::vector<std::string> made;
    for (auto& e : fs::directory_iterator(out)) {
        const std::string name = e.path().filename().string();
        made.push_back(name);
        std::string a = Read(root / "built" / name), b = Read(e.path());
        if (name == "bvpack.manifest") {
            a = withoutImages(a);
            b = withoutImages(b);
        }
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".IMG") == 0) {
            ASSERT_EQ(a.size(), 368640u) << name;
            ASSERT_EQ(b.size(), 368640u) << name;
            a = withoutTimes(a);
            b = withoutTimes(b);
        }
        EXPECT_TRUE(a == b) << name;
    }
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"DISK1.IMG", "DISK2.IMG", "LIESMICH.TXT", "SETUP.E00", "SETUP.E01",
                                              "SETUP.EXE", "bvpack.manifest"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "built"), fs::directory_iterator()),
              static_cast<long>(made.size()));
}

// The summary's figures: members, bytes in, the volumes' bytes in all, and
// their share of the bytes in; one member is "1 member".
TEST_F(BvpackCli, SummaryFigures)
{
    fs::create_directories(root / "one");
    Write(root / "one" / "NOISE.BIN", Noise(20000, 4) + std::string(30000, 'z'));
    Outcome r = Bvpack("create " + (root / "one").string() + " --out " + Out() + " --volume 8000", " 2>&1 >/dev/null");
    ASSERT_EQ(r.code, 0) << r.out;
    std::uint64_t volumeBytes = 0;
    unsigned volumes = 0;
    for (; fs::exists(out / ("SETUP.E0" + std::to_string(volumes))); volumes++)
        volumeBytes += fs::file_size(out / ("SETUP.E0" + std::to_string(volumes)));
    ASSERT_GT(volumes, 1u);
    char expected[200];
    std::snprintf(expected, sizeof expected, "%s: 1 member, 50000 bytes packed into %llu bytes in %u volumes (%.1f%%)\n",
                  (out / "SETUP.E00").string().c_str(), static_cast<unsigned long long>(volumeBytes), volumes,
                  100.0 * static_cast<double>(volumeBytes) / 50000);
    EXPECT_EQ(r.out, expected);
    r = Bvpack("test " + Out(), " 2>&1 >/dev/null");
    EXPECT_EQ(r.out, "OK: 1 member, 50000 bytes, " + std::to_string(volumes) + " volumes; checksums match " +
                         (out / "bvpack.manifest").string() + "\n");
    r = Bvpack("extract " + Out() + " --to " + (root / "x").string(), " 2>&1 >/dev/null");
    EXPECT_EQ(r.out, "1 member, 50000 bytes extracted to " + (root / "x").string() + "\n");
}

// Names go into the archive in the installer's code page (Windows-1252
// unless named otherwise) and come back in the host's encoding.
TEST_F(BvpackCli, NamesInTheInstallersCodePage)
{
    const std::string utf8 = "LC_ALL=C.UTF-8";   // the host's names in UTF-8
    const fs::path tree = root / "names";
    fs::create_directories(tree / "Gr\xC3\xB6\xC3\x9F" "e");
    Write(tree / "caf\xC3\xA9.txt", "coffee");
    Write(tree / "Gr\xC3\xB6\xC3\x9F" "e" / "\xC3\xBC" "ber.txt", "over");
    const std::string options = " --dest 'C:\\Programme\\Gr\xC3\xB6\xC3\x9F" "e' --group 'Caf\xC3\xA9' --item "
                                "'caf\xC3\xA9.txt,Men\xC3\xBC' --run 'caf\xC3\xA9.txt /\xC3\x9F'";
    Outcome r = Bvpack("create " + tree.string() + " --out " + Out() + options, " 2>&1", utf8);
    ASSERT_EQ(r.code, 0) << r.out;
    // Windows-1252: e9 é, f6 ö, df ß, fc ü.
    const std::string volume = Read(out / "SETUP.E00");
    for (const char* stored : {"[DEFDIR=C:\\Programme\\Gr\xF6\xDF" "e]", "[PRNAME=caf\xE9.txt]",
                               "[PRNAME=Gr\xF6\xDF" "e\\\xFC" "ber.txt]", "[GROUPNAME=Caf\xE9]",
                               "[ITEMNAME=caf\xE9.txt,Men\xFC]", "[PRGEXEC=caf\xE9.txt /\xDF]"})
        EXPECT_NE(volume.find(stored), std::string::npos) << stored;

    r = Bvpack("list " + Out(), " 2>/dev/null", utf8);
    ASSERT_EQ(r.code, 0) << r.out;
    for (const char* shown : {"destination C:\\Programme\\Gr\xC3\xB6\xC3\x9F" "e (may be changed)\n",
                              "  caf\xC3\xA9.txt\n", "  Gr\xC3\xB6\xC3\x9F" "e\\\xC3\xBC" "ber.txt\n",
                              "group   Caf\xC3\xA9\n", "item    caf\xC3\xA9.txt,Men\xC3\xBC\n",
                              "run     caf\xC3\xA9.txt /\xC3\x9F\n"})
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << "\n" << r.out;

    r = Bvpack("extract " + Out() + " --to " + (root / "x").string(), " 2>&1", utf8);
    ASSERT_EQ(r.code, 0) << r.out;
    RunCommand("cd " + (root / "x").string() + " && find . | sort >" + (root / "x.files").string());
    RunCommand("cd " + tree.string() + " && find . | sort >" + (root / "tree.files").string());
    EXPECT_EQ(Read(root / "x.files"), Read(root / "tree.files"));
    EXPECT_EQ(Read(root / "x" / "Gr\xC3\xB6\xC3\x9F" "e" / "\xC3\xBC" "ber.txt"), "over");

    // A character the code page lacks is refused, named with its file; in
    // a code page that has it, it is stored.
    Write(tree / "\xC5\x82.txt", "l with stroke");
    r = Bvpack("create " + tree.string() + " --out " + Out(), " 2>&1", utf8);
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_NE(r.out.find("the name of " + (tree / "\xC5\x82.txt").string() + " has \"\xC5\x82\", which code page 1252 lacks"),
              std::string::npos)
        << r.out;
    r = Bvpack("create " + tree.string() + " --out " + Out() + " --codepage 1250", " 2>&1", utf8);
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(Read(out / "SETUP.E00").find("[PRNAME=\xB3.txt]"), std::string::npos);
    r = Bvpack("list " + Out() + " --codepage 1250", " 2>/dev/null", utf8);
    EXPECT_NE(r.out.find("  \xC5\x82.txt\n"), std::string::npos) << r.out;
    // A name that becomes a device in the code page: COM and superscript two.
    fs::remove(tree / "\xC5\x82.txt");
    Write(tree / "COM\xC2\xB2", "port");
    r = Bvpack("create " + tree.string() + " --out " + Out(), " 2>&1", utf8);
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_NE(r.out.find("DOS device"), std::string::npos) << r.out;
}

// Standard error that is no terminal gets the summary alone; --quiet
// silences it.
TEST_F(BvpackCli, SummaryOnlyWhenNotATerminal)
{
    struct Case {
        std::string args;
        const char* summary;
    };
    const Case cases[] = {
        {"create " + Src() + " --out " + Out(), "3 members, "},
        {"create " + Src() + " --out " + Out() + " --volume 360K --images", "3 members, "},
        {"test " + Out(), "OK: 3 members, "},
        {"extract " + Out() + " --to " + (root / "x").string(), "3 members, "},
    };
    for (const Case& c : cases) {
        Outcome r = Bvpack(c.args, " 2>&1 >/dev/null");
        ASSERT_EQ(r.code, 0) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.summary), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find('\r'), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.back(), '\n') << c.args;

        r = Bvpack(c.args + " --quiet");
        EXPECT_EQ(r.code, 0) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

// On a terminal the progress line comes first, redrawn in place, and the
// summary replaces it.
TEST_F(BvpackCli, ProgressOnATerminal)
{
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("BVPACK_INSTALLER", "none", 1);
        execl(BVPACK_PATH, BVPACK_PATH, "create", Src().c_str(), "--out", Out().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string shown;
    char buf[4096];
    for (ssize_t n; (n = read(terminal, buf, sizeof buf)) > 0;)
        shown.append(buf, static_cast<std::size_t>(n));
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    // The first progress line is drawn at once, whatever the speed.
    EXPECT_EQ(shown.rfind("\rreading 0/3 files, 0.0 KiB  DOCS\\GUIDE.TXT", 0), 0u) << shown;
    std::size_t summary = shown.find("3 members, ");
    ASSERT_NE(summary, std::string::npos) << shown;
    std::size_t lineStart = shown.rfind('\r', summary);
    EXPECT_EQ(shown.substr(lineStart + 1, summary - lineStart - 1), (out / "SETUP.E00").string() + ": ") << shown;
    EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n");   // the terminal's line end
}

}  // namespace
