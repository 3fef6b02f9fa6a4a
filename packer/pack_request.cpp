#include "packer/pack_request.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/archive.h"
#include "packer/disk_image.h"

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
    Progress* progress;
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
    p.progress->Show("packing", f, path);
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

}  // namespace

std::string WhereIs(const PackRequest& request, int line)
{
    if (request.origin.empty() || line <= 0)
        return std::string();
    return request.origin + ":" + std::to_string(line) + ": ";
}

std::string CheckArchiveName(const std::string& name)
{
    if (name.empty() || name.size() >= ARCHIVE_NAME_SIZE)
        return "archive name \"" + name + "\" must have 1 to " + std::to_string(ARCHIVE_NAME_SIZE - 1) +
               " characters (the installer's own name)";
    return std::string();
}

bool IsReleaseFileName(const std::string& file, const std::string& name)
{
    if (file == name + ".EXE")
        return true;
    return VolumeNumberOf(file.c_str(), name.c_str()) >= 0;
}

bool IsOwnOutput(const std::string& path, const PackRequest& request)
{
    std::error_code e;
    const fs::path p(path);
    if (fs::weakly_canonical(p.parent_path(), e) != fs::weakly_canonical(request.outDir, e))
        return false;
    const std::string file = UpperCase(p.filename().string());
    for (const std::string& extra : request.media.disk1Files)
        if (file == UpperCase(fs::path(extra).filename().string()))
            return true;
    if (file.size() > 8 && file.compare(0, 4, "DISK") == 0 && file.compare(file.size() - 4, 4, ".IMG") == 0 &&
        file.find_first_not_of("0123456789", 4) == file.size() - 4)
        return true;
    return IsReleaseFileName(file, request.name);
}

bool FilesBelow(const std::string& dir, const PackRequest& request, std::vector<std::string>* relatives,
                std::string* error, std::vector<std::string>* emptyDirs)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && !IsOwnOutput(it->path().string(), request))
            relatives->push_back(fs::relative(it->path(), dir, ec).generic_string());
        else if (emptyDirs != nullptr && it->is_directory(ec) && fs::is_empty(it->path(), ec))
            emptyDirs->push_back(it->path().string());
    }
    if (ec) {
        *error = "cannot read " + dir + ": " + ec.message();
        return false;
    }
    SortSourcePaths(*relatives);
    return true;
}

bool ParseVolume(const std::string& text, ReleaseMedia* media)
{
    media->kind = FindDisketteKind(text);
    media->volumeSize = VOLUME_UNLIMITED;
    if (media->kind != nullptr || UpperCase(text) == "ONE")
        return true;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    media->volumeSize = std::strtoull(text.c_str(), nullptr, 10);
    return media->volumeSize > 0;
}

std::string DiskImageName(unsigned number)
{
    return "DISK" + std::to_string(number) + ".IMG";
}

int DiskOneFiles(const ReleaseMedia& media, const std::string& name, std::vector<DisketteFile>* files,
                 std::string* error, int* which)
{
    files->clear();
    auto add = [&](const std::string& path, const std::string& diskName) {
        std::error_code ec;
        const fs::file_status st = fs::status(path, ec);
        if (!fs::exists(st)) {
            *error = "cannot read " + path + ": " + (ec ? ec.message() : "not found");
            return static_cast<int>(EXIT_IO);
        }
        if (!fs::is_regular_file(st)) {
            *error = path + " is not a regular file";
            return static_cast<int>(EXIT_USAGE);
        }
        for (const DisketteFile& f : *files) {
            if (f.name == diskName) {
                *error = path + " would lie on disk 1 as " + diskName + ", as " + f.source + " does";
                return static_cast<int>(EXIT_USAGE);
            }
        }
        files->push_back({diskName, fs::file_size(path, ec), path});
        return static_cast<int>(EXIT_OK);
    };
    *which = -1;
    if (!media.installer.empty()) {
        int code = add(media.installer, name + ".EXE");
        if (code != EXIT_OK)
            return code;
    }
    for (std::size_t i = 0; i < media.disk1Files.size(); i++) {
        const std::string& path = media.disk1Files[i];
        *which = static_cast<int>(i);
        const std::string diskName = UpperCase(fs::path(path).filename().string());
        if (media.kind != nullptr && !IsDosName(diskName)) {
            *error = "disk-1 file " + path + ": \"" + diskName + "\" is not a DOS 8.3 file name";
            return EXIT_USAGE;
        }
        if (IsReleaseFileName(diskName, name)) {
            *error = "disk-1 file " + path + " would take the name of the installer or a volume";
            return EXIT_USAGE;
        }
        int code = add(path, diskName);
        if (code != EXIT_OK)
            return code;
    }
    return EXIT_OK;
}

