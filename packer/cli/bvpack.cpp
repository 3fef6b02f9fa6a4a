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

#include <CLI/CLI.hpp>

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
#include "packer/cli/installer_choice.h"
#include "packer/cli/project_init.h"
#include "packer/cli/version.h"

namespace fs = std::filesystem;
using namespace bv;

namespace {

// The commands, each with its operand and what it does; and every option,
// once, with the commands that take it. Parsing (CLI11), the usage lines,
// bvpack --help, bvpack help COMMAND, COMMAND --help and the man page
// (help2man, from --help) all come from these two tables.
enum CommandBit : unsigned { CREATE = 1, BUILD = 2, LIST = 4, TEST = 8, EXTRACT = 16, INIT = 32 };

struct CommandRow {
    const char* name;
    unsigned bit;
    const char* operand;
    const char* usageTail;   // after the operand in the usage line
    const char* summary;
    const char* otherUsage = nullptr;   // a second form's operands and options
};

const CommandRow kCommands[] = {
    {"init", INIT, "DIR", "",
     "writes NAME.INI, a commented project file for the product folder DIR, into\n"
     "the current folder (NAME from the folder's name); never over an existing file"},
    {"build", BUILD, "PROJECT.INI", " [options]",
     "packs what a project file describes (sections [Setup], [Files], [Group],\n"
     "[Run]; see the README), as create would; the release goes to the project's\n"
     "Output, by default the folder Output beside the project file"},
    {"create", CREATE, "SOURCE_DIR", " --out DIR/NAME [options]",
     "every file below SOURCE_DIR becomes a member, stored under its path relative\n"
     "to SOURCE_DIR (backslash-separated), in byte order of those paths, with its\n"
     "modification time (local time, as a DOS stamp: two-second steps, rounded\n"
     "down; times before 1980 or after 2107 are stored as the first or last DOS\n"
     "stamp, with a warning) and its attributes (read-only when the owner may not\n"
     "write it; archive always). Links are followed; one that points at nothing or\n"
     "leads back to a folder it lies in is an error. SOURCE_DATE_EPOCH (seconds since 1970) set: stamps\n"
     "are taken in UTC, and every time later than it is stored as it, so that a\n"
     "fresh checkout packs to the same bytes anywhere. For a diskette kind, the\n"
     "diskettes and their files are shown at the end"},
    {"list", LIST, "DIR/NAME", " [options]",
     "the header, every member (size, date, attributes) and the script; then the\n"
     "diskettes, with their files in clusters and the room left, for the kind of\n"
     "--volume or of the images beside the volumes (disk-1 files as given by\n"
     "--disk1 or found on DISK1.IMG)"},
    {"test", TEST, "DIR/NAME", " [options]",
     "decodes every member; reports the first damage. With the release's manifest\n"
     "(bvpack.manifest, beside the volumes) every volume's and every member's\n"
     "checksum is checked too, and damage is named by volume, diskette and member;\n"
     "without one only the stream's structure is checked. Given the release's\n"
     "diskette images DISK1.IMG DISK2.IMG ..., in order, test reads the release\n"
     "as from those diskettes (the manifest beside the first image)",
     "DISK1.IMG DISK2.IMG ... [options]"},
    {"extract", EXTRACT, "DIR/NAME", " [options]",
     "writes the members with their stamps below --to DIR (default: the current\n"
     "directory), refusing paths that leave it"},
};

// What the command line gives, for every command.
struct Args {
    std::string operand, out, list, dest, group, run, installer, volume, to, codePage;
    std::vector<std::string> items, disk1, diskImages;   // test DISK1.IMG DISK2.IMG ...
    bool locked = false, images = false, quiet = false, noInstaller = false, help = false;
};

struct OptionRow {
    const char* name;
    const char* value;                        // null: a flag
    unsigned commands;
    std::string Args::*text;                  // a value, given once
    std::vector<std::string> Args::*texts;    // a value, repeatable
    bool Args::*flag;
    std::string help;
};

const std::vector<OptionRow>& Options()
{
    static const std::vector<OptionRow> rows = {
        {"--out", "DIR/NAME", CREATE, &Args::out, nullptr, nullptr,
         "where the volumes go; NAME is upper-cased (required): 1 to 15 printable\nASCII characters of a Windows "
         "file name, no DOS device, no blank at either end"},
        {"--out", "DIR", BUILD, &Args::out, nullptr, nullptr,
         "where the release goes, instead of the project's Output (the same rules:\nbvpack replaces only a release "
         "of its own there)"},
        {"--list", "FILE", CREATE, &Args::list, nullptr, nullptr,
         "pack only the files listed in FILE, one path relative to SOURCE_DIR per\nline, in that order"},
        {"--dest", "PATH", CREATE, &Args::dest, nullptr, nullptr, "default destination directory (default C:\\NAME)"},
        {"--locked", nullptr, CREATE, nullptr, nullptr, &Args::locked, "the user may not change the destination"},
        {"--volume", "SIZE", CREATE | LIST, &Args::volume, nullptr, nullptr,
         "a diskette kind: " + DisketteKindNames() +
             " (each diskette's files fit a\nfreshly formatted FAT12 diskette of that kind, in whole clusters); or the\n"
             "largest volume file as a byte count; or 'one' for a single volume (default)"},
        {"--group", "NAME", CREATE, &Args::group, nullptr, nullptr, "create this Program Manager group"},
        {"--item", "CMD,TITLE", CREATE, nullptr, &Args::items, nullptr,
         "add a program item to the group (repeatable)"},
        {"--run", "'CMD ARGS'", CREATE, &Args::run, nullptr, nullptr,
         "start this program in the destination at the end"},
        {"--installer", "PATH", CREATE, &Args::installer, nullptr, nullptr,
         "copy this installer (a 32-bit Windows GUI program) beside the volumes\nas NAME.EXE; default: bvpack's own "
         "(see bvpack --version)"},
        {"--no-installer", nullptr, CREATE | BUILD, nullptr, nullptr, &Args::noInstaller,
         "make the volumes only, without NAME.EXE (as Installer = none)"},
        {"--codepage", "N", CREATE | LIST | EXTRACT, &Args::codePage, nullptr, nullptr,
         "the Windows ANSI code page the names are stored in (default 1252; build\ntakes CodePage from the project "
         "file)"},
        {"--disk1", "FILE", CREATE | LIST, nullptr, &Args::disk1, nullptr,
         "copy FILE (a DOS 8.3 name) beside NAME.EXE, onto disk 1 (repeatable)"},
        {"--images", nullptr, CREATE, nullptr, nullptr, &Args::images,
         "also write DISK1.IMG, DISK2.IMG, ...: a diskette image of the --volume\nkind per diskette, labelled DISK1, "
         "..., with its files (needs mtools)"},
        {"--to", "DIR", EXTRACT, &Args::to, nullptr, nullptr, "where the members go (default: the current directory)"},
        {"--quiet", nullptr, CREATE | BUILD | LIST | TEST | EXTRACT, nullptr, nullptr, &Args::quiet,
         "errors alone: no progress, no warnings and no summary line"},
        {"--help", nullptr, CREATE | BUILD | LIST | TEST | EXTRACT | INIT, nullptr, nullptr, &Args::help,
         "show this command's options"},
    };
    return rows;
}

const char kProgram[] =
    "Makes the archive volumes NAME.E00, NAME.E01, ... that an installer copied\n"
    "beside them as NAME.EXE installs, and reads them back with the installer's\n"
    "own reader.\n";

const char kClosing[] =
    "create and build write a release all or nothing, with its manifest\n"
    "bvpack.manifest (every file written, with size and SHA-256): a rebuild\n"
    "replaces or removes only the previous release's files, while unchanged; any\n"
    "other file in the way is an error, and then nothing is written.\n"
    "\n"
    "create, build, test and extract show their progress on standard error when\n"
    "it is a terminal, and a summary line at the end; --quiet shows errors alone.\n"
    "\n"
    "Environment: BVPACK_INSTALLER, the installer a release gets when none is\n"
    "given (a path, or none), instead of the one installed or built with bvpack.\n"
    "\n"
    "Exit codes: 0 success; 1 damaged archive or failed test; 2 usage error or\n"
    "input the archive or a diskette cannot hold; 3 I/O error (a file cannot be\n"
    "read or written, the archive is missing, mtools missing).\n";

// text's words in lines of at most 79 columns, the first after first (of
// width column), the others indented to column.
std::string Wrapped(const std::string& text, std::string first, std::size_t column)
{
    std::string out, line = std::move(first), word;
    auto put = [&] {
        if (word.empty())
            return;
        if (line.size() > column && line.size() + 1 + word.size() > 79) {
            out += line + "\n";
            line = std::string(column, ' ');
        } else if (line.size() > column) {
            line += ' ';
        }
        line += word;
        word.clear();
    };
    for (char c : text) {
        if (c == ' ' || c == '\n')
            put();
        else
            word += c;
    }
    put();
    return out + line + "\n";
}

// A command's usage lines, the first after lead.
std::string CommandUsage(const CommandRow& c, const char* lead)
{
    std::string text = std::string(lead) + "bvpack " + c.name + " " + c.operand + c.usageTail + "\n";
    if (c.otherUsage != nullptr)
        text += std::string("  or:  bvpack ") + c.name + " " + c.otherUsage + "\n";
    return text;
}

std::string UsageLines()
{
    std::string text;
    const char* lead = "Usage: ";
    for (const CommandRow& c : kCommands) {
        text += CommandUsage(c, lead);
        lead = "  or:  ";
    }
    text += "  or:  bvpack help [COMMAND]\n  or:  bvpack --help | --version\n";
    return text;
}

// One command's section: its usage, what it does, its options.
std::string CommandHelp(const CommandRow& c)
{
    std::string text = std::string(c.name) + " " + c.operand + ":\n" + Wrapped(std::string(c.summary) + ".", "  ", 2) + "\n";
    for (const OptionRow& o : Options()) {
        if ((o.commands & c.bit) == 0)
            continue;
        std::string left = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
        left.resize(std::max<std::size_t>(left.size() + 2, 21), ' ');
        text += Wrapped(o.help, left, 21);
    }
    return text + "\n";
}

std::string FullHelp()
{
    std::string text = UsageLines() + "\n" + kProgram + "\n";
    for (const CommandRow& c : kCommands)
        text += CommandHelp(c);
    text += "help [COMMAND]:\n  this text, or one command's options (as COMMAND --help).\n\n";
    text += "--version:\n  the kit's version and the installer that releases get.\n\n";
    return text + kClosing;
}

const CommandRow* FindCommand(const std::string& name)
{
    for (const CommandRow& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

int Usage(const std::string& message)
{
    std::fprintf(stderr, "bvpack: %s\n%s", message.c_str(), UsageLines().c_str());
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

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "bvpack: %s\n", message.c_str());
    return code;
}


// The installer a release gets: the one given, none (--no-installer or
// Installer = none), or bvpack's own. Checked to be a Windows GUI program.
int ChooseInstaller(bool none, const std::string& where, ReleaseMedia* media)
{
    if (none) {
        media->installer.clear();
        return EXIT_OK;
    }
    if (media->installer.empty()) {
        InstallerSearch search = FindInstaller();
        if (search.none)
            return EXIT_OK;
        if (search.found.empty()) {
            std::string looked;
            for (const std::string& place : search.looked)
                looked += "\n  " + place;
            return Fail(EXIT_USAGE, where + "no installer found; give one (--installer PATH, Installer = PATH) or "
                                           "none (--no-installer, Installer = none); looked in:" + looked);
        }
        media->installer = search.found;
    }
    std::string error;
    int code = CheckInstallerProgram(media->installer, &error);
    return code == EXIT_OK ? code : Fail(code, where + error);
}

int Version()
{
    std::printf("bvpack %s\n", KitVersion().c_str());
    InstallerSearch search = FindInstaller();
    std::error_code ec;
    if (search.none)
        std::printf("installer: none (BVPACK_INSTALLER=none)\n");
    else if (search.found.empty())
        std::printf("installer: none found\n");
    else
        std::printf("installer: %s (%llu bytes)\n", search.found.c_str(),
                    static_cast<unsigned long long>(fs::file_size(search.found, ec)));
    return EXIT_OK;
}

// --volume, --codepage and --disk1 into *media and *codePage (left as they
// are without the options); a usage error's exit code otherwise.
int TakeMediaOptions(const Args& args, ReleaseMedia* media, unsigned* codePage)
{
    if (!args.volume.empty() && !ParseVolume(args.volume, media))
        return Usage("--volume needs " + DisketteKindNames(", ") + ", a byte count or 'one'");
    if (!args.codePage.empty() && !ParseCodePage(args.codePage, codePage))
        return Usage("--codepage needs the number of a Windows code page this system converts to");
    media->disk1Files = args.disk1;
    return EXIT_OK;
}

int Create(const Args& args)
{
    PackRequest request;
    if (int code = TakeMediaOptions(args, &request.media, &request.codePage); code != EXIT_OK)
        return code;
    request.media.installer = args.installer;
    request.media.images = args.images;
    request.allowChange = !args.locked;
    request.script.group = args.group;
    request.script.items = args.items;
    request.script.program = args.run;
    const std::string& sourceDir = args.operand;
    if (sourceDir.empty())
        return Usage("create needs a source directory");
    if (args.out.empty())
        return Usage("create needs --out DIR/NAME");
    if (args.noInstaller && !args.installer.empty())
        return Usage("--installer and --no-installer exclude each other");
    SplitArchivePath(args.out, &request.outDir, &request.name);
    request.name = UpperCase(request.name);
    std::string problem = CheckArchiveName(request.name);
    if (!problem.empty())
        return Usage(problem);
    request.defaultDest = args.dest.empty() ? "C:\\" + request.name : args.dest;

    std::error_code ec;
    if (fs::exists(PathOfName(sourceDir), ec) && !fs::is_directory(PathOfName(sourceDir), ec))
        return Fail(EXIT_USAGE, sourceDir + " is a file; create packs a folder (a project file goes to build)");
    if (!fs::is_directory(PathOfName(sourceDir), ec))
        return Fail(EXIT_IO, "source folder " + sourceDir + " not found");
    Reporter reporter(ReportModeFor(args.quiet));
    std::vector<std::string> relatives;
    if (!args.list.empty()) {
        if (fs::is_directory(PathOfName(args.list), ec))
            return Fail(EXIT_USAGE, "the list " + args.list + " is a folder; --list takes a file of paths");
        std::ifstream in(PathOfName(args.list));
        if (!in)
            return Fail(EXIT_IO, "cannot read the list " + args.list);
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
    if (int code = ChooseInstaller(args.noInstaller, "", &request.media); code != EXIT_OK)
        return code;
    return RunPackRequest(request, reporter);
}

int Build(const Args& args)
{
    if (args.operand.empty())
        return Usage("build needs a project file");
    // --out stands for the project's Output, before the sources are read:
    // a previous release there is left out of them as one in Output is.
    PackRequest request;
    std::string error;
    int code = ReadProjectFile(args.operand, &request, &error, args.out);
    if (code != EXIT_OK)
        return Fail(code, error);
    // Installer = none leaves its line and no installer.
    bool none = args.noInstaller || (request.installerLine != 0 && request.media.installer.empty());
    code = ChooseInstaller(none, request.installerLine != 0 ? WhereIs(request, request.installerLine) : "",
                           &request.media);
    if (code != EXIT_OK)
        return code;
    Reporter reporter(ReportModeFor(args.quiet));
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
    p.reporter->Show(p.verb, ReadingFigures(index, bytesDone, p.volumeSizes, p.packedTotal), path);
}

// The diskettes of the release in dir, for list: the kind and the disk-1
// files as given, or else as the images beside the volumes show them;
// volumeSizes: the sizes of its volumes, in order.
int ShowDiskettes(const std::string& dir, const std::string& name, ReleaseMedia media,
                  const std::vector<std::uint64_t>& volumeSizes)
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
    std::printf("%s", DescribeDiskettes(*media.kind, PlanDiskettes(*media.kind, name, disk1, volumeSizes)).c_str());
    return EXIT_OK;
}

int Read(const std::string& command, const Args& args)
{
    const std::string& archive = args.operand;
    const std::string to = args.to.empty() ? "." : args.to;
    const bool quiet = args.quiet;
    ReleaseMedia media;
    unsigned codePage = kDefaultCodePage;
    if (int code = TakeMediaOptions(args, &media, &codePage); code != EXIT_OK)
        return code;
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
    // list shows no progress; extract does.
    ReadingProgress reading{&reporter, "extracting", {}, 0};
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
            int code = ShowDiskettes(dir, name, media, reading.volumeSizes);
            if (code != EXIT_OK)
                return code;
        }
    }
    if (!r.ok)
        return reporter.Fail(r.ioError ? EXIT_IO : EXIT_DAMAGED, r.error);
    if (command == "list")
        return EXIT_OK;
    char summary[256];
    std::snprintf(summary, sizeof summary, "%zu member%s, %llu bytes extracted to %s", r.members.size(),
                  r.members.size() == 1 ? "" : "s", static_cast<unsigned long long>(total), to.c_str());
    reporter.Summary(summary);
    return EXIT_OK;
}

