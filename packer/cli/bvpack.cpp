// bvpack: makes installer archives (NAME.E00, NAME.E01, ...) from a
// directory or a project file, laid out on diskettes and written as diskette
// images if asked, and lists, tests and extracts them with the installer's
// own reader and decoder.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "packer/archive/whole_archive_reader.h"
#include "packer/archive/archive_writer.h"
#include "packer/media/disk_image.h"
#include "packer/media/diskette.h"
#include "packer/release/code_page.h"
#include "packer/release/pack_request.h"
#include "packer/release/release_check.h"
#include "packer/release/release_files.h"
#include "packer/release/reporter.h"
#include "packer/release/source_file.h"
#include "packer/project/project_file.h"
#include "packer/release/source_members.h"

namespace fs = std::filesystem;
using namespace bv;

namespace {

const char kUsage[] =
    "usage: bvpack create SOURCE_DIR --out DIR/NAME [options]\n"
    "       bvpack build PROJECT.INI [--quiet]\n"
    "       bvpack list DIR/NAME [--volume KIND] [--disk1 FILE]... [--codepage N]\n"
    "       bvpack test DIR/NAME [--quiet]\n"
    "       bvpack test DISK1.IMG DISK2.IMG ... [--quiet]\n"
    "       bvpack extract DIR/NAME [--to DIR] [--codepage N] [--quiet]\n"
    "       bvpack --help\n";

const char kHelp[] =
    "\n"
    "Makes the archive volumes NAME.E00, NAME.E01, ... that an installer copied\n"
    "beside them as NAME.EXE installs, and reads them back with the installer's\n"
    "own reader.\n"
    "\n"
    "create SOURCE_DIR: every file below SOURCE_DIR becomes a member, stored under\n"
    "its path relative to SOURCE_DIR (backslash-separated), in byte order of those\n"
    "paths, with its modification time (local time, as a DOS stamp: two-second\n"
    "steps, rounded down; times before 1980 or after 2107 are stored as the first\n"
    "or last DOS stamp, with a warning) and its attributes (read-only when the\n"
    "owner may not write it; archive always). Links are followed; one that points\n"
    "at nothing or leads back to a folder it lies in is an error.\n"
    "SOURCE_DATE_EPOCH (seconds since 1970) set: stamps are taken in UTC, and\n"
    "every time later than it is stored as it, so that a fresh checkout packs to\n"
    "the same bytes anywhere.\n"
    "  --out DIR/NAME     where the volumes go; NAME is upper-cased (required): 1 to\n"
    "                     15 printable ASCII characters of a Windows file name, no\n"
    "                     DOS device, no blank at either end\n"
    "  --list FILE        pack only the files listed in FILE, one path relative to\n"
    "                     SOURCE_DIR per line, in that order\n"
    "  --dest PATH        default destination directory (default C:\\NAME)\n"
    "  --locked           the user may not change the destination\n"
    "  --volume SIZE      a diskette kind: 360K, 720K, 1.2M, 1.44M or 2.88M (each\n"
    "                     diskette's files fit a freshly formatted FAT12 diskette\n"
    "                     of that kind, in whole clusters); or the largest volume\n"
    "                     file as a byte count; or 'one' for a single volume\n"
    "                     (default)\n"
    "  --group NAME       create this Program Manager group\n"
    "  --item CMD,TITLE   add a program item to the group (repeatable)\n"
    "  --run 'CMD ARGS'   start this program in the destination at the end\n"
    "  --installer PATH   copy this installer beside the volumes as NAME.EXE\n"
    "  --codepage N       the Windows ANSI code page the names are stored in\n"
    "                     (default 1252); list and extract take it too\n"
    "  --disk1 FILE       copy FILE (a DOS 8.3 name) beside NAME.EXE, onto disk 1\n"
    "                     (repeatable)\n"
    "  --images           also write DISK1.IMG, DISK2.IMG, ...: a diskette image\n"
    "                     of the --volume kind per diskette, labelled DISK1, ...,\n"
    "                     with its files (needs mtools)\n"
    "  For a diskette kind, the diskettes and their files are shown at the end.\n"
    "build PROJECT.INI: packs what a project file describes (sections [Setup],\n"
    "  [Files], [Group], [Run]; see the README), as create would; the release\n"
    "  goes to Output, by default the folder Output beside the project file.\n"
    "create and build write a release all or nothing, with its manifest\n"
    "  bvpack.manifest (every file written, with size and SHA-256): a rebuild\n"
    "  replaces or removes only the previous release's files, while unchanged;\n"
    "  any other file in the way is an error, and then nothing is written.\n"
    "list DIR/NAME: the header, every member (size, date, attributes) and the script;\n"
    "  then the diskettes, with their files in clusters and the room left, for the\n"
    "  kind of --volume or of the images beside the volumes (disk-1 files as given\n"
    "  by --disk1 or found on DISK1.IMG).\n"
    "test DIR/NAME: decodes every member; reports the first damage. With the\n"
    "  release's manifest (bvpack.manifest, beside the volumes) every volume's and\n"
    "  every member's checksum is checked too, and damage is named by volume,\n"
    "  diskette and member; without one only the stream's structure is checked.\n"
    "test DISK1.IMG DISK2.IMG ...: the same for a release's diskette images, in\n"
    "  order, as read from those diskettes (manifest beside the first image).\n"
    "extract DIR/NAME: writes the members with their stamps below --to DIR\n"
    "  (default: the current directory), refusing paths that leave it.\n"
    "create, build, test and extract show their progress on standard error when\n"
    "it is a terminal, and a summary line at the end; --quiet shows errors alone.\n"
    "\n"
    "Exit codes: 0 success; 1 damaged archive or failed test; 2 usage error or\n"
    "input the archive or a diskette cannot hold; 3 I/O error (a file cannot be\n"
    "read or written, the archive is missing, mtools missing).\n";

int Usage(const std::string& message)
{
    std::fprintf(stderr, "bvpack: %s\n%s", message.c_str(), kUsage);
    return EXIT_USAGE;
}

// DIR/NAME, with NAME's volume extension dropped if given (DIR/SETUP.E00).
void SplitArchivePath(const std::string& arg, std::string* dir, std::string* name)
{
    fs::path p = PathOfName(arg);
    std::string base = NameOfPath(p.filename());
    std::string ext = UpperCase(NameOfPath(p.extension()));
    if (ext.size() == 4 && ext[1] == 'E' && std::isxdigit(static_cast<unsigned char>(ext[2])) &&
        std::isxdigit(static_cast<unsigned char>(ext[3])))
        base = NameOfPath(p.stem());
    *name = base;
    *dir = p.parent_path().empty() ? std::string(".") : NameOfPath(p.parent_path());
}

// An option that takes one value, given a second time: refused, as a
// project file refuses a repeated key. --item and --disk1 may repeat.
bool GivenTwice(const std::string& option, std::vector<std::string>* seen)
{
    if (option.size() < 3 || option.compare(0, 2, "--") != 0 || option == "--item" || option == "--disk1")
        return false;
    if (std::find(seen->begin(), seen->end(), option) != seen->end())
        return true;
    seen->push_back(option);
    return false;
}

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "bvpack: %s\n", message.c_str());
    return code;
}

