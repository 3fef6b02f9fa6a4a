// Carrying out a packing request, one named step after another.
#include "packer/release/pack_request.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/archive.h"
#include "packer/media/disk_image.h"
#include "packer/release/manifest.h"
#include "packer/release/code_page.h"
#include "packer/release/release_files.h"
#include "packer/release/release_output.h"
#include "packer/release/sha256.h"
#include "packer/release/source_file.h"
#include "packer/release/source_members.h"

namespace bv {

namespace fs = std::filesystem;

namespace {

// The line a refused input goes back to: the first member (in order) whose
// addition makes the check fail, else the first script value that does.
// Prefixes fail from some length on, so the first is found by halving.
int LineOfProblem(const PackRequest& request, ArchiveInput probe, std::string* problem)
{
    const std::vector<ArchiveMember> members = probe.members;
    const ArchiveScript script = probe.script;
    probe.script = ArchiveScript();
    probe.members.clear();
    if (!(*problem = CheckArchiveInput(probe)).empty())
        return request.destLine;
    std::size_t good = 0, bad = members.size() + 1;   // prefix lengths
    while (bad - good > 1) {
        std::size_t mid = good + (bad - good) / 2;
        probe.members.assign(members.begin(), members.begin() + static_cast<std::ptrdiff_t>(mid));
        if (CheckArchiveInput(probe).empty())
            good = mid;
        else
            bad = mid;
    }
    if (bad <= members.size()) {
        probe.members.assign(members.begin(), members.begin() + static_cast<std::ptrdiff_t>(bad));
        *problem = CheckArchiveInput(probe);
        return request.files[bad - 1].line;
    }
    probe.members = members;
    probe.script.group = script.group;
    if (!(*problem = CheckArchiveInput(probe)).empty())
        return request.groupLine;
    for (std::size_t i = 0; i < script.items.size(); i++) {
        probe.script.items.push_back(script.items[i]);
        if (!(*problem = CheckArchiveInput(probe)).empty())
            return i < request.itemLines.size() ? request.itemLines[i] : 0;
    }
    probe.script.program = script.program;
    *problem = CheckArchiveInput(probe);
    return request.runLine;
}

struct PackingProgress {
    Reporter* reporter;
    const ArchiveInput* input;
    const ArchivePayload* payload;
    std::uint64_t bytesTotal;
    std::uint64_t bytesDone;
};

void ShowPacking(std::size_t index, std::size_t count, const std::string& path, void* context)
{
    PackingProgress& p = *static_cast<PackingProgress*>(context);
    if (index > 0)
        p.bytesDone += p.input->members[index - 1].data.size();
    ProgressFigures f;
    f.filesDone = index;
    f.filesTotal = count;
    f.bytesDone = p.bytesDone;
    f.bytesTotal = p.bytesTotal;
    f.packedDone = p.payload->bytes.size();
    f.fraction = p.bytesTotal ? static_cast<double>(p.bytesDone) / static_cast<double>(p.bytesTotal) : -1;
    p.reporter->Show("packing", f, path);
}

// Copies a file with its modification time, into a place where nothing is.
bool CopyWithTime(const std::string& from, const fs::path& to, std::string* error)
{
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::none, ec);
    if (!ec) {
        const fs::file_time_type stamp = fs::last_write_time(from, ec);
        if (!ec)
            fs::last_write_time(to, stamp, ec);
    }
    if (ec)
        *error = "cannot copy " + from + " to " + to.string() + ": " + ec.message();
    return !ec;
}

// One run of a request: what it has found and made so far, step by step.
struct PackRun {
    const PackRequest& request;
    Reporter& reporter;
    ArchiveInput input;                           // members in request order
    std::vector<DisketteFile> disk1;              // installer and disk-1 files
    std::uint64_t firstRoom = 0, room = 0;        // volume 0's room and every other's
    StampRule stampRule;
    std::uint64_t inBytes = 0;                    // the members' bytes
    std::vector<std::vector<std::uint8_t>> volumes;
    std::vector<Diskette> disks;                  // a diskette release's diskettes
    std::vector<std::string> names;               // the files it writes: volumes first
    ReleaseOutput output;
    bool inPlace = false;                         // the new release is in the output folder