int RunPackRequest(const PackRequest& request, Progress& progress)
{
    const ReleaseMedia& media = request.media;
    if (media.images && media.kind == nullptr)
        return progress.Fail(EXIT_USAGE, WhereIs(request, request.imagesLine) +
                                             (request.origin.empty() ? "--images needs a diskette kind: --volume "
                                                                     : "Images needs a diskette kind: Diskette = ") +
                                             "360K, 720K, 1.2M, 1.44M or 2.88M");

    // Everything the format cannot hold is refused before a file is read.
    ArchiveInput input;
    input.defaultDest = request.defaultDest;
    input.allowChange = request.allowChange;
    input.script = request.script;
    for (const PackFile& f : request.files) {
        ArchiveMember m;
        m.path = f.member;
        input.members.push_back(std::move(m));
    }
    std::string problem = CheckArchiveInput(input);
    if (!problem.empty()) {
        int line = LineOfProblem(request, input, &problem);
        return progress.Fail(EXIT_USAGE, WhereIs(request, line) + problem);
    }

    // Disk 1 must leave room for volume 0, and images need their tools.
    std::vector<DisketteFile> disk1;
    std::string error;
    int which = -1;
    int code = DiskOneFiles(media, request.name, &disk1, &error, &which);
    if (code != EXIT_OK) {
        int line = which < 0 ? request.installerLine
                   : static_cast<std::size_t>(which) < request.diskOneLines.size() ? request.diskOneLines[which] : 0;
        return progress.Fail(code, WhereIs(request, line) + error);
    }
    std::uint64_t firstRoom = media.volumeSize, room = media.volumeSize;
    if (media.kind != nullptr) {
        if (!FirstVolumeRoom(*media.kind, request.name, disk1, &firstRoom, &error))
            return progress.Fail(EXIT_USAGE, WhereIs(request, request.disketteLine) + error);
        room = media.kind->DataBytes();
    }
    if (media.images) {
        std::string missing = MissingImageTools();
        if (!missing.empty())
            return progress.Fail(EXIT_IO, missing);
    }

    StampRule stampRule;
    std::string epochError;
    if (!ParseSourceDateEpoch(std::getenv("SOURCE_DATE_EPOCH"), &stampRule, &epochError))
        return progress.Fail(EXIT_USAGE, epochError);
    std::uint64_t inBytes = 0;
    for (std::size_t i = 0; i < request.files.size(); i++) {
        const PackFile& f = request.files[i];
        ProgressFigures figures;
        figures.filesDone = i;
        figures.filesTotal = request.files.size();
        figures.bytesDone = inBytes;
        progress.Show("reading", figures, f.member);
        std::string warning;
        if (!LoadSourceFile(f.source, f.member, stampRule, &input.members[i], &error, &warning))
            return progress.Fail(EXIT_IO, WhereIs(request, f.line) + error);
        if (!warning.empty())
            progress.Warn(warning);
        inBytes += input.members[i].data.size();
    }

    ArchivePayload payload;
    PackingProgress packing{&progress, &input, &payload, inBytes, 0};
    std::vector<std::vector<std::uint8_t>> volumes;
    if (!BuildPayload(input, &payload, &error, ShowPacking, &packing))
        return progress.Fail(EXIT_USAGE, error);
    if (!SplitPayload(payload, firstRoom, room, &volumes, &error))
        return progress.Fail(EXIT_USAGE, WhereIs(request, request.disketteLine) + error);
    progress.Clear();
    std::error_code ec;
    fs::create_directories(request.outDir, ec);
    if (!WriteVolumeFiles(request.outDir, request.name, volumes, &error))
        return progress.Fail(EXIT_IO, error);
    for (DisketteFile& f : disk1) {
        fs::path target = fs::path(request.outDir) / f.name;
        if (!CopyWithTime(f.source, target, &error))
            return progress.Fail(EXIT_IO, error);
        f.source = target.string();
    }

    std::uint64_t outBytes = 0;
    for (const auto& v : volumes)
        outBytes += v.size();
    char summary[128];
    std::snprintf(summary, sizeof summary, ": %zu members, %llu bytes in %zu volume%s of %llu bytes (%.1f%%)",
                  input.members.size(), static_cast<unsigned long long>(inBytes), volumes.size(),
                  volumes.size() == 1 ? "" : "s", static_cast<unsigned long long>(outBytes),
                  inBytes ? 100.0 * static_cast<double>(outBytes) / static_cast<double>(inBytes) : 0.0);
    progress.Summary((fs::path(request.outDir) / VolumeFileName(request.name, 0)).string() + summary);

    unsigned images = 0;
    if (media.kind != nullptr) {
        std::vector<std::uint64_t> sizes;
        for (const auto& v : volumes)
            sizes.push_back(v.size());
        std::vector<Diskette> disks = PlanDiskettes(*media.kind, request.name, disk1, sizes);
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
                return progress.Fail(EXIT_IO, error);
            }
        }
        for (unsigned k = 0; k < images; k++) {
            fs::path image = fs::path(request.outDir) / DiskImageName(k + 1);
            fs::rename(image.string() + ".part", image, ec);
            if (ec)
                return progress.Fail(EXIT_IO, "cannot write " + image.string() + ": " + ec.message());
            std::printf("%s: %s diskette image\n", image.string().c_str(), media.kind->name);
        }
    }
    // Images of an older, longer set (or of a set made without images) no
    // longer match the volumes.
    for (unsigned k = images + 1; fs::remove(fs::path(request.outDir) / DiskImageName(k), ec); k++) {
    }
    return EXIT_OK;
}

}  // namespace bv
