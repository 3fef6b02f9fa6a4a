// Testing a release against its manifest.
#include "packer/release/release_check.h"

#include <cstdio>
#include <filesystem>
#include <map>

#include "archive/archive.h"
#include "packer/archive/archive_writer.h"
#include "packer/archive/whole_archive_reader.h"
#include "packer/media/disk_image.h"
#include "packer/release/manifest.h"
#include "packer/release/sha256.h"

namespace bv {

namespace fs = std::filesystem;

namespace {

// Where the volumes under test come from.
struct Release {
    std::string dir;                      // the volumes NAME.E00, ... are read here
    std::string name;
    std::string manifestDir;              // the manifest is looked for here
    std::vector<std::string> images;      // the image of each diskette, when read from images
};

// "SETUP.E01 (disk 2)", "SETUP.E01 (disk 2, DISK2.IMG)"
std::string VolumeAt(const Release& release, const ReleaseManifest* manifest, unsigned number)
{
    std::string where = manifest != nullptr ? DisketteOfVolume(*manifest, number) : std::string();
    if (!release.images.empty()) {
        const std::string image = number < release.images.size() ? release.images[number] : std::string();
        where = "disk " + std::to_string(number + 1) + (image.empty() ? "" : ", " + image);
    }
    return VolumeFileName(release.name, number) + (where.empty() ? "" : " (" + where + ")");
}

// Progress while reading; each member's bytes are hashed once complete
// and removed.
struct Checking {
    Reporter* reporter;
    std::string scratch;
    std::vector<std::uint64_t> volumeSizes;
    std::uint64_t packedTotal = 0;
    std::size_t current = SIZE_MAX;
    std::string currentPath;
    bool hashing = false;                 // a manifest's member digests to compare with
    std::vector<std::string> digests;     // per member read
};

std::string FileOfMember(const std::string& scratch, std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return (fs::path(scratch) / path).string();
}

void HashFinished(Checking& c)
{
    if (c.current == SIZE_MAX)
        return;
    const std::string file = FileOfMember(c.scratch, c.currentPath);
    std::string hex;
    std::uint64_t size = 0;
    if (c.hashing && !Sha256OfFile(file, &hex, &size))
        hex.clear();
    c.digests.push_back(hex);
    std::error_code ec;
    fs::remove(file, ec);
}

void ShowChecking(std::size_t index, const std::string& path, std::uint64_t bytesDone, void* context)
{
    Checking& c = *static_cast<Checking*>(context);
    if (index != c.current) {
        HashFinished(c);
        c.current = index;
        c.currentPath = path;
    }
    c.reporter->Show("testing", ReadingFigures(index, bytesDone, c.volumeSizes, c.packedTotal), path);
}

std::string Attributes(std::uint32_t a)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(a));
    return text;
}

// The first way a member read differs from the manifest's, or empty.
std::string MemberDifference(const ReadMember& read, const std::string& digest, const ManifestMember& recorded)
{
    if (read.path != recorded.path)
        return "member \"" + read.path + "\" stands where the manifest has \"" + recorded.path + "\"";
    const std::string member = "member " + recorded.path;
    if (read.size != recorded.size)
        return member + " has " + std::to_string(read.size) + " bytes, not " + std::to_string(recorded.size);
    if (digest != recorded.sha256)
        return member + ": its bytes differ from those packed";
    if (read.dosStamp != recorded.dosStamp)
        return member + ": its time differs from the one packed";
    if (read.attributes != recorded.attributes)
        return member + ": its attributes " + Attributes(read.attributes) + " differ from " +
               Attributes(recorded.attributes);
    return std::string();
}

// One test of a release: what it has found so far.
struct TestRun {
    const Release& release;
    Reporter& reporter;
    ReleaseManifest manifest;
    bool checked = false;                 // a manifest of this release is there
    Checking checking;
    ReadResult read;
    std::vector<std::string> damage;      // what differs, first found first

    const ReleaseManifest* Manifest() const { return checked ? &manifest : nullptr; }
};

