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
#include "packer/release/pack_request.h"
#include "packer/release/release_files.h"
#include "packer/release/reporter.h"
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
};

const CommandRow kCommands[] = {
    {"init", INIT, "DIR", "",
     "writes NAME.INI, a commented project file for the product folder DIR, into\n"
     "the current folder (NAME from the folder's name); never over an existing file"},
    {"build", BUILD, "PROJECT.INI", " [options]",
     "packs what a project file describes (sections [Setup], [Files], [Group],\n"
     "[Run]; see the README), as create would"},
    {"create", CREATE, "SOURCE_DIR", " --out DIR/NAME [options]",
     "every file below SOURCE_DIR becomes a member, stored under its path relative\n"
     "to SOURCE_DIR (backslash-separated), in byte order of those paths, with its\n"
     "modification time (local time, as a DOS stamp: two-second steps, rounded\n"
     "down; times before 1980 or after 2107 are stored as the first or last DOS\n"
     "stamp, with a warning) and its attributes (read-only when the owner may not\n"
     "write it; archive always). SOURCE_DATE_EPOCH (seconds since 1970) set: stamps\n"
     "are taken in UTC, and every time later than it is stored as it, so that a\n"
     "fresh checkout packs to the same bytes anywhere. For a diskette kind, the\n"
     "diskettes and their files are shown at the end"},
    {"list", LIST, "DIR/NAME", " [options]",
     "the header, every member (size, date, attributes) and the script; then the\n"
     "diskettes, with their files in clusters and the room left, for the kind of\n"
     "--volume or of the images beside the volumes (disk-1 files as given by\n"
     "--disk1 or found on DISK1.IMG)"},
    {"test", TEST, "DIR/NAME", " [options]", "decodes every member; reports the first damage"},
    {"extract", EXTRACT, "DIR/NAME", " [options]",
     "writes the members with their stamps below --to DIR (default: the current\n"
     "directory), refusing paths that leave it"},
};

// What the command line gives, for every command.
struct Args {
    std::string operand, out, list, dest, group, run, installer, volume, to;
    std::vector<std::string> items, disk1;
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
         "where the volumes go; NAME is upper-cased (required)"},
        {"--out", "DIR", BUILD, &Args::out, nullptr, nullptr,
         "where the volumes go, instead of the project's Output"},
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
        {"--disk1", "FILE", CREATE | LIST, nullptr, &Args::disk1, nullptr,
         "copy FILE (a DOS 8.3 name) beside NAME.EXE, onto disk 1 (repeatable)"},
        {"--images", nullptr, CREATE, nullptr, nullptr, &Args::images,
         "also write DISK1.IMG, DISK2.IMG, ...: a diskette image of the --volume\nkind per diskette, labelled DISK1, "
         "..., with its files (needs mtools)"},
        {"--to", "DIR", EXTRACT, &Args::to, nullptr, nullptr, "where the members go (default: the current directory)"},
        {"--quiet", nullptr, CREATE | BUILD | LIST | TEST | EXTRACT, nullptr, nullptr, &Args::quiet,
         "no progress and no summary line"},
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
    "create, build, test and extract show their progress on standard error when\n"
    "it is a terminal, and a summary line at the end; --quiet shows neither.\n"
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