// Takes argv[*i] (and its value) when it is an option of the release's
// media, for create or list; *code is then EXIT_OK or a reported usage error.
bool TakeMediaOption(int argc, char** argv, int* i, bool forCreate, ReleaseMedia* media, int* code)
{
    const std::string a = argv[*i];
    const bool hasValue = *i + 1 < argc;
    *code = EXIT_OK;
    if (a == "--volume") {
        if (!hasValue || !ParseVolume(argv[++*i], media))
            *code = Usage("--volume needs 360K, 720K, 1.2M, 1.44M, 2.88M, a byte count or 'one'");
    } else if (a == "--disk1") {
        if (hasValue)
            media->disk1Files.push_back(argv[++*i]);
        else
            *code = Usage("--disk1 needs a file");
    } else if (a == "--installer" && forCreate) {
        if (hasValue)
            media->installer = argv[++*i];
        else
            *code = Usage("--installer needs a path");
    } else if (a == "--images" && forCreate) {
        media->images = true;
    } else {
        return false;
    }
    return true;
}

int Create(int argc, char** argv)
{
    std::string sourceDir, out, list;
    PackRequest request;
    bool destGiven = false, quiet = false;
    std::vector<std::string> given;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (GivenTwice(a, &given))
            return Usage(a + " given twice");
        auto value = [&](std::string* v) {
            if (i + 1 >= argc)
                return false;
            *v = argv[++i];
            return true;
        };
        std::string v;
        int code = EXIT_OK;
        if (TakeMediaOption(argc, argv, &i, true, &request.media, &code)) {
            if (code != EXIT_OK)
                return code;
        } else if (a == "--out") {
            if (!value(&out)) return Usage("--out needs DIR/NAME");
        } else if (a == "--list") {
            if (!value(&list)) return Usage("--list needs a file");
        } else if (a == "--dest") {
            if (!value(&request.defaultDest)) return Usage("--dest needs a path");
            destGiven = true;
        } else if (a == "--locked") {
            request.allowChange = false;
        } else if (a == "--group") {
            if (!value(&request.script.group)) return Usage("--group needs a name");
        } else if (a == "--item") {
            if (!value(&v)) return Usage("--item needs CMD,TITLE");
            request.script.items.push_back(v);
        } else if (a == "--run") {
            if (!value(&request.script.program)) return Usage("--run needs a command line");
        } else if (a == "--codepage") {
            if (!value(&v) || !ParseCodePage(v, &request.codePage))
                return Usage("--codepage needs the number of a Windows code page this system converts to");
        } else if (a == "--quiet") {
            quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (sourceDir.empty()) {
            sourceDir = a;
        } else {
            return Usage("more than one source directory");
        }
    }
    if (sourceDir.empty())
        return Usage("create needs a source directory");
    if (out.empty())
        return Usage("create needs --out DIR/NAME");
    SplitArchivePath(out, &request.outDir, &request.name);
    request.name = UpperCase(request.name);
    std::string problem = CheckArchiveName(request.name);
    if (!problem.empty())
        return Usage(problem);
    if (!destGiven)
        request.defaultDest = "C:\\" + request.name;

    std::error_code ec;
    if (fs::exists(PathOfName(sourceDir), ec) && !fs::is_directory(PathOfName(sourceDir), ec))
        return Fail(EXIT_USAGE, sourceDir + " is a file; create packs a folder (a project file goes to build)");
    if (!fs::is_directory(PathOfName(sourceDir), ec))
        return Fail(EXIT_IO, "source folder " + sourceDir + " not found");
    Reporter reporter(ReportModeFor(quiet));
    std::vector<std::string> relatives;
    if (!list.empty()) {
        if (fs::is_directory(PathOfName(list), ec))
            return Fail(EXIT_USAGE, "the list " + list + " is a folder; --list takes a file of paths");
        std::ifstream in(PathOfName(list));
        if (!in)
            return Fail(EXIT_IO, "cannot read the list " + list);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                relatives.push_back(line);
        }
    } else {
        // Volumes, installer, disk-1 files and images of this archive lying
        // in the source tree (from an earlier run) are not packed into it again.
        std::vector<std::string> emptyDirs;
        std::string error;
        int code = FilesBelow(sourceDir, request, &relatives, &error, &emptyDirs);
        if (code != EXIT_OK)
            return Fail(code, error);
        for (const std::string& dir : emptyDirs)
            reporter.Warn("empty directory " + dir + " is not stored");
    }
    for (const std::string& rel : relatives)
        request.files.push_back({NameOfPath(PathOfName(sourceDir) / PathOfName(rel)), MemberPathOf(rel), 0});
    return RunPackRequest(request, reporter);
}

