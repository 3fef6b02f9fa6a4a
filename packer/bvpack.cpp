// bvpack: makes installer archives (NAME.E00, NAME.E01, ...) from a
// directory, laid out on diskettes and written as diskette images if asked,
// and lists, tests and extracts them with the installer's own reader and
// decoder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "packer/archive_reader_tool.h"
#include "packer/archive_writer.h"
#include "packer/disk_image.h"
#include "packer/diskette.h"

namespace fs = std::filesystem;

namespace {

enum ExitCode { EXIT_OK = 0, EXIT_DAMAGED = 1, EXIT_USAGE = 2, EXIT_IO = 3 };

const char kUsage[] =
    "usage: bvpack create SOURCE_DIR --out DIR/NAME [options]\n"
    "       bvpack list DIR/NAME [--volume KIND] [--disk1 FILE]...\n"
    "       bvpack test DIR/NAME\n"
    "       bvpack extract DIR/NAME [--to DIR]\n"
    "       bvpack --help\n";

const char kHelp[] =
    "\n"
    "Makes the archive volumes NAME.E00, NAME.E01, ... that an installer copied\n"
    "beside them as NAME.EXE installs, and reads them back with the installer's\n"
    "own reader.\n"
    "\n"
    "create SOURCE_DIR: every file below SOURCE_DIR becomes a member, stored under\n"
    "its path relative to SOURCE_DIR (backslash-separated), with its modification\n"
    "time (local time, as a DOS stamp) and its attributes (read-only when the\n"
    "owner may not write it; archive always).\n"
    "  --out DIR/NAME     where the volumes go; NAME is upper-cased (required)\n"
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
    "  --disk1 FILE       copy FILE (a DOS 8.3 name) beside NAME.EXE, onto disk 1\n"
    "                     (repeatable)\n"
    "  --images           also write DISK1.IMG, DISK2.IMG, ...: a diskette image\n"
    "                     of the --volume kind per diskette, labelled DISK1, ...,\n"
    "                     with its files (needs mtools)\n"
    "list DIR/NAME: the header, every member (size, date, attributes) and the script;\n"
    "  then the diskettes, with their files in clusters and the room left, for the\n"
    "  kind of --volume or of the images beside the volumes (disk-1 files as given\n"
    "  by --disk1 or found on DISK1.IMG).\n"
    "test DIR/NAME: decodes every member; reports the first damage.\n"
    "extract DIR/NAME: writes the members with their stamps below --to DIR\n"
    "  (default: the current directory), refusing paths that leave it.\n"
    "\n"
    "Exit codes: 0 success; 1 damaged archive or failed test; 2 usage error or\n"
    "input the archive cannot hold or a diskette cannot hold; 3 I/O error (a\n"
    "file cannot be read or written, the archive is missing, mtools missing).\n";

bool progressShown = false;

bool Terminal()
{
    return isatty(fileno(stderr)) != 0;
}

void ClearProgress()
{
    if (progressShown) {
        std::fprintf(stderr, "\r\033[K");
        progressShown = false;
    }
}

void ShowProgress(const std::string& text)
{
    if (!Terminal())
        return;
    std::string line = text.size() > 76 ? text.substr(0, 73) + "..." : text;
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    progressShown = true;
}

void PackProgress(std::size_t index, std::size_t count, const std::string& path, void*)
{
    if (index < count)
        ShowProgress("packing " + std::to_string(index + 1) + "/" + std::to_string(count) + " " + path);
}

void ReadProgressShow(std::size_t index, const std::string& path, std::uint64_t bytesDone, void*)
{
    ShowProgress("reading " + std::to_string(index + 1) + ": " + path + " (" + std::to_string(bytesDone >> 10) + " KiB)");
}

int Fail(int code, const std::string& message)
{
    ClearProgress();
    std::fprintf(stderr, "bvpack: %s\n", message.c_str());
    return code;
}

int Usage(const std::string& message)
{
    std::fprintf(stderr, "bvpack: %s\n%s", message.c_str(), kUsage);
    return EXIT_USAGE;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// --volume: a diskette kind, 'one' or a byte count.
bool ParseVolume(const std::string& text, bv::ReleaseMedia* media)
{
    media->kind = bv::FindDisketteKind(text);
    media->volumeSize = bv::VOLUME_UNLIMITED;
    if (media->kind != nullptr || Upper(text) == "ONE")
        return true;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    media->volumeSize = std::strtoull(text.c_str(), nullptr, 10);
    return media->volumeSize > 0;
}

// DIR/NAME, with NAME's volume extension dropped if given (DIR/SETUP.E00).
void SplitArchivePath(const std::string& arg, std::string* dir, std::string* name)
{
    fs::path p(arg);
    std::string base = p.filename().string();
    std::string ext = Upper(p.extension().string());
    if (ext.size() == 4 && ext[1] == 'E' && std::isxdigit(static_cast<unsigned char>(ext[2])) &&
        std::isxdigit(static_cast<unsigned char>(ext[3])))
        base = p.stem().string();
    *name = base;
    *dir = p.parent_path().empty() ? std::string(".") : p.parent_path().string();
}

std::uint32_t StampOf(const struct stat& st)
{
    std::time_t t = st.st_mtime;
    std::tm local{};
    localtime_r(&t, &local);
    return bv::MakeDosStamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                            local.tm_sec);
}

// Reads one source file as a member; the error names the file.
bool LoadMember(const fs::path& file, const std::string& memberPath, bv::ArchiveMember* m, std::string* error)
{
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) {
        *error = "cannot read " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = file.string() + " is not a regular file";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) >= (std::uint64_t{1} << 32)) {
        *error = file.string() + " is 4 GiB or larger; the archive stores sizes in 32 bits";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = "cannot read " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    m->data.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad() || m->data.size() != static_cast<std::size_t>(st.st_size)) {
        *error = "cannot read " + file.string();
        return false;
    }
    m->path = memberPath;
    m->attributes = bv::ATTR_ARCHIVE | ((st.st_mode & S_IWUSR) ? 0u : std::uint32_t{bv::ATTR_READONLY});
    m->dosStamp = StampOf(st);
    return true;
}

