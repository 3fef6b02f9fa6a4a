// Carrying out a packing request, one named step after another.
#include "packer/release/pack_request.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/archive.h"
#include "packer/media/disk_image.h"
#include "packer/release/release_files.h"
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

// Copies a file with its modification time; nothing when it is the target.
bool CopyWithTime(const std::string& from, const fs::path& to, std::string* error)
{
    std::error_code ec;
    if (fs::exists(to, ec) && fs::equivalent(from, to, ec))
        return true;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
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

    int Fail(int code, int line, const std::string& message)
    {
        return reporter.Fail(code, WhereIs(request, line) + message);
    }
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

// Everything the format cannot hold is refused before a file is read.
int CheckWhatTheFormatHolds(PackRun& run)
{
    const PackRequest& request = run.request;
    run.input.defaultDest = request.defaultDest;
    run.input.allowChange = request.allowChange;
    run.input.script = request.script;
    for (const PackFile& f : request.files) {
        ArchiveMember m;
        m.path = f.member;
        run.input.members.push_back(std::move(m));
    }
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
        if (!LoadSourceFile(f.source, f.member, run.stampRule, &run.input.members[i], &error, &warning))
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

// The volumes, the installer copy and the disk-1 files into the output
// folder; the disk-1 files are then taken from there.
int WriteReleaseFiles(PackRun& run)
{
    const PackRequest& request = run.request;
    std::string error;
    std::error_code ec;
    fs::create_directories(request.outDir, ec);
    if (!WriteVolumeFiles(request.outDir, request.name, run.volumes, &error))
        return run.Fail(EXIT_IO, 0, error);
    for (DisketteFile& f : run.disk1) {
        fs::path target = fs::path(request.outDir) / f.name;
        if (!CopyWithTime(f.source, target, &error))
            return run.Fail(EXIT_IO, 0, error);
        f.source = target.string();
    }
    return EXIT_OK;
}

// "DIR/NAME.E00: 3 members, ... bytes in ... volumes of ... bytes (...%)"
int ShowSummary(PackRun& run)
{
    std::uint64_t outBytes = 0;
    for (const auto& v : run.volumes)
        outBytes += v.size();
    const std::size_t count = run.volumes.size();
    char summary[128];
    std::snprintf(summary, sizeof summary, ": %zu members, %llu bytes in %zu volume%s of %llu bytes (%.1f%%)",
                  run.input.members.size(), static_cast<unsigned long long>(run.inBytes), count,
                  count == 1 ? "" : "s", static_cast<unsigned long long>(outBytes),
                  run.inBytes ? 100.0 * static_cast<double>(outBytes) / static_cast<double>(run.inBytes) : 0.0);
    run.reporter.Summary((fs::path(run.request.outDir) / VolumeFileName(run.request.name, 0)).string() + summary);
    return EXIT_OK;
}

// For a diskette kind, the diskettes as a table and, if asked, their images.
// Images of an older, longer set (or of a set made without images) no longer
// match the volumes and are removed.
int ShowDiskettesAndMakeImages(PackRun& run)
{
    const PackRequest& request = run.request;
    const ReleaseMedia& media = request.media;
    std::error_code ec;
    std::string error;
    unsigned images = 0;
    if (media.kind != nullptr) {
        std::vector<std::uint64_t> sizes;
        for (const auto& v : run.volumes)
            sizes.push_back(v.size());
        std::vector<Diskette> disks = PlanDiskettes(*media.kind, request.name, run.disk1, sizes);
        for (Diskette& d : disks)
            for (DisketteFile& f : d.files)
                f.source = (fs::path(request.outDir) / f.name).string();
        std::printf("%s", DescribeDiskettes(*media.kind, disks).c_str());
        // Each image is made under a scratch name and put in place when all are made.
        for (; media.images && images < disks.size(); images++) {
            fs::path image = fs::path(request.outDir) / (DiskImageName(images + 1) + ".part");
            if (!WriteDisketteImage(*media.kind, disks[images], image.string(), &error)) {
                for (unsigned k = 0; k < images; k++)
                    fs::remove(fs::path(request.outDir) / (DiskImageName(k + 1) + ".part"), ec);
                return run.Fail(EXIT_IO, 0, error);
            }
        }
        for (unsigned k = 0; k < images; k++) {
            fs::path image = fs::path(request.outDir) / DiskImageName(k + 1);
            fs::rename(image.string() + ".part", image, ec);
            if (ec)
                return run.Fail(EXIT_IO, 0, "cannot write " + image.string() + ": " + ec.message());
            std::printf("%s: %s diskette image\n", image.string().c_str(), media.kind->name);
        }
    }
    for (unsigned k = images + 1; fs::remove(fs::path(request.outDir) / DiskImageName(k), ec); k++) {
    }
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
        CheckImagesHaveAKind, CheckWhatTheFormatHolds, PlanTheRoomOfVolumes, ReadSourceFiles,
        PackVolumes,          WriteReleaseFiles,       ShowSummary,          ShowDiskettesAndMakeImages,
    };
    PackRun run{request, reporter, {}, {}, 0, 0, {}, 0, {}};
    for (Step step : steps) {
        int code = step(run);
        if (code != EXIT_OK)
            return code;
    }
    return EXIT_OK;
}

}  // namespace bv
