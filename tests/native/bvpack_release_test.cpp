// bvpack and the release's output folder: it writes, replaces and removes
// only the files of its own release, all or nothing; test finds damage
// through the release's manifest; images are reproducible.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
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

// Every file below a folder (hidden ones too) with its bytes.
using Snapshot = std::map<std::string, std::string>;

class BvpackRelease : public ::testing::Test {
protected:
    fs::path root, src, out;
    int tools_ = 0;

    void SetUp() override
    {
        root = MakeScratchDir("bvpack-release");
        src = root / "src";
        out = root / "out";
        fs::create_directories(src / "DOCS");
        Write(src / "README.TXT", "Read me first.\r\n");
        Write(src / "DOCS" / "GUIDE.TXT", std::string(30000, 'g'));
        Write(src / "NOISE.BIN", Noise(700000, 21));
        Write(root / "fake-installer.exe", StandInProgram(100000));
        Write(root / "liesmich.txt", "Lies mich.\r\n");
    }

    void TearDown() override { RemoveScratchDir(root); }

    static Snapshot Take(const fs::path& dir)
    {
        Snapshot s;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            s[fs::relative(it->path(), dir).string()] = it->is_regular_file() ? Read(it->path()) : "<folder>";
        return s;
    }

    // The exit status as the shell sees it: 128 + N for a signal N. Releases
    // get no installer unless a test gives one.
    CommandOutcome Bvpack(const std::string& args, const std::string& env = "")
    {
        CommandOutcome r = RunCommand("BVPACK_INSTALLER=none " + env + " " + std::string(BVPACK_PATH) + " " + args +
                                      " 2>&1; echo \"status $?\"", "");
        std::size_t at = r.out.rfind("status ");
        r.code = at == std::string::npos ? -1 : std::stoi(r.out.substr(at + 7));
        return r;
    }

    // A folder of mtools stand-ins that run a shell line before and after
    // the real program; for PATH=... in front of a command.
    std::string Tools(const std::string& mformatBefore, const std::string& mformatAfter, const std::string& mcopyBefore)
    {
        const fs::path dir = root / ("tools" + std::to_string(++tools_));
        fs::create_directories(dir);
        const std::string lines[][3] = {{"mformat", mformatBefore, mformatAfter}, {"mcopy", mcopyBefore, ""}};
        for (const auto& line : lines) {
            std::string real = RunCommand("command -v " + line[0], "").out;
            real = real.substr(0, real.find('\n'));
            Write(dir / line[0], "#!/bin/sh\n" + line[1] + "\n" + real + " \"$@\" || exit $?\n" + line[2] + "\n");
            fs::permissions(dir / line[0], fs::perms::owner_all);
        }
        return "PATH=" + dir.string() + ":$PATH";
    }

    std::string Release(const std::string& options = "") const
    {
        return "create " + src.string() + " --out " + (out / "SETUP").string() + " --volume 360K --installer " +
               (root / "fake-installer.exe").string() + " --disk1 " + (root / "liesmich.txt").string() + options;
    }
};

// Rows of the user's files in the way: the build refuses them by name, or
// leaves them alone, and never changes them.
TEST_F(BvpackRelease, TheUsersFilesAreNeverTouched)
{
    struct Case {
        const char* what;
        std::string file;        // the user's file in out
        std::string args;        // the build
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"a DISK1.IMG, build without images", "DISK1.IMG", Release(), 0, ""},
        {"a DISK1.IMG, build with images", "DISK1.IMG", Release(" --images"), 2, "DISK1.IMG is in the way"},
        {"a README.TXT where a disk-1 file goes", "LIESMICH.TXT", Release(), 2, "LIESMICH.TXT is in the way"},
        {"a volume of another release", "SETUP.E01", Release(), 2, "SETUP.E01 is in the way"},
        {"a file named like the manifest", "bvpack.manifest", Release(), 2, "is not a bvpack release manifest"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        Write(out / c.file, "the user's own");
        const Snapshot before = Take(out);
        CommandOutcome r = Bvpack(c.args);
        EXPECT_EQ(r.code, c.code) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(Read(out / c.file), "the user's own");
        if (c.code != 0) {
            EXPECT_EQ(Take(out), before) << r.out;   // nothing written, no staging left
        } else {
            EXPECT_TRUE(fs::exists(out / "SETUP.E00"));
        }
    }

    // A manifest that names a file outside its folder is no manifest of
    // ours: nothing there or outside is touched.
    fs::remove_all(out);
    Write(root / "victim.txt", "outside");
    Write(out / "bvpack.manifest", "bvpack release 1\nname SETUP\nfile 7 " +
                                       std::string("31207a2065f46a5b948fce6fe5c13e85abaf5631e2f894b47dcd4fce14f6c57b") +
                                       " ../victim.txt\n");
    CommandOutcome refused = Bvpack(Release());
    EXPECT_EQ(refused.code, 2) << refused.out;
    EXPECT_NE(refused.out.find("is not a bvpack release manifest"), std::string::npos) << refused.out;
    EXPECT_EQ(Read(root / "victim.txt"), "outside");

    // A file of the previous release changed since is the user's now: a
    // rebuild that would replace it is refused; one that no longer makes it
    // leaves it with a warning.
    fs::remove_all(out);
    ASSERT_EQ(Bvpack(Release()).code, 0);
    Write(out / "LIESMICH.TXT", "edited");
    CommandOutcome r = Bvpack(Release());
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_NE(r.out.find("LIESMICH.TXT was changed since bvpack wrote it"), std::string::npos) << r.out;
    r = Bvpack("create " + src.string() + " --out " + (out / "SETUP").string() + " --volume 360K");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("warning: " + (out / "LIESMICH.TXT").string() + " was changed"), std::string::npos) << r.out;
    EXPECT_EQ(Read(out / "LIESMICH.TXT"), "edited");
    EXPECT_FALSE(fs::exists(out / "SETUP.EXE"));
}