std::string MemberPathOf(const std::string& relative)
{
    std::string p = relative;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

// Whether file (upper case) is the installer or a volume of archive name.
bool IsReleaseFileName(const std::string& file, const std::string& name)
{
    if (file == name + ".EXE")
        return true;
    return file.size() == name.size() + 4 && file.compare(0, name.size() + 2, name + ".E") == 0 &&
           std::isxdigit(static_cast<unsigned char>(file[name.size() + 2])) &&
           std::isxdigit(static_cast<unsigned char>(file[name.size() + 3]));
}

const char kVolumeChoices[] = "--volume needs 360K, 720K, 1.2M, 1.44M, 2.88M, a byte count or 'one'";

// Takes argv[*i] (and its value) when it is an option of the release's
// media, for create or list; *code is then EXIT_OK or a reported usage error.
bool TakeMediaOption(int argc, char** argv, int* i, bool forCreate, bv::ReleaseMedia* media, int* code)
{
    const std::string a = argv[*i];
    const bool hasValue = *i + 1 < argc;
    *code = EXIT_OK;
    if (a == "--volume") {
        if (!hasValue || !ParseVolume(argv[++*i], media))
            *code = Usage(kVolumeChoices);
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

std::string DiskImageName(unsigned number)
{
    return "DISK" + std::to_string(number) + ".IMG";
}

// The files of disk 1 beside volume 0, from the installer and the user's
// disk-1 files, under their names on the diskette. The sizes are read from
// the given files. Exit code 0, or a reported failure.
int Disk1Files(const bv::ReleaseMedia& media, const std::string& name, std::vector<bv::DisketteFile>* files)
{
    files->clear();
    auto add = [&](const std::string& path, const std::string& diskName) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0)
            return Fail(EXIT_IO, "cannot read " + path + ": " + std::strerror(errno));
        if (!S_ISREG(st.st_mode))
            return Fail(EXIT_USAGE, path + " is not a regular file");
        for (const bv::DisketteFile& f : *files) {
            if (f.name == diskName)
                return Fail(EXIT_USAGE, path + " would lie on disk 1 as " + diskName + ", as " + f.source + " does");
        }
        files->push_back({diskName, static_cast<std::uint64_t>(st.st_size), path});
        return static_cast<int>(EXIT_OK);
    };
    int code = EXIT_OK;
    if (!media.installer.empty())
        code = add(media.installer, name + ".EXE");
    for (const std::string& path : media.disk1Files) {
        if (code != EXIT_OK)
            break;
        std::string diskName = Upper(fs::path(path).filename().string());
        if (media.kind != nullptr && !bv::IsDosName(diskName))
            return Fail(EXIT_USAGE, "disk-1 file " + path + ": \"" + diskName + "\" is not a DOS 8.3 file name");
        if (IsReleaseFileName(diskName, name))
            return Fail(EXIT_USAGE, "disk-1 file " + path + " would take the name of the installer or a volume");
        code = add(path, diskName);
    }
    return code;
}

// Copies a file with its modification time; nothing when it is the target.
bool CopyWithTime(const std::string& from, const fs::path& to, std::string* error)
{
    std::error_code ec;
    if (fs::exists(to, ec) && fs::equivalent(from, to, ec))
        return true;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    struct stat st {};
    if (!ec && stat(from.c_str(), &st) == 0) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (utimensat(AT_FDCWD, to.c_str(), times, 0) != 0)
            ec.assign(errno, std::generic_category());
    }
    if (ec)
        *error = "cannot copy " + from + " to " + to.string() + ": " + ec.message();
    return !ec;
}

