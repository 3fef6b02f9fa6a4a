// Project files read into a packing request: what each section gives, and
// the reader's errors with their lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "packer/project/project_file.h"
#include "tests/native/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using bv::PackRequest;

class ProjectFile : public ::testing::Test {
protected:
    fs::path root;

    void SetUp() override
    {
        root = MakeScratchDir("bvpack-project");
        for (const char* f : {"product/README.TXT", "product/DOCS/A.TXT", "product/DOCS/B.txt",
                              "product/DOCS/IMG.BMP", "product/DATA/SUB/X.DAT", "product/DATA/Y.DAT", "HELLO.EXE",
                              "SETUP.EXE"})
            Write(f, f);
    }
    void TearDown() override { RemoveScratchDir(root); }

    void Write(const std::string& relative, const std::string& text)
    {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative, std::ios::binary) << text;
    }

    int Read(const std::string& text, PackRequest* r, std::string* error)
    {
        Write("PROJECT.INI", text);
        return bv::ReadProjectFile((root / "PROJECT.INI").string(), r, error);
    }
};

TEST_F(ProjectFile, EverySectionFillsTheRequest)
{
    const std::string text =
        "; a release\r\n"
        "[Setup]\r\n"
        "  name = tools          ; keys and sections in any case, indented\r\n"
        "Destination = D:\\APPS\\TOOLS\r\n"
        "ChangeDestination = no\r\n"
        "VolumeSize = 1.44M\r\n"
        "Installer = SETUP.EXE\r\n"
        "Output = dist\r\n"
        "\r\n"
        "[files]\r\n"
        "Source = product\\README.TXT\r\n"
        "Source = product/DOCS/*.txt => MANUAL\r\n"
        "Source = product/DATA => DATA\r\n"
        "Source = HELLO.EXE => BIN/\r\n"
        "[Group]\r\n"
        "Name = Tools\r\n"
        "Item = BIN\\HELLO.EXE, Hello, world\r\n"
        "Item = readme.txt\r\n"
        "[Run]\r\n"
        "Program = BIN\\HELLO.EXE /Q\r\n";
    PackRequest r;
    std::string error;
    ASSERT_EQ(Read(text, &r, &error), bv::EXIT_OK) << error;
    EXPECT_EQ(r.name, "TOOLS");
    EXPECT_EQ(r.defaultDest, "D:\\APPS\\TOOLS");
    EXPECT_FALSE(r.allowChange);
    EXPECT_EQ(r.media.kind, bv::FindDisketteKind("1.44M"));
    EXPECT_EQ(r.disketteLine, 6);
    EXPECT_EQ(fs::path(r.media.installer), root / "SETUP.EXE");
    EXPECT_EQ(r.installerLine, 7);
    EXPECT_EQ(fs::path(r.outDir), root / "dist");

    // Entry order is member order; within an entry, name order. The
    // wildcard ignores case and takes no file from below the folder.
    struct Expected {
        const char* member;
        const char* source;
        int line;
    };
    const Expected files[] = {
        {"README.TXT", "product/README.TXT", 11},  {"MANUAL\\A.TXT", "product/DOCS/A.TXT", 12},
        {"MANUAL\\B.txt", "product/DOCS/B.txt", 12}, {"DATA\\SUB\\X.DAT", "product/DATA/SUB/X.DAT", 13},
        {"DATA\\Y.DAT", "product/DATA/Y.DAT", 13},   {"BIN\\HELLO.EXE", "HELLO.EXE", 14},
    };
    ASSERT_EQ(r.files.size(), std::size(files));
    for (std::size_t i = 0; i < r.files.size(); i++) {
        EXPECT_EQ(r.files[i].member, files[i].member) << i;
        EXPECT_TRUE(fs::equivalent(r.files[i].source, root / files[i].source)) << r.files[i].source;
        EXPECT_EQ(r.files[i].line, files[i].line) << i;
    }
    EXPECT_EQ(r.script.group, "Tools");
    ASSERT_EQ(r.script.items.size(), 2u);
    EXPECT_EQ(r.script.items[0], "BIN\\HELLO.EXE,Hello, world");
    EXPECT_EQ(r.script.items[1], "readme.txt");
    EXPECT_EQ(r.itemLines, (std::vector<int>{17, 18}));
    EXPECT_EQ(r.script.program, "BIN\\HELLO.EXE /Q");
    EXPECT_EQ(r.runLine, 20);
    EXPECT_EQ(r.origin, (root / "PROJECT.INI").string());
}

TEST_F(ProjectFile, DefaultsAndWildcardFolders)
{
    PackRequest r;
    std::string error;
    ASSERT_EQ(Read("[Setup]\nName = Setup\n[Files]\nSource = product/*\n", &r, &error), bv::EXIT_OK) << error;
    EXPECT_EQ(r.defaultDest, "C:\\SETUP");
    EXPECT_TRUE(r.allowChange);
    EXPECT_EQ(r.media.kind, nullptr);
    EXPECT_EQ(r.media.volumeSize, bv::VOLUME_UNLIMITED);
    EXPECT_FALSE(r.media.images);
    EXPECT_EQ(fs::path(r.outDir), root);
    EXPECT_TRUE(r.media.installer.empty());
    std::vector<std::string> members;
    for (const bv::PackFile& f : r.files)
        members.push_back(f.member);
    // A matched folder keeps its name and brings everything below it.
    EXPECT_EQ(members, (std::vector<std::string>{"DATA\\SUB\\X.DAT", "DATA\\Y.DAT", "DOCS\\A.TXT", "DOCS\\B.txt",
                                                 "DOCS\\IMG.BMP", "README.TXT"}));
}

