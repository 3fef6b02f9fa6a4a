// Source files as members: SOURCE_DATE_EPOCH, DOS stamps at and beyond the
// ends of their range, attributes, and the member order of a tree.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "packer/release/source_members.h"
#include "tests/native/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using bv::StampFit;
using bv::StampRule;

TEST(SourceFiles, SourceDateEpochValues)
{
    struct Case {
        const char* value;   // nullptr: unset
        bool ok;
        bool clamp;
        std::int64_t epoch;
    };
    const Case cases[] = {
        {nullptr, true, false, 0},
        {"", true, false, 0},
        {"0", true, true, 0},
        {"858429001", true, true, 858429001},
        {"9007199254740992", true, true, std::int64_t{1} << 53},
        {"9007199254740993", false, false, 0},
        {"123456789012345678901234567890", false, false, 0},
        {"-1", false, false, 0},
        {"+5", false, false, 0},
        {"12 ", false, false, 0},
        {" 12", false, false, 0},
        {"1.5", false, false, 0},
        {"now", false, false, 0},
    };
    for (const Case& c : cases) {
        const char* shown = c.value ? c.value : "(unset)";
        StampRule rule;
        rule.clampToEpoch = true;   // a refused or unset value leaves no clamp behind
        std::string error;
        EXPECT_EQ(bv::ParseSourceDateEpoch(c.value, &rule, &error), c.ok) << shown;
        EXPECT_EQ(rule.clampToEpoch, c.clamp) << shown;
        if (c.clamp) {
            EXPECT_EQ(rule.epoch, c.epoch) << shown;
        }
        EXPECT_EQ(error.empty(), c.ok) << shown << ": " << error;
        if (!c.ok) {
            EXPECT_NE(error.find("SOURCE_DATE_EPOCH"), std::string::npos) << error;
        }
    }
}

TEST(SourceFiles, StampsUnderAnEpochAreUtcAndClamped)
{
    const std::uint32_t first = bv::MakeDosStamp(1980, 1, 1, 0, 0, 0);
    const std::uint32_t last = bv::MakeDosStamp(2107, 12, 31, 23, 59, 58);
    struct Case {
        const char* name;
        std::int64_t epoch;
        std::int64_t time;
        std::uint32_t stamp;
        StampFit fit;
        const char* shown;
    };
    const Case cases[] = {
        {"earlier than the epoch: kept, odd second rounded down", 946684800, 858429001,
         bv::MakeDosStamp(1997, 3, 15, 12, 30, 0), StampFit::InRange, "1997-03-15 12:30:01"},
        {"later than the epoch: the epoch", 858429001, 946684800, bv::MakeDosStamp(1997, 3, 15, 12, 30, 0),
         StampFit::InRange, "1997-03-15 12:30:01"},
        {"equal to the epoch", 946684800, 946684800, bv::MakeDosStamp(2000, 1, 1, 0, 0, 0), StampFit::InRange,
         "2000-01-01 00:00:00"},
        {"first DOS second", 946684800, 315532800, first, StampFit::InRange, "1980-01-01 00:00:00"},
        {"one second before 1980", 946684800, 315532799, first, StampFit::Before1980, "1979-12-31 23:59:59"},
        {"before 1970", 946684800, -86400, first, StampFit::Before1980, "1969-12-31 00:00:00"},
        {"epoch before 1980 clamps a fresh file below the range", 0, 1700000000, first, StampFit::Before1980,
         "1970-01-01 00:00:00"},
        {"last DOS second", std::int64_t{1} << 53, 4354819199, last, StampFit::InRange, "2107-12-31 23:59:59"},
        {"after 2107", std::int64_t{1} << 53, 4354819200, last, StampFit::After2107, "2108-01-01 00:00:00"},
        {"epoch after 2107", 4354819200, 4354819300, last, StampFit::After2107, "2108-01-01 00:00:00"},
    };
    for (const Case& c : cases) {
        StampRule rule;
        rule.clampToEpoch = true;
        rule.epoch = c.epoch;
        StampFit fit;
        std::string shown;
        EXPECT_EQ(bv::StampOfTime(c.time, rule, &fit, &shown), c.stamp) << c.name;
        EXPECT_EQ(fit, c.fit) << c.name;
        EXPECT_EQ(shown, c.shown) << c.name;
    }
}