// Writes the release: the volumes, NAME.EXE and the disk-1 files into
// outDir, and with media.images one image per diskette. Everything that can
// be refused is refused before the first file is written. The exit code.
int WriteRelease(const bv::ArchiveInput& input, const bv::ReleaseMedia& media, const std::string& outDir,
                 const std::string& name)
{
    if (media.images && media.kind == nullptr)
        return Usage("--images needs a diskette kind: --volume 360K, 720K, 1.2M, 1.44M or 2.88M");
    std::vector<bv::DisketteFile> disk1;
    int code = Disk1Files(media, name, &disk1);
    if (code != EXIT_OK)
        return code;
    std::uint64_t firstRoom = media.volumeSize, room = media.volumeSize;
    std::string error;
    if (media.kind != nullptr) {
        if (!bv::FirstVolumeRoom(*media.kind, name, disk1, &firstRoom, &error))
            return Fail(EXIT_USAGE, error);
        room = media.kind->DataBytes();
    }
    if (media.images) {
        std::string missing = bv::MissingImageTools();
        if (!missing.empty())
            return Fail(EXIT_IO, missing);
    }

    bv::ArchivePayload payload;
    std::vector<std::vector<std::uint8_t>> volumes;
    if (!bv::BuildPayload(input, &payload, &error, PackProgress, nullptr) ||
        !bv::SplitPayload(payload, firstRoom, room, &volumes, &error))
        return Fail(EXIT_USAGE, error);
    ClearProgress();
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!bv::WriteVolumeFiles(outDir, name, volumes, &error))
        return Fail(EXIT_IO, error);
    for (bv::DisketteFile& f : disk1) {
        fs::path target = fs::path(outDir) / f.name;
        if (!CopyWithTime(f.source, target, &error))
            return Fail(EXIT_IO, error);
        f.source = target.string();
    }

    std::uint64_t inBytes = 0, outBytes = 0;
    for (const bv::ArchiveMember& m : input.members)
        inBytes += m.data.size();
    for (const auto& v : volumes)
        outBytes += v.size();
    std::printf("%s: %zu members, %llu bytes in %zu volume%s of %llu bytes (%.1f%%)\n",
                (fs::path(outDir) / bv::VolumeFileName(name, 0)).c_str(), input.members.size(),
                static_cast<unsigned long long>(inBytes), volumes.size(), volumes.size() == 1 ? "" : "s",
                static_cast<unsigned long long>(outBytes), inBytes ? 100.0 * static_cast<double>(outBytes) / static_cast<double>(inBytes) : 0.0);

    unsigned images = 0;
    if (media.kind != nullptr) {
        std::vector<std::uint64_t> sizes;
        for (const auto& v : volumes)
            sizes.push_back(v.size());
        std::vector<bv::Diskette> disks = bv::PlanDiskettes(*media.kind, name, disk1, sizes);
        for (bv::Diskette& d : disks) {
            for (bv::DisketteFile& f : d.files)
                f.source = (fs::path(outDir) / f.name).string();
        }
        std::printf("%s", bv::DescribeDiskettes(*media.kind, disks).c_str());
        // Each image is made under a scratch name and put in place when all are made.
        for (; media.images && images < disks.size(); images++) {
            fs::path image = fs::path(outDir) / (DiskImageName(images + 1) + ".part");
            if (!bv::WriteDisketteImage(*media.kind, disks[images], image.string(), &error)) {
                for (unsigned k = 0; k < images; k++)
                    fs::remove(fs::path(outDir) / (DiskImageName(k + 1) + ".part"), ec);
                return Fail(EXIT_IO, error);
            }
        }
        for (unsigned k = 0; k < images; k++) {
            fs::path image = fs::path(outDir) / DiskImageName(k + 1);
            fs::rename(image.string() + ".part", image, ec);
            if (ec)
                return Fail(EXIT_IO, "cannot write " + image.string() + ": " + ec.message());
            std::printf("%s: %s diskette image\n", image.c_str(), media.kind->name);
        }
    }
    // Images of an older, longer set (or of a set made without images) no
    // longer match the volumes.
    for (unsigned k = images + 1; fs::remove(fs::path(outDir) / DiskImageName(k), ec); k++) {
    }
    return EXIT_OK;
}