TEST_F(ProjectFile, TheArchivesOwnOutputIsNotPacked)
{
    Write("dist/SETUP.E00", "old volume");
    Write("dist/SETUP.EXE", "old installer");
    Write("dist/OTHER.TXT", "kept");
    PackRequest r;
    std::string error;
    ASSERT_EQ(Read("[Setup]\nName = SETUP\nOutput = dist\n[Files]\nSource = dist\n", &r, &error), bv::EXIT_OK)
        << error;
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0].member, "OTHER.TXT");
}

TEST_F(ProjectFile, ErrorsNameTheFileAndLine)
{
    const std::string setup = "[Setup]\nName = SETUP\n";
    struct Case {
        std::string text;
        int line;           // 0: the file as a whole
        const char* says;
    };
    const Case cases[] = {
        {setup + "[Files]\nSource = product/NONE.TXT\n", 4, "not found"},
        {setup + "[Files]\nSource = product/*.XYZ\n", 4, "nothing matches \"product/*.XYZ\""},
        {setup + "[Files]\nSource = product/*/A.TXT\n", 4, "only in the last part"},
        {setup + "[Files]\nSource = product/DOCS =>\n", 4, "no folder after"},
        {setup + "Nmae = X\n", 3, "unknown key \"Nmae\" in [Setup]"},
        {setup + "[Files]\nTarget = X\n", 4, "unknown key \"Target\" in [Files]"},
        {setup + "[Icons]\n", 3, "unknown section [Icons]"},
        {"Name = SETUP\n[Setup]\n", 1, "before any [Section]"},
        {setup + "Name = OTHER\n", 3, "given twice in [Setup] (first on line 2)"},
        {setup + "[Files]\nSource = HELLO.EXE\n[Group]\nName = G\nItem = NOTHERE.EXE, No\n", 7,
         "group item \"NOTHERE.EXE\" names no member"},
        {setup + "[Files]\nSource = HELLO.EXE\n[Group]\nName = G\nItem = , Title\n", 7, "no command"},
        {"[Setup]\nName = NAMEOFSIXTEENCHR\n", 2, "1 to 15 characters"},
        {"[Setup]\nDestination = C:\\X\n", 0, "needs Name"},
        {setup + "VolumeSize = 3.5M\n", 3, "VolumeSize must be"},
        {setup + "VolumeSize = 360K\nDiskette = 720K\n", 4, "exclude each other"},
        {setup + "Diskette = 8000\n", 3, "Diskette must be 360K, 720K, 1.2M, 1.44M or 2.88M"},
        {setup + "Images = maybe\n", 3, "yes or no"},
        {setup + "Installer = NONE.EXE\n", 3, "installer"},
        {setup + "Destination =\n", 3, "has no value"},
        {setup + "[Files]\njust a line\n", 4, "expected [Section], KEY = VALUE"},
        // libinih's KEY: VALUE, which Windows' profile functions do not read.
        {setup + "Destination: C:\\X\n", 3, "expected [Section], KEY = VALUE"},
        {setup + "[Files]\nSource = HELLO.EXE\n[setup]\nDestination = C:\\X\n", 5,
         "section [setup] given twice (first on line 1)"},
        {"\xEF\xBB\xBF[Icons]\n", 1, "unknown section [Icons]"},
        {setup + "Destination = C:\\" + std::string(300, 'D') + "\n", 3, "longer than"},
    };
    for (const Case& c : cases) {
        PackRequest r;
        std::string error;
        EXPECT_EQ(Read(c.text, &r, &error), bv::EXIT_USAGE) << c.text;
        const std::string where = (root / "PROJECT.INI").string() + (c.line ? ":" + std::to_string(c.line) : "") + ": ";
        EXPECT_EQ(error.rfind(where, 0), 0u) << c.text << "\n" << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << "\n" << error;
    }

    PackRequest r;
    std::string error;
    EXPECT_EQ(bv::ReadProjectFile((root / "NONE.INI").string(), &r, &error), bv::EXIT_IO);
    EXPECT_NE(error.find("NONE.INI"), std::string::npos) << error;
}

// The diskette fields fill the request's media, each with its line.
TEST_F(ProjectFile, DisketteFieldsFillTheMedia)
{
    PackRequest r;
    std::string error;
    ASSERT_EQ(Read("[Setup]\nName = SETUP\nDiskette = 1.44m\nImages = yes\nDiskOneFile = HELLO.EXE\n"
                   "DiskOneFile = product/README.TXT\n",
                   &r, &error),
              bv::EXIT_OK)
        << error;
    EXPECT_EQ(r.media.kind, bv::FindDisketteKind("1.44M"));
    EXPECT_EQ(r.disketteLine, 3);
    EXPECT_TRUE(r.media.images);
    EXPECT_EQ(r.imagesLine, 4);
    ASSERT_EQ(r.media.disk1Files.size(), 2u);
    EXPECT_EQ(fs::path(r.media.disk1Files[0]), root / "HELLO.EXE");
    EXPECT_EQ(fs::path(r.media.disk1Files[1]), root / "product" / "README.TXT");
    EXPECT_EQ(r.diskOneLines, (std::vector<int>{5, 6}));

    // A byte count sizes the volume files alone.
    r = PackRequest();
    ASSERT_EQ(Read("[Setup]\nName = SETUP\nVolumeSize = 8000\n", &r, &error), bv::EXIT_OK) << error;
    EXPECT_EQ(r.media.kind, nullptr);
    EXPECT_EQ(r.media.volumeSize, 8000u);
}

}  // namespace