// Without an epoch, stamps are in the packing host's local time and later
// times stay as they are.
TEST(SourceFiles, StampsWithoutAnEpochAreLocal)
{
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "XYZ-2", 1);   // two hours east of UTC, no daylight saving
    tzset();
    StampRule rule;
    StampFit fit;
    std::string shown;
    EXPECT_EQ(bv::StampOfTime(858429001, rule, &fit, &shown), bv::MakeDosStamp(1997, 3, 15, 14, 30, 0));
    EXPECT_EQ(shown, "1997-03-15 14:30:01");
    EXPECT_EQ(fit, StampFit::InRange);
    // 23:00 UTC on the last day of 1979 is already 1980 here.
    EXPECT_EQ(bv::StampOfTime(315529200, rule, &fit, &shown), bv::MakeDosStamp(1980, 1, 1, 1, 0, 0));
    EXPECT_EQ(fit, StampFit::InRange);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(SourceFiles, LoadSourceFile)
{
    fs::path root = MakeScratchDir("bv-source");
    auto write = [&](const char* name, const std::string& bytes, std::time_t mtime) {
        std::ofstream(root / name, std::ios::binary) << bytes;
        struct utimbuf t = {mtime, mtime};
        utime((root / name).c_str(), &t);
    };
    write("NEW.TXT", "new", 1700000000);
    write("OLD.TXT", "old", 170848800);   // 1975-06-01 10:00:00 UTC
    write("RO.TXT", "", 858429001);
    fs::permissions(root / "RO.TXT", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directories(root / "DIR");

    StampRule rule;
    rule.clampToEpoch = true;
    rule.epoch = 946684800;   // 2000-01-01
    struct Case {
        const char* name;
        bool ok;
        const char* bytes;
        std::uint32_t attributes;
        std::uint32_t stamp;
        const char* warns;   // nullptr: no warning
    };
    const Case cases[] = {
        {"NEW.TXT", true, "new", bv::ATTR_ARCHIVE, bv::MakeDosStamp(2000, 1, 1, 0, 0, 0), nullptr},
        {"OLD.TXT", true, "old", bv::ATTR_ARCHIVE, bv::MakeDosStamp(1980, 1, 1, 0, 0, 0),
         "time 1975-06-01 10:00:00 (UTC) is before 1980; stored as 1980-01-01 00:00:00"},
        {"RO.TXT", true, "", bv::ATTR_ARCHIVE | bv::ATTR_READONLY, bv::MakeDosStamp(1997, 3, 15, 12, 30, 0), nullptr},
        {"DIR", false, "", 0, 0, nullptr},
        {"MISSING.TXT", false, "", 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        bv::ArchiveMember m;
        std::string error, warning;
        const std::string file = (root / c.name).string();
        ASSERT_EQ(bv::LoadSourceFile(file, std::string("SUB\\") + c.name, rule, &m, &error, &warning), c.ok)
            << c.name << ": " << error;
        if (!c.ok) {
            EXPECT_NE(error.find(file), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(m.path, std::string("SUB\\") + c.name);
        EXPECT_EQ(std::string(m.data.begin(), m.data.end()), c.bytes) << c.name;
        EXPECT_EQ(m.attributes, c.attributes) << c.name;
        EXPECT_EQ(m.dosStamp, c.stamp) << c.name;
        if (c.warns) {
            EXPECT_NE(warning.find(c.warns), std::string::npos) << warning;
        } else {
            EXPECT_EQ(warning, "") << c.name;
        }
    }
    RemoveScratchDir(root);
}

TEST(SourceFiles, MemberOrderIsByteOrderOfStoredPaths)
{
    // Backslash (0x5C) sorts after digits and capitals, '/' (0x2F) before
    // them: the order follows the paths as stored. Bytes above 0x7F sort last.
    std::vector<std::string> paths = {"b.txt", "A/B", "\xE9t\xE9.txt", "A0", "A.TXT", "a", "B/A/Z", "B/A.TXT"};
    bv::SortSourcePaths(paths);
    const std::vector<std::string> wanted = {"A.TXT", "A0", "A/B", "B/A.TXT", "B/A/Z", "a", "b.txt", "\xE9t\xE9.txt"};
    EXPECT_EQ(paths, wanted);
}

}  // namespace