int Create(int argc, char** argv)
{
    std::string sourceDir, out, list;
    bv::ReleaseMedia media;
    bv::ArchiveInput input;
    bool destGiven = false;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= argc)
                return false;
            *v = argv[++i];
            return true;
        };
        std::string v;
        int code = EXIT_OK;
        if (TakeMediaOption(argc, argv, &i, true, &media, &code)) {
            if (code != EXIT_OK)
                return code;
        } else if (a == "--out") {
            if (!value(&out)) return Usage("--out needs DIR/NAME");
        } else if (a == "--list") {
            if (!value(&list)) return Usage("--list needs a file");
        } else if (a == "--dest") {
            if (!value(&input.defaultDest)) return Usage("--dest needs a path");
            destGiven = true;
        } else if (a == "--locked") {
            input.allowChange = false;
        } else if (a == "--group") {
            if (!value(&input.script.group)) return Usage("--group needs a name");
        } else if (a == "--item") {
            if (!value(&v)) return Usage("--item needs CMD,TITLE");
            input.script.items.push_back(v);
        } else if (a == "--run") {
            if (!value(&input.script.program)) return Usage("--run needs a command line");
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
    std::string outDir, name;
    SplitArchivePath(out, &outDir, &name);
    name = Upper(name);
    if (name.empty() || name.size() >= ARCHIVE_NAME_SIZE)
        return Usage("archive name \"" + name + "\" must have 1 to " + std::to_string(ARCHIVE_NAME_SIZE - 1) +
                     " characters (the installer's own name)");
    if (!destGiven)
        input.defaultDest = "C:\\" + name;

    std::error_code ec;
    if (!fs::is_directory(sourceDir, ec))
        return Fail(EXIT_IO, "source directory " + sourceDir + " not found");
    std::vector<std::string> relatives;
    if (!list.empty()) {
        std::ifstream in(list);
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
        const fs::path outCanonical = fs::weakly_canonical(outDir, ec);
        auto ownOutput = [&](const fs::path& p) {
            std::error_code e;
            if (fs::weakly_canonical(p.parent_path(), e) != outCanonical)
                return false;
            std::string file = Upper(p.filename().string());
            for (const std::string& extra : media.disk1Files)
                if (file == Upper(fs::path(extra).filename().string()))
                    return true;
            if (file.size() > 8 && file.compare(0, 4, "DISK") == 0 && file.compare(file.size() - 4, 4, ".IMG") == 0 &&
                file.find_first_not_of("0123456789", 4) == file.size() - 4)
                return true;
            return IsReleaseFileName(file, name);
        };
        for (fs::recursive_directory_iterator it(sourceDir, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file(ec) && !ownOutput(it->path()))
                relatives.push_back(fs::relative(it->path(), sourceDir, ec).generic_string());
            else if (it->is_directory(ec) && fs::is_empty(it->path(), ec))
                std::fprintf(stderr, "bvpack: warning: empty directory %s is not stored\n", it->path().c_str());
        }
        if (ec)
            return Fail(EXIT_IO, "cannot read " + sourceDir + ": " + ec.message());
        std::sort(relatives.begin(), relatives.end());
    }

    for (const std::string& rel : relatives) {
        bv::ArchiveMember m;
        std::string error;
        if (!LoadMember(fs::path(sourceDir) / rel, MemberPathOf(rel), &m, &error))
            return Fail(EXIT_IO, error);
        input.members.push_back(std::move(m));
    }
    return WriteRelease(input, media, outDir, name);
}

std::string Attributes(std::uint32_t a)
{
    std::string s;
    s += (a & bv::ATTR_READONLY) ? 'R' : '-';
    s += (a & bv::ATTR_HIDDEN) ? 'H' : '-';
    s += (a & bv::ATTR_SYSTEM) ? 'S' : '-';
    s += (a & bv::ATTR_ARCHIVE) ? 'A' : '-';
    return s;
}