// What changes in the output folder while a build runs is the user's: the
// release is not put in place over it, and the previous one stays. Two
// release files of one name are refused before anything is written.
TEST_F(BvpackRelease, WhatTheUserDoesMeanwhileIsKept)
{
    struct Case {
        const char* what;
        const char* first;       // the build before, if any
        std::string file;        // written into out while images are made
        const char* says;
    };
    const Case cases[] = {
        {"a released file edited", " --images", "LIESMICH.TXT", "LIESMICH.TXT was changed since bvpack wrote it; nothing was written"},
        {"a file come where an image goes", "", "DISK1.IMG", "DISK1.IMG is in the way; nothing was written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::remove(src / "NEW.TXT");
        ASSERT_EQ(Bvpack(Release(c.first)).code, 0);
        Write(src / "NEW.TXT", "new");
        const Snapshot before = Take(out);
        const fs::path mine = out / c.file;
        CommandOutcome r = Bvpack(Release(" --images"), Tools("", "", "echo mine > '" + mine.string() + "'"));
        EXPECT_EQ(r.code, 3) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(Read(mine), "mine\n");
        Snapshot now = Take(out);
        now.erase(c.file);
        Snapshot was = before;
        was.erase(c.file);
        EXPECT_EQ(now, was) << r.out;   // the previous release as it was, no staging left
    }

    fs::remove_all(out);
    Write(root / "DISK1.IMG", "mine");
    Write(root / "BVPACK.MANIFEST", "mine");
    const std::pair<std::string, const char*> clashes[] = {
        {Release(" --images --disk1 " + (root / "DISK1.IMG").string()), "the release would write DISK1.IMG twice"},
        {"create " + src.string() + " --out " + (out / "SETUP").string() + " --volume 100000 --disk1 " +
             (root / "BVPACK.MANIFEST").string(),
         "is the name of the release's manifest"},
    };
    for (const auto& [args, says] : clashes) {
        SCOPED_TRACE(says);
        CommandOutcome r = Bvpack(args);
        EXPECT_EQ(r.code, 2) << r.out;
        EXPECT_NE(r.out.find(says), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(out)) << r.out;
    }
}

// A project's release goes to a folder of its own; what the project no
// longer makes is removed; its own files are never overwritten.
TEST_F(BvpackRelease, ProjectReleasesOwnTheirFolder)
{
    const fs::path p = root / "p";
    Write(p / "README.TXT", "the user's readme");
    Write(p / "docs" / "README.TXT", "the readme for disk 1");
    Write(p / "docs" / "PROJECT.INI", "a disk-1 file named like the project");
    Write(p / "SETUP.EXE", "the user's program");
    Write(p / "files" / "A.TXT", "a");
    fs::copy_file(root / "fake-installer.exe", p / "BVUNPACK.EXE");
    const std::string setup = "[Setup]\nName = SETUP\nDiskette = 720K\n";
    const std::string files = "[Files]\nSource = files/*\n";
    struct Case {
        const char* what;
        std::string text;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"disk-1 file beside the user's file of that name",
         setup + "Installer = BVUNPACK.EXE\nDiskOneFile = docs/README.TXT\n" + files, 0, ""},
        {"the project's folder as Output", setup + "Output = .\nDiskOneFile = docs/README.TXT\n" + files, 2,
         "README.TXT is in the way"},
        {"a disk-1 file named like the project file", setup + "Output = .\nDiskOneFile = docs/PROJECT.INI\n" + files, 2,
         "PROJECT.INI is in the way"},
        {"the installer named like the user's program", setup + "Output = .\nInstaller = BVUNPACK.EXE\n" + files, 2,
         "SETUP.EXE is in the way"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write(p / "PROJECT.INI", c.text);
        const Snapshot before = Take(p);
        CommandOutcome r = Bvpack("build " + (p / "PROJECT.INI").string());
        EXPECT_EQ(r.code, c.code) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(Read(p / "README.TXT"), "the user's readme");
        EXPECT_EQ(Read(p / "PROJECT.INI"), c.text);
        EXPECT_EQ(Read(p / "SETUP.EXE"), "the user's program");
        if (c.code != 0) {
            EXPECT_EQ(Take(p), before);
        }
    }
    EXPECT_EQ(Read(p / "Output" / "README.TXT"), "the readme for disk 1");
    ASSERT_TRUE(fs::exists(p / "Output" / "SETUP.EXE"));

    // Installer and DiskOneFile dropped: their copies go with the rebuild.
    Write(p / "PROJECT.INI", setup + files);
    CommandOutcome r = Bvpack("build " + (p / "PROJECT.INI").string());
    ASSERT_EQ(r.code, 0) << r.out;
    std::vector<std::string> left;
    for (auto& e : fs::directory_iterator(p / "Output"))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"SETUP.E00", "bvpack.manifest"}));
}

