// bvpack: makes installer archives (NAME.E00, NAME.E01, ...) from a
// directory, and lists, tests and extracts them with the installer's own
// reader and decoder.
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
#include "packer/source_files.h"

namespace fs = std::filesystem;

namespace {

enum ExitCode { EXIT_OK = 0, EXIT_DAMAGED = 1, EXIT_USAGE = 2, EXIT_IO = 3 };

const char kUsage[] =
    "usage: bvpack create SOURCE_DIR --out DIR/NAME [options]\n"
    "       bvpack list DIR/NAME\n"
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
    "its path relative to SOURCE_DIR (backslash-separated), in byte order of those\n"
    "paths, with its modification time (local time, as a DOS stamp: two-second\n"
    "steps, rounded down; times before 1980 or after 2107 are stored as the first\n"
    "or last DOS stamp, with a warning) and its attributes (read-only when the\n"
    "owner may not write it; archive always).\n"
    "SOURCE_DATE_EPOCH (seconds since 1970) set: stamps are taken in UTC, and\n"
    "every time later than it is stored as it, so that a fresh checkout packs to\n"
    "the same bytes anywhere.\n"
    "  --out DIR/NAME     where the volumes go; NAME is upper-cased (required)\n"
    "  --list FILE        pack only the files listed in FILE, one path relative to\n"
    "                     SOURCE_DIR per line, in that order\n"
    "  --dest PATH        default destination directory (default C:\\NAME)\n"
    "  --locked           the user may not change the destination\n"
    "  --volume SIZE      largest volume file: 360K, 720K, 1.2M, 1.44M, 2.88M, a\n"
    "                     byte count, or 'one' for a single volume (default)\n"
    "  --group NAME       create this Program Manager group\n"
    "  --item CMD,TITLE   add a program item to the group (repeatable)\n"
    "  --run 'CMD ARGS'   start this program in the destination at the end\n"
    "  --installer PATH   copy this installer beside the volumes as NAME.EXE\n"
    "list DIR/NAME: the header, every member (size, date, attributes) and the script.\n"
    "test DIR/NAME: decodes every member; reports the first damage.\n"
    "extract DIR/NAME: writes the members with their stamps below --to DIR\n"
    "  (default: the current directory), refusing paths that leave it.\n"
    "\n"
    "Exit codes: 0 success; 1 damaged archive or failed test; 2 usage error or\n"
    "input the archive cannot hold; 3 I/O error (a file cannot be read or\n"
    "written, the archive is missing).\n";

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

bool ParseVolumeSize(const std::string& text, std::uint64_t* size)
{
    struct Preset {
        const char* name;
        std::uint64_t size;
    };
    static const Preset presets[] = {
        {"360K", bv::VOLUME_360K},   {"720K", bv::VOLUME_720K},   {"1.2M", bv::VOLUME_1200K},
        {"1.44M", bv::VOLUME_1440K}, {"2.88M", bv::VOLUME_2880K}, {"ONE", bv::VOLUME_UNLIMITED},
    };
    std::string u = Upper(text);
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

int Create(int argc, char** argv)
{
    std::string sourceDir, out, list, installer;
    std::uint64_t volumeSize = bv::VOLUME_UNLIMITED;
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
        if (a == "--out") {
            if (!value(&out)) return Usage("--out needs DIR/NAME");
        } else if (a == "--list") {
            if (!value(&list)) return Usage("--list needs a file");
        } else if (a == "--dest") {
            if (!value(&input.defaultDest)) return Usage("--dest needs a path");
            destGiven = true;
        } else if (a == "--locked") {
            input.allowChange = false;
        } else if (a == "--volume") {
            if (!value(&v) || !ParseVolumeSize(v, &volumeSize))
                return Usage("--volume needs 360K, 720K, 1.2M, 1.44M, 2.88M, a byte count or 'one'");
        } else if (a == "--group") {
            if (!value(&input.script.group)) return Usage("--group needs a name");
        } else if (a == "--item") {
            if (!value(&v)) return Usage("--item needs CMD,TITLE");
            input.script.items.push_back(v);
        } else if (a == "--run") {
            if (!value(&input.script.program)) return Usage("--run needs a command line");
        } else if (a == "--installer") {
            if (!value(&installer)) return Usage("--installer needs a path");
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
        // Volumes and installer of this archive lying in the source tree
        // (from an earlier run) are not packed into it again.
        const fs::path outCanonical = fs::weakly_canonical(outDir, ec);
        auto ownOutput = [&](const fs::path& p) {
            std::error_code e;
            if (fs::weakly_canonical(p.parent_path(), e) != outCanonical)
                return false;
            std::string file = Upper(p.filename().string());
            if (file == name + ".EXE")
                return true;
            return file.size() == name.size() + 4 && file.compare(0, name.size() + 2, name + ".E") == 0 &&
                   std::isxdigit(static_cast<unsigned char>(file[name.size() + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(file[name.size() + 3]));
        };
        for (fs::recursive_directory_iterator it(sourceDir, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file(ec) && !ownOutput(it->path()))
                relatives.push_back(fs::relative(it->path(), sourceDir, ec).generic_string());
            else if (it->is_directory(ec) && fs::is_empty(it->path(), ec))
                std::fprintf(stderr, "bvpack: warning: empty directory %s is not stored\n", it->path().c_str());
        }
        if (ec)
            return Fail(EXIT_IO, "cannot read " + sourceDir + ": " + ec.message());
        bv::SortSourcePaths(relatives);
    }

    bv::StampRule stampRule;
    std::string epochError;
    if (!bv::ParseSourceDateEpoch(std::getenv("SOURCE_DATE_EPOCH"), &stampRule, &epochError))
        return Fail(EXIT_USAGE, epochError);
    for (const std::string& rel : relatives) {
        bv::ArchiveMember m;
        std::string error, warning;
        if (!bv::LoadSourceFile((fs::path(sourceDir) / rel).string(), bv::MemberPathOf(rel), stampRule, &m, &error,
                                &warning))
            return Fail(EXIT_IO, error);
        if (!warning.empty())
            std::fprintf(stderr, "bvpack: warning: %s\n", warning.c_str());
        input.members.push_back(std::move(m));
    }

    std::string error;
    std::string problem = bv::CheckArchiveInput(input);
    if (!problem.empty())
        return Fail(EXIT_USAGE, problem);
    std::vector<std::vector<std::uint8_t>> volumes;
    if (!bv::WriteArchive(input, volumeSize, &volumes, &error, PackProgress, nullptr))
        return Fail(EXIT_USAGE, error);
    ClearProgress();
    fs::create_directories(outDir, ec);
    if (!bv::WriteVolumeFiles(outDir, name, volumes, &error))
        return Fail(EXIT_IO, error);
    if (!installer.empty()) {
        fs::path exe = fs::path(outDir) / (name + ".EXE");
        fs::copy_file(installer, exe, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return Fail(EXIT_IO, "cannot copy the installer to " + exe.string() + ": " + ec.message());
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
    return EXIT_OK;
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

int Read(const std::string& command, int argc, char** argv)
{
    std::string archive, to = ".";
    for (int i = 0; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--to" && command == "extract") {
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