std::string Stamp(std::uint32_t s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", (s >> 25) + 1980, s >> 21 & 0x0F,
                  s >> 16 & 0x1F, s >> 11 & 0x1F, s >> 5 & 0x3F, (s & 0x1F) * 2);
    return text;
}

// A scratch directory for list and test, removed again.
struct ScratchDir {
    std::string path;
    ScratchDir()
    {
        std::string base = (fs::temp_directory_path() / "bvpack-XXXXXX").string();
        std::vector<char> name(base.begin(), base.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) != nullptr)
            path = name.data();
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

// The diskettes of the release in dir, for list: the kind and the disk-1
// files as given, or else as the images beside the volumes show them.
int ShowDiskettes(const std::string& dir, const std::string& name, bv::ReleaseMedia media)
{
    const fs::path firstImage = fs::path(dir) / DiskImageName(1);
    std::error_code ec;
    if (media.kind == nullptr && fs::is_regular_file(firstImage, ec)) {
        media.kind = bv::DisketteKindOfImage(fs::file_size(firstImage, ec));
        if (media.kind == nullptr)
            return Fail(EXIT_DAMAGED, firstImage.string() + " is no diskette image of a known kind");
        std::vector<std::string> names;
        std::string error;
        if (media.disk1Files.empty() && !bv::ListDisketteImage(firstImage.string(), &names, &error))
            return Fail(EXIT_IO, error);
        for (const std::string& n : names) {
            if (n != name + ".EXE" && n != bv::VolumeFileName(name, 0))
                media.disk1Files.push_back((fs::path(dir) / n).string());
        }
    }
    if (media.kind == nullptr)
        return EXIT_OK;
    if (fs::exists(fs::path(dir) / (name + ".EXE"), ec))
        media.installer = (fs::path(dir) / (name + ".EXE")).string();
    std::vector<bv::DisketteFile> disk1;
    int code = Disk1Files(media, name, &disk1);
    if (code != EXIT_OK)
        return code;
    std::vector<std::uint64_t> sizes;
    for (unsigned n = 0; fs::is_regular_file(fs::path(dir) / bv::VolumeFileName(name, n), ec); n++)
        sizes.push_back(fs::file_size(fs::path(dir) / bv::VolumeFileName(name, n), ec));
    std::printf("%s", bv::DescribeDiskettes(*media.kind, bv::PlanDiskettes(*media.kind, name, disk1, sizes)).c_str());
    return EXIT_OK;
}

int Read(const std::string& command, int argc, char** argv)
{
    std::string archive, to = ".";
    bv::ReleaseMedia media;
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        int code = EXIT_OK;
        if (command == "list" && TakeMediaOption(argc, argv, &i, false, &media, &code)) {
            if (code != EXIT_OK)
                return code;
        } else if (a == "--to" && command == "extract") {
            if (i + 1 >= argc)
                return Usage("--to needs a directory");
            to = argv[++i];
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
    if (!fs::exists(fs::path(dir) / bv::VolumeFileName(name, 0), ec) &&
        fs::exists(fs::path(dir) / bv::VolumeFileName(Upper(name), 0), ec))
        name = Upper(name);

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

    bv::ReadResult r = bv::ReadArchive(dir, name, dest, command == "extract", ReadProgressShow, nullptr);
    ClearProgress();

    std::uint64_t total = 0;
    for (const bv::ReadMember& m : r.members)
        total += m.size;
    if (command == "list") {
        if (!r.defaultDest.empty() || r.ok)
            std::printf("destination %s (%s)\n", r.defaultDest.c_str(), r.allowChange ? "may be changed" : "locked");
        for (const bv::ReadMember& m : r.members)
            std::printf("%10u  %s  %s  %s\n", m.size, Stamp(m.dosStamp).c_str(), Attributes(m.attributes).c_str(),
                        m.path.c_str());
        for (const bv::ReadScriptEntry& e : r.script) {
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
        return Fail(r.ioError ? EXIT_IO : EXIT_DAMAGED, r.error);
    if (command == "test")
        std::printf("OK: %zu members, %llu bytes, %d volume%s\n", r.members.size(),
                    static_cast<unsigned long long>(total), r.volumes, r.volumes == 1 ? "" : "s");
    if (command == "extract")
        std::printf("%zu members, %llu bytes extracted to %s\n", r.members.size(),
                    static_cast<unsigned long long>(total), to.c_str());
    return EXIT_OK;
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
    if (command == "list" || command == "test" || command == "extract")
        return Read(command, argc - 2, argv + 2);
    return Usage("unknown command " + command);
}