// A rebuild that fails for any reason leaves the previous release byte for
// byte and no staged file; a failed image leaves no part of itself.
TEST_F(BvpackRelease, AFailedRebuildLeavesThePreviousRelease)
{
    ASSERT_EQ(Bvpack(Release(" --images")).code, 0);
    // The next build differs (another source file), so it would replace
    // every volume and image.
    Write(src / "NEW.TXT", "new");
    const Snapshot previous = Take(out);
    ASSERT_GE(previous.count("SETUP.E02"), 1u);
    // Volume 0 shares disk 1 with the installer (255 KiB); the others take
    // 354 KiB, an image 360 KiB. A file-size limit between them is a disk
    // full after the first volume (sh's ulimit counts 512-byte blocks).
    struct Case {
        const char* what;
        std::string env, args;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"disk full after the first volume", "ulimit -f 600; trap '' XFSZ;", Release(" --images"), 3, "SETUP.E01"},
        {"disk full at the first image", "ulimit -f 710; trap '' XFSZ;", Release(" --images"), 3, "DISK1.IMG"},
        {"a missing disk-1 file", "", Release(" --images --disk1 " + (root / "none.txt").string()), 3, "none.txt"},
        {"mcopy failing on the second image", Tools("", "", "case \"$*\" in *DISK2*) exit 1;; esac"),
         Release(" --images"), 3, "mcopy"},
        {"mcopy killed by a signal", Tools("", "", "case \"$*\" in *DISK2*) kill -KILL $$;; esac"),
         Release(" --images"), 3, "killed by signal 9"},
        {"mformat killed by a signal after its work", Tools("", "kill -TERM $$", ""), Release(" --images"), 3,
         "killed by signal 15"},
        {"an interrupt while images are made", Tools("", "", "kill -INT $PPID"), Release(" --images"), 130, ""},
        {"SIGTERM while images are made", Tools("", "", "kill -TERM $PPID"), Release(" --images"), 143, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandOutcome r = Bvpack(c.args, c.env);
        EXPECT_EQ(r.code, c.code) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        const Snapshot now = Take(out);
        EXPECT_EQ(now.size(), previous.size()) << r.out;
        for (const auto& [name, bytes] : previous)
            EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
    }
    // The same build without a fault replaces the release, a volume made
    // read-only included: it is still the release's own, unchanged.
    fs::permissions(out / "SETUP.E01", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    CommandOutcome r = Bvpack(Release(" --images"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(Read(out / "SETUP.E00"), previous.at("SETUP.E00"));
    EXPECT_NE(Read(out / "SETUP.E01"), previous.at("SETUP.E01"));
}

// With the manifest, every single-byte change to a volume fails test with
// the volume named, read from the folder and from the images; without it,
// test says that it checked the stream's structure only.
TEST_F(BvpackRelease, TestFindsEveryChangedByteThroughTheManifest)
{
    CommandOutcome r = Bvpack(Release(" --images"));
    ASSERT_EQ(r.code, 0) << r.out;
    const std::string images = (out / "DISK1.IMG").string() + " " + (out / "DISK2.IMG").string() + " " +
                               (out / "DISK3.IMG").string();
    r = Bvpack("test " + (out / "SETUP").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("checksums match"), std::string::npos) << r.out;
    r = Bvpack("test " + images);
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("OK: 3 members"), std::string::npos) << r.out;

    std::mt19937 rng(18);
    const std::string volume = Read(out / "SETUP.E01"), image = Read(out / "DISK2.IMG");
    const std::size_t inImage = image.find(volume);   // a fresh image holds it in one run of clusters
    ASSERT_NE(inImage, std::string::npos);
    for (int round = 0; round < 50; round++) {
        const std::size_t at = rng() % volume.size();
        const char changed = static_cast<char>(volume[at] ^ (1 + rng() % 255));
        SCOPED_TRACE("byte " + std::to_string(at));
        std::string damaged = volume;
        damaged[at] = changed;
        Write(out / "SETUP.E01", damaged);
        r = Bvpack("test " + (out / "SETUP").string());
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_NE(r.out.find("SETUP.E01 (disk 2) is damaged"), std::string::npos) << r.out;
        Write(out / "SETUP.E01", volume);

        std::string damagedImage = image;
        damagedImage[inImage + at] = changed;
        Write(out / "DISK2.IMG", damagedImage);
        r = Bvpack("test " + images);
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_NE(r.out.find("SETUP.E01 (disk 2, DISK2.IMG) is damaged"), std::string::npos) << r.out;
        Write(out / "DISK2.IMG", image);
    }

    // Images out of order.
    r = Bvpack("test " + (out / "DISK2.IMG").string() + " " + (out / "DISK1.IMG").string());
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("DISK2.IMG holds no volume"), std::string::npos) << r.out;

    fs::remove(out / "bvpack.manifest");
    r = Bvpack("test " + (out / "SETUP").string());
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("no manifest: only the stream's structure was checked"), std::string::npos) << r.out;
}