int Build(int argc, char** argv)
{
    std::string project;
    bool quiet = false;
    std::vector<std::string> given;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (GivenTwice(a, &given))
            return Usage(a + " given twice");
        if (a == "--quiet")
            quiet = true;
        else if (!a.empty() && a[0] == '-')
            return Usage("unknown option " + a);
        else if (project.empty())
            project = a;
        else
            return Usage("more than one project file");
    }
    if (project.empty())
        return Usage("build needs a project file");
    PackRequest request;
    std::string error;
    int code = ReadProjectFile(project, &request, &error);
    if (code != EXIT_OK)
        return Fail(code, error);
    Reporter reporter(ReportModeFor(quiet));
    return RunPackRequest(request, reporter);
}

std::string Attributes(std::uint32_t a)
{
    std::string s;
    s += (a & ATTR_READONLY) ? 'R' : '-';
    s += (a & ATTR_HIDDEN) ? 'H' : '-';
    s += (a & ATTR_SYSTEM) ? 'S' : '-';
    s += (a & ATTR_ARCHIVE) ? 'A' : '-';
    return s;
}

std::string Stamp(std::uint32_t s)
{
    char text[32];
    DosStampParts p = DecodeDosStamp(s);
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return text;
}

// A scratch directory for list and test, removed again.
struct ScratchDir {
    std::string path;
    ScratchDir()
    {
        // A new name of our own, made by whichever attempt creates it.
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        unsigned seed = static_cast<unsigned>(std::time(nullptr)) ^ static_cast<unsigned>(std::clock());
        for (unsigned n = 0; n < 1000 && path.empty(); n++) {
            fs::path p = base / ("bvpack-" + std::to_string(seed) + "-" + std::to_string(n));
            if (fs::create_directory(p, ec))
                path = p.string();
        }
    }
    ~ScratchDir()
    {
        std::error_code ec;
        if (!path.empty()) {
            for (auto& e : fs::recursive_directory_iterator(path, ec))
                fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
            fs::remove_all(path, ec);
        }
    }
};