// The manifest beside the release, if it is this release's.
int ReadTheManifest(TestRun& t)
{
    std::string error;
    const ManifestState state = ReadManifest(t.release.manifestDir, &t.manifest, &error);
    if (state == ManifestState::Unreadable)
        return t.reporter.Fail(EXIT_DAMAGED, error);
    t.checked = state == ManifestState::Read && t.manifest.name == t.release.name;
    return EXIT_OK;
}

// Every volume there (its size, for the progress) and, with the manifest,
// against its checksum; a volume the manifest lists may not be missing.
int CheckTheVolumes(TestRun& t)
{
    for (unsigned n = 0;; n++) {
        std::error_code ec;
        const fs::path path = fs::path(t.release.dir) / VolumeFileName(t.release.name, n);
        const std::uint64_t size = fs::file_size(path, ec);
        const bool recorded = t.checked && n < t.manifest.volumes.size();
        if (ec && !recorded)
            break;
        if (ec) {
            t.damage.push_back(VolumeAt(t.release, t.Manifest(), n) + " is missing");
            continue;
        }
        t.checking.volumeSizes.push_back(size);
        t.checking.packedTotal += size;
        if (!recorded)
            continue;
        std::string hex;
        std::uint64_t read = 0;
        if (!Sha256OfFile(path.string(), &hex, &read))
            return t.reporter.Fail(EXIT_IO, "cannot read " + path.string());
        if (read != t.manifest.volumes[n].size || hex != t.manifest.volumes[n].sha256)
            t.damage.push_back(VolumeAt(t.release, t.Manifest(), n) +
                               " is damaged: its checksum differs from the manifest's");
    }
    return EXIT_OK;
}

// The stream, decoded with the installer's reader; with the manifest, each
// member against its record there.
int ReadTheMembers(TestRun& t)
{
    t.checking.hashing = t.checked;
    t.read = ReadArchive(t.release.dir, t.release.name, t.checking.scratch, true, ShowChecking, &t.checking);
    HashFinished(t.checking);
    t.reporter.Clear();
    const std::vector<ReadMember>& read = t.read.members;
    const std::vector<ManifestMember>& recorded = t.manifest.members;
    for (std::size_t i = 0; t.checked && t.read.ok && (i < read.size() || i < recorded.size()); i++) {
        std::string difference;
        if (i >= recorded.size())
            difference = "member " + read[i].path + " is not in the manifest";
        else if (i >= read.size())
            difference = "member " + recorded[i].path + " is missing";
        else
            difference = MemberDifference(read[i], i < t.checking.digests.size() ? t.checking.digests[i] : std::string(),
                                          recorded[i]);
        if (!difference.empty()) {
            t.damage.push_back(difference);
            break;
        }
    }
    if (!t.read.ok)
        t.damage.push_back(t.read.error);
    return EXIT_OK;
}

// The damage found, or the summary: what was checked, and against what.
int Report(TestRun& t)
{
    if (!t.damage.empty()) {
        std::string message = t.damage.front();
        for (std::size_t i = 1; i < t.damage.size(); i++)
            message += "; " + t.damage[i];
        if (t.checked && t.damage.size() == 1 && t.read.ok && message.find("member") == std::string::npos)
            message += "; every member still reads as packed";
        return t.reporter.Fail(t.read.ioError && !t.checked ? EXIT_IO : EXIT_DAMAGED, message);
    }
    std::uint64_t total = 0;
    for (const ReadMember& member : t.read.members)
        total += member.size;
    char summary[256];
    std::snprintf(summary, sizeof summary, "OK: %zu member%s, %llu bytes, %d volume%s", t.read.members.size(),
                  t.read.members.size() == 1 ? "" : "s", static_cast<unsigned long long>(total), t.read.volumes, t.read.volumes == 1 ? "" : "s");
    t.reporter.Summary(std::string(summary) +
                       (t.checked ? "; checksums match " + (fs::path(t.release.manifestDir) / kManifestName).string()
                                  : std::string("; no manifest: only the stream's structure was checked")));
    return EXIT_OK;
}

int Test(const Release& release, const std::string& scratch, Reporter& reporter)
{
    using Step = int (*)(TestRun&);
    TestRun run{release, reporter, {}, false, {&reporter, scratch, {}, 0, SIZE_MAX, {}, false, {}}, {}, {}};
    for (Step step : {ReadTheManifest, CheckTheVolumes, ReadTheMembers, Report}) {
        int code = step(run);
        if (code != EXIT_OK)
            return code;
    }
    return EXIT_OK;
}

}  // namespace