std::string UsageLines()
{
    std::string text;
    const char* lead = "Usage: ";
    for (const CommandRow& c : kCommands) {
        text += std::string(lead) + "bvpack " + c.name + " " + c.operand + c.usageTail + "\n";
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
    fs::path p(arg);
    std::string base = p.filename().string();
    std::string ext = UpperCase(p.extension().string());
    if (ext.size() == 4 && ext[1] == 'E' && std::isxdigit(static_cast<unsigned char>(ext[2])) &&
        std::isxdigit(static_cast<unsigned char>(ext[3])))
        base = p.stem().string();
    *name = base;
    *dir = p.parent_path().empty() ? std::string(".") : p.parent_path().string();
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

int Create(const Args& args)
{
    PackRequest request;
    if (!args.volume.empty() && !ParseVolume(args.volume, &request.media))
        return Usage("--volume needs " + DisketteKindNames(", ") + ", a byte count or 'one'");
    request.media.disk1Files = args.disk1;
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
    if (!fs::is_directory(sourceDir, ec))
        return Fail(EXIT_IO, "source directory " + sourceDir + " not found");
    std::vector<std::string> relatives;
    if (!args.list.empty()) {
        std::ifstream in(args.list);
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
        if (!FilesBelow(sourceDir, request, &relatives, &error, &emptyDirs))
            return Fail(EXIT_IO, error);
        for (const std::string& dir : emptyDirs)
            std::fprintf(stderr, "bvpack: warning: empty directory %s is not stored\n", dir.c_str());
    }
    for (const std::string& rel : relatives)
        request.files.push_back({(fs::path(sourceDir) / rel).string(), MemberPathOf(rel), 0});
    if (int code = ChooseInstaller(args.noInstaller, "", &request.media); code != EXIT_OK)
        return code;

    Reporter reporter(ReportModeFor(args.quiet));
    return RunPackRequest(request, reporter);
}

int Build(const Args& args)
{
    if (args.operand.empty())
        return Usage("build needs a project file");
    PackRequest request;
    std::string error;
    int code = ReadProjectFile(args.operand, &request, &error);
    if (code != EXIT_OK)
        return Fail(code, error);
    if (!args.out.empty())
        request.outDir = args.out;
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
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", (s >> 25) + 1980, s >> 21 & 0x0F,
                  s >> 16 & 0x1F, s >> 11 & 0x1F, s >> 5 & 0x3F, (s & 0x1F) * 2);
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

int Read(const std::string& command, const Args& args)
{
    const std::string& archive = args.operand;
    const std::string to = args.to.empty() ? "." : args.to;
    const bool quiet = args.quiet;
    ReleaseMedia media;
    if (!args.volume.empty() && !ParseVolume(args.volume, &media))
        return Usage("--volume needs " + DisketteKindNames(", ") + ", a byte count or 'one'");
    media.disk1Files = args.disk1;
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
    if (command == "test")
        std::snprintf(summary, sizeof summary, "OK: %zu members, %llu bytes, %d volume%s", r.members.size(),
                      static_cast<unsigned long long>(total), r.volumes, r.volumes == 1 ? "" : "s");
    else
        std::snprintf(summary, sizeof summary, "%zu members, %llu bytes extracted to %s", r.members.size(),
                      static_cast<unsigned long long>(total), to.c_str());
    if (command != "list")
        reporter.Summary(summary);
    return EXIT_OK;
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
    for (const CommandRow& c : kCommands) {
        CLI::App* sub = app.add_subcommand(c.name, c.summary);
        sub->set_help_flag();
        sub->allow_extras();
        for (const OptionRow& o : Options()) {
            if ((o.commands & c.bit) == 0)
                continue;
            if (o.flag != nullptr)
                sub->add_flag(o.name, args.*o.flag, o.help);
            else if (o.texts != nullptr)
                sub->add_option(o.name, args.*o.texts, o.help)->allow_extra_args(false)->type_name(o.value);
            else
                sub->add_option(o.name, args.*o.text, o.help)->type_name(o.value);
        }
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
        std::printf("Usage: bvpack %s %s%s\n\n%s", c->name, c->operand, c->usageTail, CommandHelp(*c).c_str());
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
            std::printf("Usage: bvpack %s %s%s\n\n%s", c->name, c->operand, c->usageTail, CommandHelp(*c).c_str());
            return EXIT_OK;
        }
        for (const std::string& extra : sub->remaining()) {
            if (extra.size() > 1 && extra[0] == '-')
                return Usage("unknown option " + extra + " of " + c->name);
            return Usage("more than one " + std::string(c->operand) + " (" + extra + ")");
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