// The installer's reader writes the members under their names in the
// code page; they are moved to their names in the host's encoding, and the
// folders left empty by that are removed.
template <typename Convert>
void NameExtractedFiles(const std::string& to, const std::vector<ReadMember>& members, Convert host)
{
    std::error_code ec;
    std::vector<fs::path> folders;
    for (const ReadMember& m : members) {
        std::string stored = m.path, shown = host(m.path);
        if (stored == shown)
            continue;
        std::replace(stored.begin(), stored.end(), '\\', '/');
        std::replace(shown.begin(), shown.end(), '\\', '/');
        const fs::path from = PathOfName(to) / PathOfName(stored), target = PathOfName(to) / PathOfName(shown);
        fs::create_directories(target.parent_path(), ec);
        fs::rename(from, target, ec);
        for (fs::path p = PathOfName(stored).parent_path(); !p.empty(); p = p.parent_path())
            folders.push_back(PathOfName(to) / p);
    }
    // Deepest first; only the empty ones go.
    std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
        return a.native().size() > b.native().size();
    });
    for (const fs::path& f : folders)
        if (fs::is_directory(f, ec) && fs::is_empty(f, ec))
            fs::remove(f, ec);
}

// Progress while an archive is read: the share of the volumes' bytes read
// so far stands for the share of the work done.
struct ReadingProgress {
    Reporter* reporter;
    const char* verb;
    std::vector<std::uint64_t> volumeSizes;
    std::uint64_t packedTotal = 0;
};

void ShowReading(std::size_t index, const std::string& path, std::uint64_t bytesDone, void* context)
{
    ReadingProgress& p = *static_cast<ReadingProgress*>(context);
    ProgressFigures f;
    f.filesDone = index;
    f.bytesDone = bytesDone;
    if (install.volumeStream != nullptr && install.volumeNumber >= 0) {
        for (std::size_t n = 0; n < p.volumeSizes.size() && n < static_cast<std::size_t>(install.volumeNumber); n++)
            f.packedDone += p.volumeSizes[n];
        long at = std::ftell(install.volumeStream);
        if (at > 0)
            f.packedDone += static_cast<std::uint64_t>(at);
    }
    if (p.packedTotal != 0)
        f.fraction = static_cast<double>(f.packedDone) / static_cast<double>(p.packedTotal);
    p.reporter->Show(p.verb, f, path);
}

