#include "packer/pack_request.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "archive/archive.h"

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

}  // namespace

std::string UpperCase(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

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

bool IsOwnOutput(const std::string& path, const std::string& outDir, const std::string& name)
{
    std::error_code e;
    const fs::path p(path);
    if (fs::weakly_canonical(p.parent_path(), e) != fs::weakly_canonical(outDir, e))
        return false;
    std::string file = UpperCase(p.filename().string());
    if (file == name + ".EXE")
        return true;
    return file.size() == name.size() + 4 && file.compare(0, name.size() + 2, name + ".E") == 0 &&
           std::isxdigit(static_cast<unsigned char>(file[name.size() + 2])) &&
           std::isxdigit(static_cast<unsigned char>(file[name.size() + 3]));
}


bool ParseVolumeSize(const std::string& text, std::uint64_t* size)
{
    struct Preset {
        const char* name;
        std::uint64_t size;
    };
    static const Preset presets[] = {
        {"360K", VOLUME_360K},   {"720K", VOLUME_720K},   {"1.2M", VOLUME_1200K},
        {"1.44M", VOLUME_1440K}, {"2.88M", VOLUME_2880K}, {"ONE", VOLUME_UNLIMITED},
    };
    std::string u = UpperCase(text);
    for (const Preset& p : presets) {
        if (u == p.name) {
            *size = p.size;
            return true;
        }
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    *size = std::strtoull(text.c_str(), nullptr, 10);
    return *size > 0;
}


int RunPackRequest(const PackRequest& request, Progress& progress)
{
    // Diskette sets are written by the diskette layout, which this packer
    // does not have yet.
    if (!request.disketteKind.empty())
        return progress.Fail(EXIT_USAGE, WhereIs(request, request.disketteLine) + "diskette kinds are not supported yet");
    if (request.images)
        return progress.Fail(EXIT_USAGE, WhereIs(request, request.imagesLine) + "disk images are not supported yet");
    if (!request.diskOneFiles.empty())
        return progress.Fail(EXIT_USAGE, WhereIs(request, request.diskOneLine) + "extra files for disk 1 are not supported yet");

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
        std::string error, warning;
        if (!LoadSourceFile(f.source, f.member, stampRule, &input.members[i], &error, &warning))
            return progress.Fail(EXIT_IO, WhereIs(request, f.line) + error);
        if (!warning.empty())
            progress.Warn(warning);
        inBytes += input.members[i].data.size();
    }

    ArchivePayload payload;
    PackingProgress packing{&progress, &input, &payload, inBytes, 0};
    std::vector<std::vector<std::uint8_t>> volumes;
    std::string error;
    if (!BuildPayload(input, &payload, &error, ShowPacking, &packing) ||
        !SplitPayload(payload, request.volumeSize, &volumes, &error))
        return progress.Fail(EXIT_USAGE, error);
    progress.Clear();
    std::error_code ec;
    fs::create_directories(request.outDir, ec);
    if (!WriteVolumeFiles(request.outDir, request.name, volumes, &error))
        return progress.Fail(EXIT_IO, error);
    if (!request.installer.empty()) {
        fs::path exe = fs::path(request.outDir) / (request.name + ".EXE");
        fs::copy_file(request.installer, exe, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return progress.Fail(EXIT_IO, "cannot copy the installer to " + exe.string() + ": " + ec.message());
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
    return EXIT_OK;
}

}  // namespace bv