// test DISK1.IMG DISK2.IMG ...: the release on its images, in order.
int TestImages(const Args& args)
{
    for (const std::string& a : args.diskImages)
        if (!IsDisketteImagePath(a))
            return Usage("test takes DIR/NAME or diskette images DISK1.IMG DISK2.IMG ...; " + a + " is neither");
    ScratchDir scratch;
    if (scratch.path.empty())
        return Fail(EXIT_IO, "cannot make a scratch directory");
    Reporter reporter(ReportModeFor(args.quiet));
    return TestDisketteImages(args.diskImages, scratch.path, reporter);
}

}  // namespace

// Parses the command line with CLI11 from the option table. Arguments it
// cannot place come back to say what was wrong in bvpack's words.
int main(int argc, char** argv)
{
    Args args;
    CLI::App app{kProgram, "bvpack"};
    app.set_help_flag();
    app.allow_extras();
    bool help = false, version = false;
    app.add_flag("--help,-h", help);
    app.add_flag("--version", version);
    std::vector<std::pair<const CommandRow*, CLI::App*>> commands;
    // Options and flags given once at most, as a project file's keys.
    std::vector<const CLI::Option*> once;
    for (const CommandRow& c : kCommands) {
        CLI::App* sub = app.add_subcommand(c.name, c.summary);
        sub->set_help_flag();
        sub->allow_extras();
        for (const OptionRow& o : Options()) {
            if ((o.commands & c.bit) == 0)
                continue;
            if (o.flag != nullptr)
                once.push_back(sub->add_flag(o.name, args.*o.flag, o.help)
                                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast));
            else if (o.texts != nullptr)
                sub->add_option(o.name, args.*o.texts, o.help)->allow_extra_args(false)->type_name(o.value);
            else
                once.push_back(sub->add_option(o.name, args.*o.text, o.help)
                                   ->type_name(o.value)
                                   ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast));
        }
        // test takes DIR/NAME or the diskette images of a release.
        if (c.bit == TEST)
            sub->add_option(c.operand, args.diskImages);
        else
            sub->add_option(c.operand, args.operand);
        commands.push_back({&c, sub});
    }
    // help COMMAND: the command's name is no subcommand here.
    if (argc >= 2 && std::string(argv[1]) == "help") {
        if (argc > 3)
            return Usage("help takes one command");
        if (argc == 2) {
            std::printf("%s", FullHelp().c_str());
            return EXIT_OK;
        }
        const CommandRow* c = FindCommand(argv[2]);
        if (c == nullptr)
            return Usage(std::string("unknown command ") + argv[2]);
        std::printf("%s\n%s", CommandUsage(*c, "Usage: ").c_str(), CommandHelp(*c).c_str());
        return EXIT_OK;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return Usage(e.what());
    }
    if (help && app.get_subcommands().empty()) {
        std::printf("%s", FullHelp().c_str());
        return EXIT_OK;
    }
    if (version)
        return Version();
    for (auto& [c, sub] : commands) {
        if (!sub->parsed())
            continue;
        if (args.help) {
            std::printf("%s\n%s", CommandUsage(*c, "Usage: ").c_str(), CommandHelp(*c).c_str());
            return EXIT_OK;
        }
        for (const std::string& extra : sub->remaining()) {
            if (extra.size() > 1 && extra[0] == '-')
                return Usage("unknown option " + extra + " of " + c->name);
            return Usage("more than one " + std::string(c->operand) + " (" + extra + ")");
        }
        for (const CLI::Option* o : once)
            if (o->count() > 1)
                return Usage(o->get_name() + " given twice");
        if (c->bit == TEST && !args.diskImages.empty()) {
            if (IsDisketteImagePath(args.diskImages.front()))
                return TestImages(args);
            if (args.diskImages.size() > 1)
                return Usage("more than one " + std::string(c->operand) + " (" + args.diskImages[1] + ")");
            args.operand = args.diskImages.front();
        }
        switch (c->bit) {
        case INIT:
            if (args.operand.empty())
                return Usage("init needs the product folder DIR");
            return InitProject(args.operand);
        case CREATE: return Create(args);
        case BUILD: return Build(args);
        default: return Read(c->name, args);
        }
    }
    if (const std::vector<std::string> rest = app.remaining(); !rest.empty()) {
        const std::string& first = rest.front();
        return Usage((first.size() > 1 && first[0] == '-' ? "unknown option " : "unknown command ") + first);
    }
    return Usage("no command");
}