// The diskettes of the release in dir, for list: the kind and the disk-1
// files as given, or else as the images beside the volumes show them.
int ShowDiskettes(const std::string& dir, const std::string& name, ReleaseMedia media)
{
    const fs::path firstImage = fs::path(dir) / DiskImageName(1);
    std::error_code ec;
    std::string error;
    if (media.kind == nullptr && fs::is_regular_file(firstImage, ec)) {
        media.kind = DisketteKindOfImage(fs::file_size(firstImage, ec));
        if (media.kind == nullptr)
            return Fail(EXIT_DAMAGED, firstImage.string() + " is no diskette image of a known kind");
        std::vector<std::string> names;
        if (media.disk1Files.empty() && !ListDisketteImage(firstImage.string(), &names, &error))
            return Fail(EXIT_IO, error);
        for (const std::string& n : names) {
            if (n != name + ".EXE" && n != VolumeFileName(name, 0))
                media.disk1Files.push_back((fs::path(dir) / n).string());
        }
    }
    if (media.kind == nullptr)
        return EXIT_OK;
    if (fs::exists(fs::path(dir) / (name + ".EXE"), ec))
        media.installer = (fs::path(dir) / (name + ".EXE")).string();
    std::vector<DisketteFile> disk1;
    int which = 0;
    int code = DiskOneFiles(media, name, &disk1, &error, &which);
    if (code != EXIT_OK)
        return Fail(code, error);
    std::vector<std::uint64_t> sizes;
    for (unsigned n = 0; fs::is_regular_file(fs::path(dir) / VolumeFileName(name, n), ec); n++)
        sizes.push_back(fs::file_size(fs::path(dir) / VolumeFileName(name, n), ec));
    std::printf("%s", DescribeDiskettes(*media.kind, PlanDiskettes(*media.kind, name, disk1, sizes)).c_str());
    return EXIT_OK;
}

