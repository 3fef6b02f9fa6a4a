// Diskette kinds against what mformat makes, the fit of disk 1 in clusters
// and root entries against freshly formatted images, and DOS names.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "packer/media/disk_image.h"
#include "packer/media/diskette.h"
#include "tests/native/run_command.h"
#include "tests/native/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

class DisketteTest : public ::testing::Test {
protected:
    fs::path root;
    void SetUp() override
    {
        root = MakeScratchDir("bv-diskette");
        ASSERT_EQ(bv::MissingImageTools(), "");
    }
    void TearDown() override { RemoveScratchDir(root); }

    bv::DisketteFile File(const std::string& name, std::uint64_t size)
    {
        fs::path p = root / ("src-" + name);
        std::ofstream(p, std::ios::binary) << std::string(size, 'x');
        return {name, size, p.string()};
    }

    std::string Image(const bv::DisketteKind& kind, const std::vector<bv::DisketteFile>& files, bool* ok)
    {
        bv::Diskette d;
        d.number = 1;
        d.label = "DISK1";
        d.files = files;
        std::string path = (root / (std::string(kind.name) + ".img")).string(), error;
        *ok = bv::WriteDisketteImage(kind, d, path, &error);
        EXPECT_TRUE(*ok || !fs::exists(path)) << "a failed image is left behind";
        return *ok ? path : error;
    }
};

std::string FieldAfter(const std::string& text, const std::string& key)
{
    std::size_t at = text.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    return text.substr(at, text.find_first_of(" \n", at) - at);
}

// Every kind's geometry, cluster size, root directory and data area are
// the ones a fresh mformat image has.
TEST_F(DisketteTest, KindsAreWhatMformatMakes)
{
    ASSERT_EQ(bv::DisketteKinds().size(), 5u);
    for (const bv::DisketteKind& kind : bv::DisketteKinds()) {
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(bv::FindDisketteKind(kind.name), &kind);
        bool ok = false;
        std::string image = Image(kind, {}, &ok);
        ASSERT_TRUE(ok) << image;
        EXPECT_EQ(fs::file_size(image), kind.ImageBytes());
        EXPECT_EQ(bv::DisketteKindOfImage(kind.ImageBytes()), &kind);
        CommandOutcome info = RunCommand(Mtool("minfo -i '" + image + "' ::"));
        ASSERT_EQ(info.code, 0) << info.out;
        EXPECT_EQ(FieldAfter(info.out, "cluster size: "), std::to_string(kind.sectorsPerCluster)) << info.out;
        EXPECT_EQ(FieldAfter(info.out, "root directory slots: "), std::to_string(kind.rootEntries)) << info.out;
        EXPECT_EQ(FieldAfter(info.out, "sectors per fat: "), std::to_string(kind.fatSectors)) << info.out;
        EXPECT_EQ(FieldAfter(info.out, "sectors per track: "), std::to_string(kind.sectorsPerTrack)) << info.out;
        EXPECT_EQ(FieldAfter(info.out, "disk label=\""), "DISK1") << info.out;
        CommandOutcome fsck = RunCommand(FsckFat(image));
        EXPECT_EQ(fsck.code, 0) << fsck.out;
        EXPECT_NE(fsck.out.find(" 0/" + std::to_string(kind.DataClusters()) + " clusters"), std::string::npos)
            << fsck.out;
    }
    EXPECT_EQ(bv::FindDisketteKind("1.44m")->DataBytes(), 1457664u);
    EXPECT_EQ(bv::FindDisketteKind("2.88M")->DataBytes(), 2931712u);
    EXPECT_EQ(bv::FindDisketteKind("3.5M"), nullptr);
    EXPECT_EQ(bv::DisketteKindOfImage(1474561), nullptr);
}