// An output folder inside the source: the release's own volumes (past
// E09) and images, as the manifest lists them, are not packed again; the
// user's files there that only look like them are.
TEST_F(BvpackRelease, OwnFilesInsideTheSourceAreNotPackedAgain)
{
    Write(src / "NOISE.BIN", Noise(3800000, 22));
    const std::string args = "create " + src.string() + " --out " + (src / "dist" / "SETUP").string() +
                             " --volume 360K --images";
    for (int round = 0; round < 2; round++) {
        CommandOutcome r = Bvpack(args);
        ASSERT_EQ(r.code, 0) << r.out;
        EXPECT_NE(r.out.find("SETUP.E00: 3 members"), std::string::npos) << r.out;
    }
    ASSERT_TRUE(fs::exists(src / "dist" / "SETUP.E0A"));
    ASSERT_TRUE(fs::exists(src / "dist" / "DISK11.IMG"));
    Write(src / "dist" / "DISK99.IMG", "the user's");
    CommandOutcome r = Bvpack(args);
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("SETUP.E00: 4 members"), std::string::npos) << r.out;
}

// Images built twice under SOURCE_DATE_EPOCH, in other time zones and with
// newer file times between, are the same bytes; their files carry the
// epoch's time.
TEST_F(BvpackRelease, ImagesAreReproducibleUnderSourceDateEpoch)
{
    const std::string epoch = "SOURCE_DATE_EPOCH=1000000000";   // 2001-09-09 01:46:40 UTC
    auto build = [&](const fs::path& to, const std::string& zone) {
        return Bvpack("create " + src.string() + " --out " + (to / "SETUP").string() + " --volume 360K --images"
                      " --installer " + (root / "fake-installer.exe").string(),
                      epoch + " TZ=" + zone);
    };
    CommandOutcome r = build(root / "a", "UTC0");
    ASSERT_EQ(r.code, 0) << r.out;
    fs::last_write_time(root / "fake-installer.exe", fs::file_time_type::clock::now());
    r = build(root / "b", "JST-9");
    ASSERT_EQ(r.code, 0) << r.out;
    const Snapshot a = Take(root / "a"), b = Take(root / "b");
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [name, bytes] : a)
        EXPECT_TRUE(b.count(name) && b.at(name) == bytes) << name;
    CommandOutcome dir = RunCommand(Mtool("TZ=UTC0 mdir -i " + (root / "b" / "DISK2.IMG").string() + " ::"));
    EXPECT_NE(dir.out.find("2001-09-09   1:46"), std::string::npos) << dir.out;
}

}  // namespace
