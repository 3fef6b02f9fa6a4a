// bvpack's command line as its option table makes it: help per command,
// --version, the installer a release gets, and init.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/native/run_command.h"
#include "tests/native/scratch_dir.h"
#include "tests/native/scratch_files.h"
#include "tests/native/stand_in_program.h"

namespace {

namespace fs = std::filesystem;
using scratch_files::Read;
using scratch_files::Write;

class BvpackOptions : public ::testing::Test {
protected:
    fs::path root;

    void SetUp() override
    {
        root = MakeScratchDir("bvpack-options");
        fs::create_directories(root / "Product" / "DATA");
        Write(root / "Product" / "README.TXT", "Read me.\r\n");
        Write(root / "Product" / "DATA" / "X.DAT", "data");
        Write(root / "Product" / "HELLO.EXE", Program(3000));
        Write(root / "GUI.EXE", Program(5000));
    }
    void TearDown() override { RemoveScratchDir(root); }


    // A 32-bit Windows program's headers (subsystem 2: GUI), then filler.
    static std::string Program(std::size_t size, unsigned subsystem = 2, unsigned characteristics = 0x0102,
                               unsigned machine = 0x014C)
    {
        return StandInProgram(size, 'p', subsystem, characteristics, machine);
    }

    // bvpack in dir (default: the scratch root); env before it.
    CommandOutcome Bvpack(const std::string& args, const std::string& env = "", const fs::path& dir = {})
    {
        return RunCommand("cd '" + (dir.empty() ? root : dir).string() + "' && " + env + " " + BVPACK_PATH + " " + args);
    }
};

const char* const kCommands[] = {"init", "build", "create", "list", "test", "extract"};

// The option table: each command's help from `help COMMAND` and from
// `COMMAND --help` alike, and within --help; an option of one command is
// refused by another; repeated options add up.
TEST_F(BvpackOptions, OneTableForHelpUsageAndParsing)
{
    CommandOutcome full = Bvpack("--help");
    ASSERT_EQ(full.code, 0) << full.out;
    for (const char* command : kCommands) {
        CommandOutcome help = Bvpack(std::string("help ") + command), flag = Bvpack(std::string(command) + " --help");
        EXPECT_EQ(help.code, 0) << help.out;
        EXPECT_EQ(help.out, flag.out) << command;
        std::string section = help.out.substr(help.out.find("\n\n") + 2);
        EXPECT_NE(full.out.find(section), std::string::npos) << command << " section not in --help:\n" << section;
        EXPECT_NE(full.out.find(std::string("bvpack ") + command + " "), std::string::npos) << command;
    }
    // The diskette kinds, from their table, wherever they are listed.
    EXPECT_NE(Bvpack("help create").out.find("360K, 720K, 1.2M, 1.44M or 2.88M"), std::string::npos);
    EXPECT_NE(Bvpack("help list").out.find("360K, 720K, 1.2M, 1.44M or 2.88M"), std::string::npos);

    struct Case {
        std::string args;
        int code;
        std::string says;
    } const cases[] = {
        {"help frob", 2, "unknown command frob"},
        {"--frob", 2, "unknown option --frob"},
        {"test x --to y", 2, "unknown option --to of test"},
        {"extract x --volume 360K", 2, "unknown option --volume of extract"},
        {"build a.ini b.ini", 2, "more than one PROJECT.INI (b.ini)"},
        {"create Product --out o/S --installer GUI.EXE --no-installer", 2, "exclude each other"},
        {"create Product --out", 2, "--out"},
        {"list x --volume 3.5M", 2, "--volume needs 360K, 720K, 1.2M, 1.44M, 2.88M, a byte count or 'one'"},
        {"init", 2, "init needs the product folder DIR"},
    };
    for (const Case& c : cases) {
        CommandOutcome r = Bvpack(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
    }

    // Repeated options add up; build --out puts the volumes elsewhere.
    CommandOutcome r = Bvpack("create Product --out o/S --no-installer --group G --item 'HELLO.EXE,One' "
                              "--item 'README.TXT,Two' --quiet");
    ASSERT_EQ(r.code, 0) << r.out;
    r = Bvpack("list o/S");
    EXPECT_NE(r.out.find("item    HELLO.EXE,One"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("item    README.TXT,Two"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(root / "o" / "S.EXE"));
    Write(root / "P.INI", "[Setup]\nName = P\nOutput = there\nInstaller = none\n[Files]\nSource = Product/README.TXT\n");
    r = Bvpack("build P.INI --out elsewhere --quiet");
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(root / "elsewhere" / "P.E00"));
    EXPECT_FALSE(fs::exists(root / "there"));
    EXPECT_FALSE(fs::exists(root / "elsewhere" / "P.EXE"));   // Installer = none

    // A release of --out inside the packed tree is bvpack's own there, as
    // one in Output would be: a rebuild neither packs it nor refuses it.
    fs::create_directories(root / "q");
    Write(root / "q" / "A.TXT", "a");
    Write(root / "q" / "Q.INI", "[Setup]\nName = Q\nInstaller = none\n[Files]\nSource = *\n");
    for (int round = 0; round < 2; round++) {
        r = Bvpack("build q/Q.INI --out q/rel --quiet");
        ASSERT_EQ(r.code, 0) << round << "\n" << r.out;
    }
    r = Bvpack("list q/rel/Q");
    EXPECT_EQ(r.out.find("rel\\"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(root / "q" / "Output"));
}

TEST_F(BvpackOptions, VersionNamesTheKitAndTheInstaller)
{
    CommandOutcome r = Bvpack("--version", "BVPACK_INSTALLER=" + (root / "GUI.EXE").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.rfind("bvpack " BV_KIT_VERSION, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\ninstaller: " + (root / "GUI.EXE").string() + " (5000 bytes)\n"), std::string::npos) << r.out;
    r = Bvpack("--version", "BVPACK_INSTALLER=none");
    EXPECT_NE(r.out.find("\ninstaller: none"), std::string::npos) << r.out;
}

// Without Installer, a release gets bvpack's own installer; whatever it
// gets must be a 32-bit Windows GUI program.
TEST_F(BvpackOptions, TheInstallerIsAWindowsGuiProgram)
{
    Write(root / "TEXT.EXE", std::string(3000, 't'));
    Write(root / "CONSOLE.EXE", Program(3000, 3));
    Write(root / "LIBRARY.EXE", Program(3000, 2, 0x2102));
    Write(root / "AMD64.EXE", Program(3000, 2, 0x0102, 0x8664));
    const std::string create = "create Product --out o/SETUP --quiet";
    struct Case {
        std::string args, env;
        int code;
        std::string says;
    } const cases[] = {
        {create, "BVPACK_INSTALLER=GUI.EXE", 0, ""},
        {create + " --installer GUI.EXE", "", 0, ""},
        {create, "BVPACK_INSTALLER=TEXT.EXE", 2, "the installer TEXT.EXE is not a 32-bit Windows GUI program"},
        {create + " --installer CONSOLE.EXE", "", 2, "CONSOLE.EXE is not a 32-bit Windows GUI program"},
        {create + " --installer LIBRARY.EXE", "", 2, "LIBRARY.EXE is not a 32-bit Windows GUI program"},
        {create + " --installer AMD64.EXE", "", 2, "AMD64.EXE is not a 32-bit Windows GUI program"},
        {create + " --installer NONE.EXE", "", 3, "cannot read the installer NONE.EXE"},
    };
    for (const Case& c : cases) {
        fs::remove_all(root / "o");
        CommandOutcome r = Bvpack(c.args, c.env);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
        if (c.code == 0)
            EXPECT_EQ(Read(root / "o" / "SETUP.EXE"), Read(root / "GUI.EXE")) << c.args;
        else
            EXPECT_FALSE(fs::exists(root / "o")) << c.args;
    }
    Write(root / "P.INI", "[Setup]\nName = P\nOutput = out\nInstaller = TEXT.EXE\n[Files]\nSource = Product/README.TXT\n");
    CommandOutcome r = Bvpack("build P.INI");
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_NE(r.out.find("P.INI:4: the installer"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(root / "out"));
}

// init writes a project file that builds as written, says so, and never
// overwrites one.
TEST_F(BvpackOptions, InitWritesAProjectThatBuilds)
{
    fs::create_directories(root / "work");
    const fs::path work = root / "work";
    CommandOutcome r = Bvpack("init ../Product", "", work);
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("wrote PRODUCT.INI for ../Product"), std::string::npos) << r.out;
    const std::string ini = Read(work / "PRODUCT.INI");
    for (const char* line : {"\nName = PRODUCT\n", "\nSource = ../Product/DATA => DATA\n",
                             "\nSource = ../Product/HELLO.EXE\n", "\nSource = ../Product/README.TXT\n",
                             "\n[Group]\nName = Product\nItem = HELLO.EXE, Hello\n", "\n; Diskette = 1.44M\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << "\n" << ini;

    r = Bvpack("build PRODUCT.INI --quiet", "BVPACK_INSTALLER=" + (root / "GUI.EXE").string(), work);
    ASSERT_EQ(r.code, 0) << r.out << ini;
    EXPECT_EQ(Read(work / "release" / "PRODUCT.EXE"), Read(root / "GUI.EXE"));
    r = Bvpack("list release/PRODUCT", "", work);
    EXPECT_NE(r.out.find("item    HELLO.EXE,Hello"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("DATA\\X.DAT"), std::string::npos) << r.out;

    // Refusals: an existing file stays as it was; nothing to pack; no folder.
    Write(work / "PRODUCT.INI", "mine");
    r = Bvpack("init ../Product", "", work);
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_NE(r.out.find("PRODUCT.INI exists"), std::string::npos) << r.out;
    EXPECT_EQ(Read(work / "PRODUCT.INI"), "mine");
    fs::create_directories(root / "Empty");
    r = Bvpack("init ../Empty", "", work);
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_FALSE(fs::exists(work / "EMPTY.INI"));
    r = Bvpack("init ../Missing", "", work);
    EXPECT_EQ(r.code, 3) << r.out;
    // A folder named with more than a DOS name holds: letters and digits, 8 at most.
    fs::create_directories(root / "My Tool v2.0 beta");
    Write(root / "My Tool v2.0 beta" / "A.TXT", "a");
    r = Bvpack("init '../My Tool v2.0 beta'", "", work);
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(work / "MYTOOLV2.INI")) << r.out;
}

}  // namespace
