// bvpack as a user runs it: create, list, test and extract, exit codes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "tests/native/run_command.h"
#include "tests/native/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

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

    static std::string Noise(std::size_t n, unsigned seed)
    {
        std::mt19937 rng(seed);
        std::string s(n, '\0');
        for (char& c : s)
            c = static_cast<char>(rng());
        return s;
    }

    static void Write(const fs::path& p, const std::string& bytes)
    {
        std::ofstream(p, std::ios::binary) << bytes;
    }

    static std::string Read(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    Outcome Bvpack(const std::string& args)
    {
        return RunCommand(std::string(BVPACK_PATH) + " " + args);
    }

    std::string Src() const { return src.string(); }
    std::string Out() const { return (out / "setup").string(); }
};

TEST_F(BvpackCli, CreateListTestExtract)
{
    Write(root / "fake-installer.exe", "MZ");
    Outcome r = Bvpack("create " + Src() + " --out " + Out() + " --dest 'D:\\APPS\\KIT' --locked --group Kit"
                   " --item 'README.TXT,Read me' --run 'NOTEPAD.EXE README.TXT' --installer " +
                   (root / "fake-installer.exe").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(out / "SETUP.E00"));
    EXPECT_EQ(Read(out / "SETUP.EXE"), "MZ");

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
    Write(root / "fake-installer.exe", "MZ");
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
    fs::copy_file(root / "SETUP.E01", out / "SETUP.E01");
    r = Bvpack("create " + Src() + " --out " + Out() + " --volume 360K");
    ASSERT_EQ(r.code, 0) << r.out;

    // A missing volume is damage, named with its volume.
    fs::remove(out / "SETUP.E01");
    r = Bvpack("test " + Out());
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("SETUP.E01"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("NOISE.BIN"), std::string::npos) << r.out;
}

// A 360K release with an installer, a disk-1 file and images: every
// image is a sound FAT12 diskette with its label and exactly its planned
// files, which are the volumes and files beside it, stamps kept.
TEST_F(BvpackCli, DisketteImages)
{
    Write(src / "NOISE.BIN", Noise(900000, 10));
    Write(root / "fake-installer.exe", "MZ" + std::string(99998, 'i'));
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
    };
    fs::create_directories(root / "ok");
    Write(root / "ok" / "A.TXT", "a");
    const std::string ok = (root / "ok").string();
    const std::string big = (root / "BIG.EXE").string(), half = (root / "HALF.EXE").string();
    Write(big, std::string(362496 - 1023, 'b'));   // leaves less than a cluster of 360K
    Write(half, std::string(1457664 / 2, 'h'));
    Write(root / "HALF2", std::string(1457664 / 2 + 1, 'h'));
    Write(root / "read-me.text", "r");
    Write(root / "setup.e01", "s");
    const Case cases[] = {
        {"", 2, "usage"},
        {"--help", 0, "Exit codes"},
        {"frob", 2, "unknown command"},
        {"create " + ok, 2, "--out"},
        {"create " + ok + " --out " + Out() + " --bogus", 2, "unknown option"},
        {"create " + ok + " --out " + Out() + " --volume 3.5M", 2, "--volume"},
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
        {"create " + (root / "none").string() + " --out " + Out(), 3, "not found"},
        {"list " + (root / "none" / "SETUP").string(), 3, "Cannot open"},
        {"test", 2, "needs"},
    };
    for (const Case& c : cases) {
        Outcome r = Bvpack(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(out / "SETUP.E00"));   // refused input leaves no volume
    Outcome missing = RunCommand("PATH=/nonexistent " + std::string(BVPACK_PATH) + " create " + ok + " --out " + Out() +
                                 " --volume 360K --images");
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

}  // namespace