    int Fail(int code, int line, const std::string& message)
    {
        return reporter.Fail(code, WhereIs(request, line) + message);
    }

    // An interrupt before the release is in place ends the run; leaving it
    // removes what was staged.
    int FailInterrupted() { return Fail(EXIT_IO, 0, "interrupted; nothing was written"); }
};

// Images are diskettes: they need a diskette kind.
int CheckImagesHaveAKind(PackRun& run)
{
    const PackRequest& request = run.request;
    if (!request.media.images || request.media.kind != nullptr)
        return EXIT_OK;
    return run.Fail(EXIT_USAGE, request.imagesLine,
                    std::string(request.origin.empty() ? "--images needs a diskette kind: --volume "
                                                       : "Images needs a diskette kind: Diskette = ") +
                        DisketteKindNames());
}

// The names as the installer takes them: member paths, destination, group,
// items and program line in the release's code page.
int TakeNamesIntoTheCodePage(PackRun& run)
{
    const PackRequest& request = run.request;
    const std::string page = "code page " + std::to_string(request.codePage);
    std::string bad;
    auto convert = [&](const std::string& text, std::string* out, int line, const std::string& what) {
        if (ToCodePage(text, request.codePage, out, &bad))
            return static_cast<int>(EXIT_OK);
        return run.Fail(EXIT_USAGE, line, what + " has \"" + bad + "\", which " + page + " lacks");
    };
    int code = convert(request.defaultDest, &run.input.defaultDest, request.destLine,
                       "the destination \"" + request.defaultDest + "\"");
    run.input.allowChange = request.allowChange;
    const ArchiveScript& script = request.script;
    if (code == EXIT_OK)
        code = convert(script.group, &run.input.script.group, request.groupLine, "the group \"" + script.group + "\"");
    run.input.script.items.resize(script.items.size());
    for (std::size_t i = 0; i < script.items.size() && code == EXIT_OK; i++)
        code = convert(script.items[i], &run.input.script.items[i], i < request.itemLines.size() ? request.itemLines[i] : 0,
                       "the program item \"" + script.items[i] + "\"");
    if (code == EXIT_OK)
        code = convert(script.program, &run.input.script.program, request.runLine,
                       "the program to run \"" + script.program + "\"");
    for (const PackFile& f : request.files) {
        ArchiveMember m;
        if (code == EXIT_OK)
            code = convert(f.member, &m.path, f.line, "the name of " + f.source);
        run.input.members.push_back(std::move(m));
    }
    return code;
}

// Everything the format cannot hold is refused before a file is read.
int CheckWhatTheFormatHolds(PackRun& run)
{
    const PackRequest& request = run.request;
    std::string problem = CheckArchiveInput(run.input);
    if (problem.empty())
        return EXIT_OK;
    int line = LineOfProblem(request, run.input, &problem);
    return run.Fail(EXIT_USAGE, line, problem);
}

// Disk 1 must leave room for volume 0, and images need their tools.
int PlanTheRoomOfVolumes(PackRun& run)
{
    const PackRequest& request = run.request;
    const ReleaseMedia& media = request.media;
    std::string error;
    int which = -1;
    int code = DiskOneFiles(media, request.name, &run.disk1, &error, &which);
    if (code != EXIT_OK) {
        int line = which < 0 ? request.installerLine
                   : static_cast<std::size_t>(which) < request.diskOneLines.size() ? request.diskOneLines[which] : 0;
        return run.Fail(code, line, error);
    }
    run.firstRoom = run.room = media.volumeSize;
    if (media.kind != nullptr) {
        if (!FirstVolumeRoom(*media.kind, request.name, run.disk1, &run.firstRoom, &error))
            return run.Fail(EXIT_USAGE, request.disketteLine, error);
        run.room = media.kind->DataBytes();
    }
    if (media.images) {
        std::string missing = MissingImageTools();
        if (!missing.empty())
            return run.Fail(EXIT_IO, 0, missing);
    }
    return EXIT_OK;
}

// An archive of nothing installs nothing: refused.
int CheckThereAreFiles(PackRun& run)
{
    const PackRequest& request = run.request;
    if (!request.files.empty())
        return EXIT_OK;
    return run.Fail(EXIT_USAGE, 0, request.origin.empty() ? "no files to pack"
                                                          : request.origin + ": [Files] names no file to pack");
}

// Warnings for what the installer may stumble on but need not: a program to
// run that is no member (it may be one of the system's), and member paths
// that pass Windows' 259 characters under the default destination.
int WarnOfProgramAndPathLengths(PackRun& run)
{
    const PackRequest& request = run.request;
    const std::string& program = run.input.script.program;
    if (!program.empty()) {
        const std::string command = UpperCase(program.substr(0, program.find(' ')));
        bool member = false;
        for (const ArchiveMember& m : run.input.members)
            member = member || UpperCase(m.path) == command;
        if (!member)
            run.reporter.Warn(WhereIs(request, request.runLine) + "the program to run, " +
                              request.script.program.substr(0, request.script.program.find(' ')) +
                              ", is no member of the archive; the installer finds it only if Windows does");
    }
    // Lengths in the code page's bytes, one a character.
    std::size_t longest = 0;
    for (std::size_t i = 1; i < run.input.members.size(); i++)
        if (run.input.members[i].path.size() > run.input.members[longest].path.size())
            longest = i;
    constexpr std::size_t kWindowsPathMax = 259;
    if (!request.files.empty()) {
        const std::size_t length = run.input.defaultDest.size() + 1 + run.input.members[longest].path.size();
        if (length > kWindowsPathMax)
            run.reporter.Warn(WhereIs(request, request.files[longest].line) + "the longest member path, " +
                              request.files[longest].member + ", is " + std::to_string(length) +
                              " characters long under " + request.defaultDest + "; Windows takes at most " +
                              std::to_string(kWindowsPathMax));
    }
    return EXIT_OK;
}

// The source files' bytes, stamps and attributes.
int ReadSourceFiles(PackRun& run)
{
    const PackRequest& request = run.request;
    std::string error;
    if (!ParseSourceDateEpoch(std::getenv("SOURCE_DATE_EPOCH"), &run.stampRule, &error))
        return run.Fail(EXIT_USAGE, 0, error);
    for (std::size_t i = 0; i < request.files.size(); i++) {
        const PackFile& f = request.files[i];
        ProgressFigures figures;
        figures.filesDone = i;
        figures.filesTotal = request.files.size();
        figures.bytesDone = run.inBytes;
        run.reporter.Show("reading", figures, f.member);
        std::string warning;
        if (!LoadSourceFile(f.source, run.input.members[i].path, run.stampRule, &run.input.members[i], &error, &warning))
            return run.Fail(EXIT_IO, f.line, error);
        if (!warning.empty())
            run.reporter.Warn(warning);
        run.inBytes += run.input.members[i].data.size();
    }
    return EXIT_OK;
}

// The members compressed, laid out and cut into volumes, all in memory.
int PackVolumes(PackRun& run)
{
    std::string error;
    ArchivePayload payload;
    PackingProgress packing{&run.reporter, &run.input, &payload, run.inBytes, 0};
    if (!BuildPayload(run.input, &payload, &error, ShowPacking, &packing))
        return run.Fail(EXIT_USAGE, 0, error);
    if (!SplitPayload(payload, run.firstRoom, run.room, &run.volumes, &error))
        return run.Fail(EXIT_USAGE, run.request.disketteLine, error);
    run.reporter.Clear();
    return EXIT_OK;
}

// The diskettes of a diskette release, shown as a table; and every file
// the release writes into its output folder.
int PlanTheRelease(PackRun& run)
{
    const PackRequest& request = run.request;
    const ReleaseMedia& media = request.media;
    for (unsigned n = 0; n < run.volumes.size(); n++)
        run.names.push_back(VolumeFileName(request.name, n));
    for (const DisketteFile& f : run.disk1)
        run.names.push_back(f.name);
    if (media.kind != nullptr) {
        std::vector<std::uint64_t> sizes;
        for (const auto& v : run.volumes)
            sizes.push_back(v.size());
        run.disks = PlanDiskettes(*media.kind, request.name, run.disk1, sizes);
        run.reporter.Print(DescribeDiskettes(*media.kind, run.disks));
        for (unsigned n = 0; media.images && n < run.disks.size(); n++)
            run.names.push_back(DiskImageName(n + 1));
    }
    // One file a name, also where case does not tell names apart (Windows,
    // FAT): a disk-1 file named like an image or like the manifest would
    // otherwise be overwritten in the staging folder.
    const std::string manifest = UpperCase(kManifestName);
    for (std::size_t i = 0; i < run.names.size(); i++) {
        const std::string name = UpperCase(run.names[i]);
        if (name == manifest)
            return run.Fail(EXIT_USAGE, 0, run.names[i] + " is the name of the release's manifest");
        for (std::size_t j = 0; j < i; j++)
            if (UpperCase(run.names[j]) == name)
                return run.Fail(EXIT_USAGE, 0, "the release would write " + run.names[i] + " twice (" +
                                                   run.names[j] + " is one of its files already)");
    }
    return EXIT_OK;
}

// The output folder: only the previous release's files, unchanged, may be
// replaced; anything else in the way stops the build here.
int ClaimTheOutputFolder(PackRun& run)
{
    std::string error;
    if (!run.output.ReadPrevious(&error) || !run.output.MayWrite(run.names, &error))
        return run.Fail(EXIT_USAGE, 0, error);
    if (!run.output.BeginStaging(&error))
        return run.Fail(EXIT_IO, 0, error);
    return EXIT_OK;
}

// With SOURCE_DATE_EPOCH, the release's files carry no time later than it,
// so that the diskette images come out the same in every build.
bool ClampTime(const PackRun& run, const std::string& path, std::string* error)
{
    if (!run.stampRule.clampToEpoch)
        return true;
    SourceFileInfo info;
    if (!StatSourceFile(path, &info, error))
        return false;
    if (info.mtime <= run.stampRule.epoch)
        return true;
    std::error_code ec;
    const auto shift = std::chrono::seconds(run.stampRule.epoch - info.mtime);
    const fs::file_time_type now = fs::last_write_time(path, ec);
    if (!ec)
        fs::last_write_time(path, now + std::chrono::duration_cast<fs::file_time_type::duration>(shift), ec);
    if (ec)
        *error = "cannot set the time of " + path + ": " + ec.message();
    return !ec;
}

// Writes the staged file name; the error names the file as the user knows it.
bool WriteStaged(const PackRun& run, const std::string& name, const void* data, std::size_t size,
                 std::string* error)
{
    std::FILE* f = std::fopen(run.output.StagedPath(name).c_str(), "wb");
    bool ok = f != nullptr && (size == 0 || std::fwrite(data, 1, size, f) == size);
    int cause = errno;
    if (f != nullptr && std::fclose(f) != 0 && ok) {
        ok = false;
        cause = errno;
    }
    if (!ok)
        *error = "cannot write " + (fs::path(run.request.outDir) / name).string() + ": " + std::strerror(cause) +
                 "; the release there is as it was";
    return ok;
}

// The volumes, the installer copy and the disk-1 files, made under the
// staging folder.
int StageTheFiles(PackRun& run)
{
    const PackRequest& request = run.request;
    std::string error;
    for (unsigned n = 0; n < run.volumes.size(); n++) {
        const std::string name = VolumeFileName(request.name, n);
        if (InterruptWatch::Interrupted())
            return run.FailInterrupted();
        if (!WriteStaged(run, name, run.volumes[n].data(), run.volumes[n].size(), &error) ||
            !ClampTime(run, run.output.StagedPath(name), &error))
            return run.Fail(EXIT_IO, 0, error);
    }
    for (DisketteFile& f : run.disk1) {
        const std::string target = run.output.StagedPath(f.name);
        if (InterruptWatch::Interrupted())
            return run.FailInterrupted();
        if (!CopyWithTime(f.source, target, &error) || !ClampTime(run, target, &error))
            return run.Fail(EXIT_IO, 0, error);
    }
    return EXIT_OK;
}

// The diskette images, from the staged files.
int StageTheImages(PackRun& run)
{
    const ReleaseMedia& media = run.request.media;
    std::string error;
    for (unsigned n = 0; media.images && n < run.disks.size(); n++) {
        Diskette disk = run.disks[n];
        for (DisketteFile& f : disk.files)
            f.source = run.output.StagedPath(f.name);
        if (InterruptWatch::Interrupted())
            return run.FailInterrupted();
        if (!WriteDisketteImage(*media.kind, disk, run.output.StagedPath(DiskImageName(n + 1)), &error))
            return run.Fail(EXIT_IO, 0, error);
    }
    return EXIT_OK;
}

// The manifest: every staged file and every member, with their digests.
int StageTheManifest(PackRun& run)
{
    ReleaseManifest manifest;
    manifest.name = run.request.name;
    if (run.request.media.kind != nullptr)
        manifest.diskette = run.request.media.kind->name;
    for (const std::string& name : run.names) {
        ManifestFile f;
        f.name = name;
        if (!Sha256OfFile(run.output.StagedPath(name), &f.sha256, &f.size))
            return run.Fail(EXIT_IO, 0, "cannot read " + run.output.StagedPath(name));
        (manifest.volumes.size() < run.volumes.size() ? manifest.volumes : manifest.files).push_back(f);
    }
    for (const ArchiveMember& m : run.input.members)
        manifest.members.push_back({m.path, m.data.size(), m.dosStamp, m.attributes,
                                    Sha256Hex(m.data.data(), m.data.size())});
    const std::string text = FormatManifest(manifest);
    std::string error;
    if (!WriteStaged(run, kManifestName, text.data(), text.size(), &error))
        return run.Fail(EXIT_IO, 0, error);
    return EXIT_OK;
}

// Everything staged is put in place at once.
int PutTheReleaseInPlace(PackRun& run)
{
    std::string error;
    std::vector<std::string> warnings;
    if (!run.output.Commit(run.names, &error, &warnings))
        return run.Fail(EXIT_IO, 0, error);
    run.inPlace = true;
    for (const std::string& w : warnings)
        run.reporter.Warn(w);
    return EXIT_OK;
}

// "DIR/NAME.E00: 3 members, 1000 bytes packed into 452 bytes in 1 volume (45.2%)",
// and the images made.
int ShowSummary(PackRun& run)
{
    std::uint64_t outBytes = 0;
    for (const auto& v : run.volumes)
        outBytes += v.size();
    const std::size_t count = run.volumes.size(), members = run.input.members.size();
    char summary[160];
    std::snprintf(summary, sizeof summary, ": %zu member%s, %llu bytes packed into %llu bytes in %zu volume%s (%.1f%%)",
                  members, members == 1 ? "" : "s", static_cast<unsigned long long>(run.inBytes),
                  static_cast<unsigned long long>(outBytes), count, count == 1 ? "" : "s",
                  run.inBytes ? 100.0 * static_cast<double>(outBytes) / static_cast<double>(run.inBytes) : 0.0);
    run.reporter.Summary((fs::path(run.request.outDir) / VolumeFileName(run.request.name, 0)).string() + summary);
    for (unsigned n = 0; run.request.media.images && n < run.disks.size(); n++)
        run.reporter.Print((fs::path(run.request.outDir) / DiskImageName(n + 1)).string() + ": " +
                           run.request.media.kind->name + " diskette image\n");
    return EXIT_OK;
}

}  // namespace