int Read(const std::string& command, int argc, char** argv)
{
    std::string archive, to = ".";
    bool quiet = false;
    unsigned codePage = kDefaultCodePage;
    ReleaseMedia media;
    std::vector<std::string> given;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (GivenTwice(a, &given))
            return Usage(a + " given twice");
        int code = EXIT_OK;
        if (command == "list" && TakeMediaOption(argc, argv, &i, false, &media, &code)) {
            if (code != EXIT_OK)
                return code;
        } else if (a == "--to" && command == "extract") {
            if (i + 1 >= argc)
                return Usage("--to needs a directory");
            to = argv[++i];
        } else if (a == "--codepage") {
            if (i + 1 >= argc || !ParseCodePage(argv[++i], &codePage))
                return Usage("--codepage needs the number of a Windows code page this system converts to");
        } else if (a == "--quiet") {
            quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (archive.empty()) {
            archive = a;
        } else {
            return Usage("more than one archive");
        }
    }
    if (archive.empty())
        return Usage(command + " needs DIR/NAME");
    std::string dir, name;
    SplitArchivePath(archive, &dir, &name);
    // create writes upper-case names, as the installer looks for them.
    std::error_code ec;
    if (!fs::exists(fs::path(dir) / VolumeFileName(name, 0), ec) &&
        fs::exists(fs::path(dir) / VolumeFileName(UpperCase(name), 0), ec))
        name = UpperCase(name);

    ScratchDir scratch;
    std::string dest = to;
    if (command == "extract") {
        fs::create_directories(to, ec);
        if (!fs::is_directory(to, ec))
            return Fail(EXIT_IO, "cannot create " + to);
    } else {
        if (scratch.path.empty())
            return Fail(EXIT_IO, "cannot make a scratch directory");
        dest = scratch.path;
    }

    Reporter reporter(ReportModeFor(quiet || command == "list"));
    if (command == "test")
        return TestRelease(dir, name, scratch.path, reporter);
    ReadingProgress reading{&reporter, command == "extract" ? "extracting" : "testing", {}, 0};
    for (unsigned n = 0;; n++) {
        std::uint64_t size = fs::file_size(fs::path(dir) / VolumeFileName(name, n), ec);
        if (ec)
            break;
        reading.volumeSizes.push_back(size);
        reading.packedTotal += size;
    }
    ReadResult r = ReadArchive(dir, name, dest, command == "extract", ShowReading, &reading);
    reporter.Clear();
    // Names back from the installer's code page into the host's.
    auto host = [&](const std::string& text) {
        std::string converted;
        FromCodePage(text, codePage, &converted);
        return converted;
    };
    if (command == "extract")
        NameExtractedFiles(to, r.members, host);
    r.defaultDest = host(r.defaultDest);
    for (ReadMember& m : r.members)
        m.path = host(m.path);
    for (ReadScriptEntry& e : r.script)
        e.value = host(e.value);
    r.error = host(r.error);

    std::uint64_t total = 0;
    for (const ReadMember& m : r.members)
        total += m.size;
    if (command == "list") {
        if (!r.defaultDest.empty() || r.ok)
            std::printf("destination %s (%s)\n", r.defaultDest.c_str(), r.allowChange ? "may be changed" : "locked");
        for (const ReadMember& m : r.members)
            std::printf("%10u  %s  %s  %s\n", m.size, Stamp(m.dosStamp).c_str(), Attributes(m.attributes).c_str(),
                        m.path.c_str());
        for (const ReadScriptEntry& e : r.script) {
            switch (e.code) {
            case SCRIPT_GROUPNAME: std::printf("group   %s\n", e.value.c_str()); break;
            case SCRIPT_ITEMNAME: std::printf("item    %s\n", e.value.c_str()); break;
            case SCRIPT_PRGEXEC: std::printf("run     %s\n", e.value.c_str()); break;
            default: std::printf("end\n"); break;
            }
        }
        if (r.ok) {
            int code = ShowDiskettes(dir, name, media);
            if (code != EXIT_OK)
                return code;
        }
    }
    if (!r.ok)
        return reporter.Fail(r.ioError ? EXIT_IO : EXIT_DAMAGED, r.error);
    char summary[256];
    const char* plural = r.members.size() == 1 ? "" : "s";
    if (command == "test")
        std::snprintf(summary, sizeof summary, "OK: %zu member%s, %llu bytes, %d volume%s", r.members.size(), plural,
                      static_cast<unsigned long long>(total), r.volumes, r.volumes == 1 ? "" : "s");
    else
        std::snprintf(summary, sizeof summary, "%zu member%s, %llu bytes extracted to %s", r.members.size(), plural,
                      static_cast<unsigned long long>(total), to.c_str());
    if (command != "list")
        reporter.Summary(summary);
    return EXIT_OK;
}

// test DISK1.IMG DISK2.IMG ...: the release on its images, in order.
int TestImages(int argc, char** argv)
{
    std::vector<std::string> images;
    bool quiet = false;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--quiet")
            quiet = true;
        else if (!a.empty() && a[0] == '-')
            return Usage("unknown option " + a);
        else if (IsDisketteImagePath(a))
            images.push_back(a);
        else
            return Usage("test takes DIR/NAME or diskette images DISK1.IMG DISK2.IMG ...; " + a + " is neither");
    }
    ScratchDir scratch;
    if (scratch.path.empty())
        return Fail(EXIT_IO, "cannot make a scratch directory");
    Reporter reporter(ReportModeFor(quiet));
    return TestDisketteImages(images, scratch.path, reporter);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage("no command");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s%s", kUsage, kHelp);
        return EXIT_OK;
    }
    if (command == "create")
        return Create(argc - 2, argv + 2);
    if (command == "build")
        return Build(argc - 2, argv + 2);
    if (command == "test" && argc > 2 && IsDisketteImagePath(argv[2]))
        return TestImages(argc - 2, argv + 2);
    if (command == "list" || command == "test" || command == "extract")
        return Read(command, argc - 2, argv + 2);
    return Usage("unknown command " + command);
}
