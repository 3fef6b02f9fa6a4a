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
    std::mt19937 rng(9);
    std::string noise(900000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    Write(src / "NOISE.BIN", noise);
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

TEST_F(BvpackCli, ExitCodes)
{
    Write(src / "BAD]NAME", "x");
    struct Case {
        std::string args;
        int code;
        const char* says;
    };
    fs::create_directories(root / "ok");
    Write(root / "ok" / "A.TXT", "a");
    const std::string ok = (root / "ok").string();
    const Case cases[] = {
        {"", 2, "usage"},
        {"--help", 0, "Exit codes"},
        {"frob", 2, "unknown command"},
        {"create " + ok, 2, "--out"},
        {"create " + ok + " --out " + Out() + " --bogus", 2, "unknown option"},
        {"create " + ok + " --out " + Out() + " --volume 3.5M", 2, "--volume"},
        {"create " + ok + " --out " + Out() + " --item A.TXT", 2, "needs a group"},
        {"create " + ok + " --out " + Out() + " --volume 30", 2, "no room after"},
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

    // A volume that is not an archive.
    fs::create_directories(out);
    Write(out / "SETUP.E00", "[TARNBOLT 1][DEFDIR=C:\\X][DFCHANGE=1]");
    Outcome r = Bvpack("test " + Out());
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("Invalid file type"), std::string::npos) << r.out;
}

}  // namespace
