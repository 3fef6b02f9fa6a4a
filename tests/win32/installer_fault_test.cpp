// SETUP.EXE under faults of the world, one row per case: files in the way,
// destinations Windows cannot hold, damaged, foreign, empty and missing
// volumes, Abort and Cancel in the middle of a member, two copies at once,
// a program that is missing, and (in its own test, under a file size limit)
// a full drive. Each row states every box in order with its answer, what is
// left on disk and the exit code. Rows for the archive format's own limits
// (a continuation volume says only its number; no stream has a checksum)
// assert today's behaviour, so that it cannot change by accident.
#include <functional>

#include "installer_fixture.h"
#include "progman_standin.h"
#include "installer_texts.h"

using namespace installer_test;

namespace {

// Every archive here ends its script by starting a program that is not
// there: the box it gives shows that the installation got that far.
const char LAUNCH_FAILED[] = "Execution failed; error code = 2";
const char MISSING_PROGRAM[] = "NOPROG.EXE";

const std::uint32_t BIG_STAMP = bv::MakeDosStamp(1999, 12, 31, 23, 59, 58);
const std::size_t BIG_SIZE = 40000;   // many slices, and a stream to cut
// The largest file the full-drive test may write: its `ulimit -f` in bytes.
const std::size_t FULL_DRIVE_LIMIT = 64 * 1024;

// One box: its text ("%DIR%" stands for the installer's directory as the
// disk prompt names it), style and answer, and what the test does next.
struct BoxStep {
    BoxStep(std::string text_, UINT style_, std::string answer_, std::function<void(Installer&)> then_ = nullptr)
        : text(std::move(text_)), style(style_), answer(std::move(answer_)), then(std::move(then_))
    {
    }
    std::string text;
    UINT style;
    std::string answer;
    std::function<void(Installer&)> then;
};

// One row's directories: SETUP.EXE with its volumes, and the destination.
struct Bed {
    std::string dir;
    std::string dest;
};

// SMALL.DAT, BIG.DAT (noise, so that its stream is long) and TAIL.DAT,
// then the launch of a missing program.
bv::ArchiveInput Release(const std::string& dest, std::uint32_t seed = 7)
{
    bv::ArchiveInput input;
    input.defaultDest = dest;
    input.members.push_back(Member("SMALL.DAT", Bytes("small")));
    input.members.push_back(Member("BIG.DAT", NoiseBytes(BIG_SIZE, seed), bv::ATTR_ARCHIVE, BIG_STAMP));
    input.members.push_back(Member("TAIL.DAT", Bytes("tail")));
    input.script.program = MISSING_PROGRAM;
    return input;
}

// The release as one volume's bytes.
std::string WholeVolume(const bv::ArchiveInput& input)
{
    std::vector<std::vector<std::uint8_t>> volumes;
    std::string error;
    EXPECT_TRUE(bv::WriteArchive(input, bv::VOLUME_UNLIMITED, &volumes, &error)) << error;
    return volumes.empty() ? "" : AsString(volumes[0]);
}

// Offset of a member's record in the whole volume.
std::size_t RecordOf(const std::string& whole, const std::string& path)
{
    std::size_t at = whole.find("[PRNAME=" + path + "]");
    EXPECT_NE(at, std::string::npos) << path;
    return at;
}

// An offset in the middle of BIG.DAT's stream.
std::size_t InsideBig(const std::string& whole)
{
    return RecordOf(whole, "BIG.DAT") + 2000;
}

// Volumes 0 and 1 of the whole volume cut at an offset: volume 1 is its
// continuation header and the rest.
std::vector<std::string> CutAt(const std::string& whole, std::size_t cut)
{
    return {whole.substr(0, cut), "[TARNBOLT 1]" + whole.substr(cut)};
}

// The release in two volumes cut inside BIG.DAT.
std::vector<std::string> CutInsideBig(const std::string& dest)
{
    std::string whole = WholeVolume(Release(dest));
    return CutAt(whole, InsideBig(whole));
}

std::string Big(std::uint32_t seed = 7)
{
    return AsString(NoiseBytes(BIG_SIZE, seed));
}

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Holds a file open as another program would, sharing it with readers only.
struct HeldOpen {
    HANDLE handle;
    explicit HeldOpen(const std::string& path)
        : handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        EXPECT_NE(handle, INVALID_HANDLE_VALUE) << path;
    }
    ~HeldOpen()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

struct FaultRow {
    const char* name;
    // Volumes and whatever is in the way; by default the release whole.
    std::function<void(const Bed&)> arrange;
    // From the dialog on screen until the first box (default: Next with the
    // default destination).
    std::function<void(Installer&, const Bed&)> act;
    std::vector<BoxStep> boxes;
    // What is on disk once SETUP.EXE has ended.
    std::function<void(const Bed&)> check;
};

void WriteRelease(const Bed& bed)
{
    WriteArchive(bed.dir, Release(bed.dest));
}

// Next with this entry in the destination field.
std::function<void(Installer&, const Bed&)> Enter(const std::string& entry)
{
    return [entry](Installer& setup, const Bed&) { setup.Next(entry); };
}

// The whole release installed as stored.
void ExpectInstalled(const Bed& bed)
{
    EXPECT_EQ(ReadFile(bed.dest + "\\SMALL.DAT"), "small");
    EXPECT_EQ(ReadFile(bed.dest + "\\BIG.DAT"), Big());
    EXPECT_TRUE(SameTime(LastWriteTime(bed.dest + "\\BIG.DAT"), StampToFileTime(BIG_STAMP)));
    EXPECT_EQ(ReadFile(bed.dest + "\\TAIL.DAT"), "tail");
}

// SMALL.DAT installed, BIG.DAT as far as it was written, nothing after it.
void ExpectBigPartial(const Bed& bed)
{
    EXPECT_EQ(ReadFile(bed.dest + "\\SMALL.DAT"), "small");
    std::string big = ReadFile(bed.dest + "\\BIG.DAT");
    EXPECT_TRUE(Exists(bed.dest + "\\BIG.DAT"));
    EXPECT_LT(big.size(), BIG_SIZE);
    EXPECT_EQ(big, Big().substr(0, big.size()));
    EXPECT_FALSE(Exists(bed.dest + "\\TAIL.DAT"));
}

// BIG.DAT completed from bytes that are not its own: full size, its stored
// date, right up to the volume boundary and wrong from there on.
void ExpectBigWrongFromTheBoundary(const Bed& bed)
{
    EXPECT_EQ(ReadFile(bed.dest + "\\SMALL.DAT"), "small");
    std::string big = ReadFile(bed.dest + "\\BIG.DAT"), right = Big();
    ASSERT_EQ(big.size(), BIG_SIZE);
    std::size_t same = 0;
    while (same < big.size() && big[same] == right[same]) same++;
    EXPECT_GT(same, 0u) << "the bytes before the boundary are BIG.DAT's own";
    EXPECT_LT(same, BIG_SIZE) << "the bytes after it are not";
    EXPECT_TRUE(SameTime(LastWriteTime(bed.dest + "\\BIG.DAT"), StampToFileTime(BIG_STAMP)));
    EXPECT_FALSE(Exists(bed.dest + "\\TAIL.DAT"));
}

// A refused entry (mustNotExist: what it would have made, "" for none to
// test): the warning, the dialog still choosing the destination
// with the entry in its field, then Abort.
FaultRow RefusedEntry(const char* name, const std::string& entry, const std::string& mustNotExist)
{
    auto unchanged = [entry](Installer& setup) {
        ASSERT_NO_FATAL_FAILURE(ExpectStillChoosing(setup, entry));
        Click(setup.dialog, ABORT);
    };
    return {name, nullptr, Enter(entry),
            {{REFUSED, WARNING_BOX, "OK", unchanged}, {ABORT_QUESTION, QUESTION_BOX, "Yes"}},
            [mustNotExist](const Bed& bed) {
                EXPECT_TRUE(FilesBelow(bed.dest).empty());
                if (mustNotExist.empty()) return;
                EXPECT_FALSE(Exists(mustNotExist)) << mustNotExist;
                RemoveTree(mustNotExist);
            }};
}

std::string WithDir(std::string text, const Bed& bed)
{
    std::size_t at = text.find("%DIR%");
    if (at != std::string::npos) text.replace(at, 5, Upper(bed.dir));
    return text;
}

// Every box that SETUP.EXE asked for, in order.
std::vector<std::string> BoxesShown(const Installer& setup)
{
    std::vector<std::string> shown;
    for (const std::string& entry : setup.watch.Trail())
        if (entry.rfind("box:", 0) == 0) shown.push_back(entry.substr(4));
    return shown;
}

// Runs one row: SETUP.EXE in a fresh directory, the row's action, every
// box answered in order, then the exit code, the boxes SETUP.EXE asked for
// (exactly those of the row) and the disk.
void RunRow(const FaultRow& row)
{
    SCOPED_TRACE(row.name);
    Bed bed;
    bed.dir = FreshDir(std::string("fault_") + row.name);
    bed.dest = bed.dir + "\\DEST";
    MakeDirs(bed.dest);
    (row.arrange ? row.arrange : WriteRelease)(bed);
    {
        Installer setup(bed.dir);
        ASSERT_NE(setup.dialog, nullptr);
        if (row.act)
            row.act(setup, bed);
        else
            Click(setup.dialog, NEXT);
        std::vector<std::string> expected;
        for (const BoxStep& box : row.boxes) {
            expected.push_back(WithDir(box.text, bed));
            ExpectBox(setup, expected.back(), box.style, box.answer);
            if (box.then) box.then(setup);
        }
        EXPECT_EQ(setup.WaitEnd(), 0);
        EXPECT_EQ(BoxesShown(setup), expected);
    }
    row.check(bed);
}

// The release, and an old BIG.DAT with these attributes in the destination.
void WriteReleaseAndOldBig(const Bed& bed, DWORD attributes)
{
    WriteRelease(bed);
    MakeDirs(bed.dest);
    WriteFile(bed.dest + "\\BIG.DAT", "old");
    SetFileAttributesA((bed.dest + "\\BIG.DAT").c_str(), attributes);
}

// An old BIG.DAT with this attribute in the way: replaced, the whole release
// installed and the attribute gone.
FaultRow ReplacedInTheWay(const char* name, DWORD attribute)
{
    return {name, [attribute](const Bed& bed) { WriteReleaseAndOldBig(bed, attribute); }, nullptr,
            {{LAUNCH_FAILED, ERROR_BOX, "OK"}},
            [attribute](const Bed& bed) {
                ExpectInstalled(bed);
                EXPECT_EQ(Attributes(bed.dest + "\\BIG.DAT") & attribute, 0u);
            }};
}

TEST(Faults, FilesInTheWay)
{
    const FaultRow rows[] = {
        // Replaced, and given the stored attributes.
        ReplacedInTheWay("read_only", FILE_ATTRIBUTE_READONLY),
        // Replaced too, and given the stored attributes: Wine opens a hidden
        // file for writing like any other. (Windows itself refuses to
        // replace a hidden file through a plain open: the open error.)
        ReplacedInTheWay("hidden", FILE_ATTRIBUTE_HIDDEN),
        {"folder",
         [](const Bed& bed) {
             WriteRelease(bed);
             MakeDirs(bed.dest + "\\BIG.DAT");
         },
         nullptr, {{CANNOT_OPEN, ERROR_BOX, "OK"}},
         [](const Bed& bed) {
             EXPECT_EQ(ReadFile(bed.dest + "\\SMALL.DAT"), "small");
             EXPECT_NE(Attributes(bed.dest + "\\BIG.DAT") & FILE_ATTRIBUTE_DIRECTORY, 0u);
             EXPECT_FALSE(Exists(bed.dest + "\\TAIL.DAT"));
         }},
    };
    for (const FaultRow& row : rows) RunRow(row);
}

// A file that another program holds open, plain or read-only: the open
// error, the file as it was found, read-only attribute included.
TEST(Faults, FileHeldOpen)
{
    for (DWORD attributes : {DWORD(FILE_ATTRIBUTE_NORMAL), DWORD(FILE_ATTRIBUTE_READONLY)}) {
        std::unique_ptr<HeldOpen> held;
        FaultRow row = {attributes == FILE_ATTRIBUTE_READONLY ? "held_read_only" : "held",
                        [&held, attributes](const Bed& bed) {
                            WriteReleaseAndOldBig(bed, attributes);
                            held.reset(new HeldOpen(bed.dest + "\\BIG.DAT"));
                        },
                        nullptr,
                        {{CANNOT_OPEN, ERROR_BOX, "OK"}},
                        [&held, attributes](const Bed& bed) {
                            held.reset();
                            EXPECT_EQ(ReadFile(bed.dest + "\\SMALL.DAT"), "small");
                            EXPECT_EQ(ReadFile(bed.dest + "\\BIG.DAT"), "old");
                            EXPECT_EQ(Attributes(bed.dest + "\\BIG.DAT") & FILE_ATTRIBUTE_READONLY,
                                      attributes & FILE_ATTRIBUTE_READONLY);
                            EXPECT_FALSE(Exists(bed.dest + "\\TAIL.DAT"));
                        }};
        RunRow(row);
    }
}

// Refused before any question, the dialog unchanged: a DOS device, a
// component ending in a blank (invisible in the field) or a dot.
TEST(Faults, DestinationsWindowsCannotHold)
{
    const FaultRow rows[] = {
        RefusedEntry("device", "C:\\NUL", ""),
        RefusedEntry("device_in_path", "C:\\BVAPPS\\LPT1.TXT\\SUB", "C:\\BVAPPS"),
        RefusedEntry("trailing_blank", "C:\\APP2 ", "C:\\APP2"),
        RefusedEntry("trailing_dot", "C:\\APP3.\\SUB", "C:\\APP3"),
    };
    for (const FaultRow& row : rows) RunRow(row);
}

TEST(Faults, DamagedMissingAndForeignVolumes)
{
    const FaultRow rows[] = {
        // Volume 0 cut short inside BIG.DAT: the member is completed from
        // the next volume's bytes, at full size with its stored date, and
        // only the next record is found damaged.
        {"truncated_inside_member",
         [](const Bed& bed) {
             std::vector<std::string> volumes = CutInsideBig(bed.dest);
             volumes[0].resize(volumes[0].size() - 500);
             WriteRawVolumes(bed.dir, volumes);
         },
         nullptr, {{SOURCE_DAMAGED, ERROR_BOX, "OK"}},
         ExpectBigWrongFromTheBoundary},
        // The last volume cut short inside BIG.DAT: a disk that never
        // existed is asked for; Cancel keeps the member as far as written.
        {"truncated_last_volume",
         [](const Bed& bed) {
             std::vector<std::string> volumes = CutInsideBig(bed.dest);
             volumes[1].resize(volumes[1].size() / 2);
             WriteRawVolumes(bed.dir, volumes);
         },
         nullptr, {{"Insert disk number 2 with file \"SETUP.E02\"\r\nin %DIR%", DISK_PROMPT, "Cancel"}},
         ExpectBigPartial},
        // Volume 1 of another archive, cut at the same place: taken, since
        // a continuation volume says only its number.
        {"foreign_volume",
         [](const Bed& bed) {
             std::string whole = WholeVolume(Release(bed.dest));
             std::string other = WholeVolume(Release(bed.dest, 99));
             WriteRawVolumes(bed.dir, {CutAt(whole, InsideBig(whole))[0], CutAt(other, InsideBig(other))[1]});
         },
         nullptr, {{SOURCE_DAMAGED, ERROR_BOX, "OK"}},
         ExpectBigWrongFromTheBoundary},
        // Volume 1 of another version of the same release, both cut just
        // before BIG.DAT's record: nothing can tell, the other version's
        // members and script are installed.
        {"other_version",
         [](const Bed& bed) {
             bv::ArchiveInput v2 = Release(bed.dest, 99);
             v2.members[2] = Member("NEWER.DAT", Bytes("newer"));
             std::string whole = WholeVolume(Release(bed.dest));
             std::string other = WholeVolume(v2);
             WriteRawVolumes(bed.dir, {CutAt(whole, RecordOf(whole, "BIG.DAT"))[0],
                                       CutAt(other, RecordOf(other, "BIG.DAT"))[1]});
         },
         nullptr, {{LAUNCH_FAILED, ERROR_BOX, "OK"}},
         [](const Bed& bed) {
             EXPECT_EQ(ReadFile(bed.dest + "\\SMALL.DAT"), "small");
             EXPECT_EQ(ReadFile(bed.dest + "\\BIG.DAT"), Big(99));
             EXPECT_EQ(ReadFile(bed.dest + "\\NEWER.DAT"), "newer");
             EXPECT_FALSE(Exists(bed.dest + "\\TAIL.DAT"));
         }},
    };
    for (const FaultRow& row : rows) RunRow(row);
}

// The disk prompts of a volume that is empty or missing, the cut inside
// BIG.DAT: Cancel ends the installation in the middle of the member.
TEST(Faults, EmptyAndMissingVolumesCancelledMidMember)
{
    for (bool empty : {true, false}) {
        FaultRow row = {empty ? "empty_volume" : "missing_volume",
                        [empty](const Bed& bed) {
                            std::vector<std::string> volumes = CutInsideBig(bed.dest);
                            if (empty) volumes[1].clear();
                            else volumes.pop_back();
                            WriteRawVolumes(bed.dir, volumes);
                        },
                        nullptr,
                        {{std::string(empty ? "File \"SETUP.E01\" is not disk number 1.\r\n" : "") +
                              "Insert disk number 1 with file \"SETUP.E01\"\r\nin %DIR%",
                          DISK_PROMPT, "Cancel"}},
                        ExpectBigPartial};
        RunRow(row);
    }
}

// Abort confirmed in the middle of BIG.DAT: the member stays as far as it
// was written.
TEST(Faults, AbortMidMember)
{
    FaultRow row = {"abort_mid_member", nullptr,
                    [](Installer& setup, const Bed&) {
                        setup.HoldInMember("BIG.DAT");
                        Click(setup.dialog, NEXT);
                        ASSERT_TRUE(setup.WaitHeldInMember("BIG.DAT"));
                        Click(setup.dialog, ABORT);
                    },
                    {{ABORT_QUESTION, QUESTION_BOX, "Yes"}},
                    ExpectBigPartial};
    RunRow(row);
}

// A second copy started in the same folder while the first writes BIG.DAT
// cannot open it: it says so and ends, and the first completes the file.
TEST(Faults, TwoCopiesAtOnce)
{
    FaultRow row = {"two_copies", nullptr,
                    [](Installer& first, const Bed& bed) {
                        first.HoldInMember("BIG.DAT");
                        Click(first.dialog, NEXT);
                        ASSERT_TRUE(first.WaitHeldInMember("BIG.DAT"));
                        {
                            Installer second(bed.dir);
                            ASSERT_NE(second.dialog, nullptr);
                            Click(second.dialog, NEXT);
                            ExpectBox(second, CANNOT_OPEN, ERROR_BOX);
                            EXPECT_EQ(second.WaitEnd(), 0);
                            EXPECT_EQ(BoxesShown(second), std::vector<std::string>{CANNOT_OPEN});
                        }
                        first.watch.Release();
                    },
                    {{LAUNCH_FAILED, ERROR_BOX, "OK"}},
                    ExpectInstalled};
    RunRow(row);
}

// The script's program is not there: the launch error, everything installed.
TEST(Faults, MissingProgram)
{
    RunRow({"missing_program", nullptr, nullptr, {{LAUNCH_FAILED, ERROR_BOX, "OK"}}, ExpectInstalled});
}

// An item whose program is not there is passed on as it stands (the
// installer does not look for it; Program Manager, here a stand-in that
// accepts every command, decides), then the launch.
TEST(Faults, MissingItemCommand)
{
    {
        standin::WineProgmanSilenced silenced;
        ASSERT_TRUE(silenced.Silenced()) << "Wine's Program Manager not found";
        standin::StandInServer server;
        ASSERT_TRUE(server.Serving());
        FaultRow row = {"missing_item_command",
                        [](const Bed& bed) {
                            bv::ArchiveInput input = Release(bed.dest);
                            input.script.group = "Faults";
                            input.script.items = {"NOSUCH.EXE,Missing"};
                            WriteArchive(bed.dir, input);
                        },
                        nullptr, {{LAUNCH_FAILED, ERROR_BOX, "OK"}},
                        [&server](const Bed& bed) {
                            ExpectInstalled(bed);
                            EXPECT_FALSE(Exists(bed.dest + "\\NOSUCH.EXE"));
                            std::vector<std::string> commands = server.Commands();
                            ASSERT_EQ(commands.size(), 2u);
                            EXPECT_EQ(Upper(commands[1]),
                                      Upper("[AddItem(\"" + bed.dest + "\\NOSUCH.EXE\",Missing)]") + '\0');
                        }};
        RunRow(row);
    }
    EXPECT_TRUE(standin::WaitForWineProgman()) << "Wine's Program Manager not restored";
}

// A full drive, simulated by a file size limit on the test and the
// installer it starts (CMake runs this test under one): the write error
// when BIG.DAT reaches the limit, no later member and no launch.
TEST(FullDrive, WriteErrorAndStop)
{
    std::string probe = FreshDir("full_drive_probe") + "\\PROBE.DAT";
    WriteFile(probe, std::string(FULL_DRIVE_LIMIT + 1, 'x'));
    bool limited = ReadFile(probe).size() <= FULL_DRIVE_LIMIT;
    RemoveTree(FreshDir("full_drive_probe"));
    if (!limited) GTEST_SKIP() << "files grow past " << FULL_DRIVE_LIMIT << " bytes: no file size limit on this process";
    RunRow({"full_drive",
            [](const Bed& bed) {
                bv::ArchiveInput input = Release(bed.dest);
                input.members[1] = Member("BIG.DAT", std::vector<std::uint8_t>(4 * FULL_DRIVE_LIMIT, 0));
                WriteArchive(bed.dir, input);
            },
            nullptr, {{CANNOT_WRITE, ERROR_BOX, "OK"}},
            [](const Bed& bed) {
                EXPECT_EQ(ReadFile(bed.dest + "\\SMALL.DAT"), "small");
                std::string big = ReadFile(bed.dest + "\\BIG.DAT");
                EXPECT_LE(big.size(), FULL_DRIVE_LIMIT);
                EXPECT_EQ(big, std::string(big.size(), '\0'));
                EXPECT_FALSE(Exists(bed.dest + "\\TAIL.DAT"));
            }});
}

}  // namespace