std::string WhereIs(const PackRequest& request, int line)
{
    if (request.origin.empty() || line <= 0)
        return std::string();
    return request.origin + ":" + std::to_string(line) + ": ";
}

int RunPackRequest(const PackRequest& request, Reporter& reporter)
{
    using Step = int (*)(PackRun&);
    const Step steps[] = {
        CheckImagesHaveAKind,        TakeNamesIntoTheCodePage, CheckWhatTheFormatHolds, PlanTheRoomOfVolumes,
        CheckThereAreFiles,          WarnOfProgramAndPathLengths, ReadSourceFiles,       PackVolumes,
        PlanTheRelease,              ClaimTheOutputFolder,     StageTheFiles,           StageTheImages,
        StageTheManifest,            PutTheReleaseInPlace,     ShowSummary,
    };
    // Staged files are removed, and an interrupt raised again, when the run
    // is left (the output's destructor). One that came while the release was
    // put in place stops no step after it: the release is whole, and the
    // summary says so.
    PackRun run{request, reporter, {}, {}, 0, 0, {}, 0, {}, {}, {}, ReleaseOutput(request.outDir)};
    for (Step step : steps) {
        int code = InterruptWatch::Interrupted() && !run.inPlace
                       ? run.FailInterrupted()
                       : step(run);
        if (code != EXIT_OK)
            return code;
    }
    return EXIT_OK;
}

}  // namespace bv