// Disk 1 filled to its last cluster as planned is written; one byte more
// in volume 0 is not, so the plan counts exactly what the file system does.
TEST_F(DisketteTest, DiskOneFitsToTheLastCluster)
{
    for (const char* name : {"360K", "1.44M"}) {
        SCOPED_TRACE(name);
        const bv::DisketteKind& kind = *bv::FindDisketteKind(name);
        // An installer and a readme that end inside a cluster, an empty file.
        std::vector<bv::DisketteFile> disk1 = {File("SETUP.EXE", 3 * kind.ClusterBytes() + 1),
                                               File("README.TXT", 7), File("EMPTY.TXT", 0)};
        std::uint64_t room = 0;
        std::string error;
        ASSERT_TRUE(bv::FirstVolumeRoom(kind, "SETUP", disk1, &room, &error)) << error;
        EXPECT_EQ(room, std::uint64_t{kind.DataClusters() - 5} * kind.ClusterBytes());

        std::vector<bv::DisketteFile> full = disk1;
        full.push_back(File("SETUP.E00", room));
        bool ok = false;
        std::string image = Image(kind, full, &ok);
        ASSERT_TRUE(ok) << image;
        std::vector<bv::Diskette> plan = bv::PlanDiskettes(kind, "SETUP", disk1, {room});
        ASSERT_EQ(plan.size(), 1u);
        EXPECT_EQ(plan[0].usedClusters, kind.DataClusters());
        CommandOutcome fsck = RunCommand(FsckFat(image));
        EXPECT_EQ(fsck.code, 0) << fsck.out;
        EXPECT_NE(fsck.out.find(std::to_string(kind.DataClusters()) + "/" + std::to_string(kind.DataClusters())),
                  std::string::npos)
            << fsck.out;
        std::vector<std::string> names;
        ASSERT_TRUE(bv::ListDisketteImage(image, &names, &error)) << error;
        EXPECT_EQ(names, (std::vector<std::string>{"SETUP.EXE", "README.TXT", "EMPTY.TXT", "SETUP.E00"}));

        full.back() = File("SETUP.E00", room + 1);
        image = Image(kind, full, &ok);
        EXPECT_FALSE(ok);
        EXPECT_NE(image.find("mcopy"), std::string::npos) << image;
    }
}

// The label and every file take a root entry: disk 1 may hold as many
// files as the root directory has entries less two (label, volume 0).
TEST_F(DisketteTest, RootDirectoryEntriesCount)
{
    const bv::DisketteKind& kind = *bv::FindDisketteKind("360K");
    std::vector<bv::DisketteFile> disk1;
    for (unsigned n = 0; n + 2 < kind.rootEntries; n++)
        disk1.push_back(File("F" + std::to_string(n) + ".TXT", 0));
    std::uint64_t room = 0;
    std::string error;
    ASSERT_TRUE(bv::FirstVolumeRoom(kind, "SETUP", disk1, &room, &error)) << error;
    std::vector<bv::DisketteFile> full = disk1;
    full.push_back(File("SETUP.E00", 100));
    bool ok = false;
    std::string image = Image(kind, full, &ok);
    EXPECT_TRUE(ok) << image;

    disk1.push_back(File("ONEMORE.TXT", 0));
    EXPECT_FALSE(bv::FirstVolumeRoom(kind, "SETUP", disk1, &room, &error));
    EXPECT_NE(error.find("root directory"), std::string::npos) << error;
    full = disk1;
    full.push_back(File("SETUP.E00", 100));
    image = Image(kind, full, &ok);
    EXPECT_FALSE(ok) << "mtools took more files than the root directory holds";
}

TEST_F(DisketteTest, DiskOneWithoutRoomForVolumeZero)
{
    const bv::DisketteKind& kind = *bv::FindDisketteKind("720K");
    struct Case {
        std::vector<bv::DisketteFile> files;
        const char* says;
    };
    const Case cases[] = {
        {{File("SETUP.EXE", kind.DataBytes())}, "disk 1 files SETUP.EXE need 713 of the 713 clusters of a 720K diskette"},
        {{File("SETUP.EXE", kind.DataBytes() - 2048), File("README.TXT", 2049)}, "SETUP.EXE, README.TXT need 714"},
    };
    for (const Case& c : cases) {
        std::uint64_t room = 0;
        std::string error;
        EXPECT_FALSE(bv::FirstVolumeRoom(kind, "SETUP", c.files, &room, &error));
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_NE(error.find("no room is left for SETUP.E00"), std::string::npos) << error;
    }
    std::uint64_t room = 0;
    std::string error;
    ASSERT_TRUE(bv::FirstVolumeRoom(kind, "SETUP", {File("SETUP.EXE", kind.DataBytes() - 1024)}, &room, &error));
    EXPECT_EQ(room, 1024u);
    EXPECT_FALSE(bv::FirstVolumeRoom(kind, "INSTALLER", {}, &room, &error));
    EXPECT_NE(error.find("DOS name of 1 to 8 characters"), std::string::npos) << error;
}

TEST(DisketteNames, DosNames)
{
    struct Case {
        const char* name;
        bool dos;
    };
    const Case cases[] = {
        {"SETUP.EXE", true},     {"README", true},        {"A.B", true},          {"12345678.123", true},
        {"$_~!#%&'.()@", true},  {"readme.txt", false},   {"123456789.TXT", false}, {"README.TEXT", false},
        {"READ ME.TXT", false},  {"A.B.C", false},        {".TXT", false},        {"README.", false},
        {"", false},             {"A+B.TXT", false},      {"\xC4.TXT", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bv::IsDosName(c.name), c.dos) << c.name;
}

}  // namespace