ProgressFigures ReadingFigures(std::size_t index, std::uint64_t bytesDone,
                               const std::vector<std::uint64_t>& volumeSizes, std::uint64_t packedTotal)
{
    ProgressFigures f;
    f.filesDone = index;
    f.bytesDone = bytesDone;
    if (install.volumeStream != nullptr && install.volumeNumber >= 0) {
        for (std::size_t n = 0; n < volumeSizes.size() && n < static_cast<std::size_t>(install.volumeNumber); n++)
            f.packedDone += volumeSizes[n];
        long at = std::ftell(install.volumeStream);
        if (at > 0)
            f.packedDone += static_cast<std::uint64_t>(at);
    }
    if (packedTotal != 0)
        f.fraction = static_cast<double>(f.packedDone) / static_cast<double>(packedTotal);
    return f;
}

bool IsDisketteImagePath(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    return UpperCase(ext) == ".IMG";
}

int TestRelease(const std::string& dir, const std::string& name, const std::string& scratch, Reporter& reporter)
{
    return Test(Release{dir, name, dir, {}}, scratch, reporter);
}

int TestDisketteImages(const std::vector<std::string>& images, const std::string& scratch, Reporter& reporter)
{
    // The files of every image, copied out as the installer would find them
    // on the diskettes; volume n must lie on diskette n+1.
    const fs::path volumes = fs::path(scratch) / "diskettes", members = fs::path(scratch) / "members";
    std::error_code ec;
    fs::create_directories(volumes, ec);
    fs::create_directories(members, ec);
    Release release{volumes.string(), std::string(), fs::path(images.front()).parent_path().string(), {}};
    if (release.manifestDir.empty())
        release.manifestDir = ".";
    ReleaseManifest manifest;
    std::string error;
    const bool haveManifest = ReadManifest(release.manifestDir, &manifest, &error) == ManifestState::Read;
    for (std::size_t n = 0; n < images.size(); n++) {
        const std::string label = fs::path(images[n]).filename().string();
        release.images.push_back(label);
        std::vector<std::string> names;
        if (!ListDisketteImage(images[n], &names, &error))
            return reporter.Fail(EXIT_IO, error);
        for (const std::string& file : names) {
            const std::string ext = UpperCase(fs::path(file).extension().string());
            if (n == 0 && ext == ".E00")
                release.name = fs::path(file).stem().string();
            const bool volume = !release.name.empty() && file == VolumeFileName(release.name, static_cast<unsigned>(n));
            const bool other = haveManifest && manifest.Find(file) != nullptr;
            if (!volume && !other)
                continue;
            const fs::path copy = (volume ? volumes : fs::path(scratch)) / file;
            if (!CopyFromDisketteImage(images[n], file, copy.string(), &error))
                return reporter.Fail(EXIT_IO, error);
            // The installer and the disk-1 files against the manifest too.
            const ManifestFile* recorded = other && !volume ? manifest.Find(file) : nullptr;
            std::string hex;
            std::uint64_t size = 0;
            if (recorded != nullptr && (!Sha256OfFile(copy.string(), &hex, &size) || size != recorded->size ||
                                        hex != recorded->sha256))
                return reporter.Fail(EXIT_DAMAGED, file + " on disk " + std::to_string(n + 1) + " (" + label +
                                                       ") is damaged: its checksum differs from the manifest's");
            if (!volume)
                fs::remove(copy, ec);
        }
        if (release.name.empty())
            return reporter.Fail(EXIT_DAMAGED, label + " holds no volume NAME.E00: it is no first diskette");
        if (!fs::exists(volumes / VolumeFileName(release.name, static_cast<unsigned>(n)), ec))
            return reporter.Fail(EXIT_DAMAGED, label + " does not hold " +
                                                   VolumeFileName(release.name, static_cast<unsigned>(n)) +
                                                   ": the images are not disk 1, 2, ... of one release in order");
    }
    return Test(release, members.string(), reporter);
}

}  // namespace bv
