// The project file reader: INI entries checked and read into a request.
#include "packer/project/project_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "packer/project/ini_reader.h"
#include "packer/release/code_page.h"
#include "packer/release/release_files.h"
#include "packer/release/source_file.h"
#include "packer/release/source_members.h"

namespace bv {

namespace fs = std::filesystem;

namespace {

struct KeyRule {
    const char* section;
    const char* key;
    bool repeatable;
};

const KeyRule kKeys[] = {
    {"Setup", "Name", false},        {"Setup", "Destination", false}, {"Setup", "ChangeDestination", false},
    {"Setup", "VolumeSize", false},  {"Setup", "Diskette", false},    {"Setup", "Images", false},
    {"Setup", "Installer", false},   {"Setup", "Output", false},      {"Setup", "DiskOneFile", true},
    {"Setup", "CodePage", false},
    {"Files", "Source", true},       {"Group", "Name", false},        {"Group", "Item", true},
    {"Run", "Program", false},
};

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trim(const std::string& s)
{
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// A path in a project file, with either slash.
std::string Slashed(std::string s)
{
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// * any run of characters, ? one character; case does not count, as on the
// installer's file systems.
bool Matches(const char* pattern, const char* name)
{
    for (;; pattern++, name++) {
        if (*pattern == '*') {
            while (*pattern == '*')
                pattern++;
            if (*pattern == '\0')
                return true;
            for (; *name; name++)
                if (Matches(pattern, name))
                    return true;
            return false;
        }
        if (*name == '\0')
            return *pattern == '\0';
        if (*pattern == '\0')
            return false;
        if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                                   std::tolower(static_cast<unsigned char>(*name)))
            return false;
    }
}

struct Reader {
    std::string path;
    fs::path base;                                 // the project file's folder
    PackRequest* request;
    std::string outDir;                            // given to build, instead of Output
    std::map<std::string, const IniEntry*> single;  // section/key -> entry, for the single keys
    std::vector<const IniEntry*> sources, items, diskOne;   // the repeatable keys, in order
    int errorCode = EXIT_OK;
    std::string error;

    bool Fail(int line, const std::string& what)
    {
        if (errorCode == EXIT_OK) {
            errorCode = EXIT_USAGE;
            error = path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what;
        }
        return false;
    }

    const IniEntry* Single(const char* section, const char* key) const
    {
        auto it = single.find(Lower(section) + "/" + Lower(key));
        return it == single.end() ? nullptr : it->second;
    }

    bool YesNo(const IniEntry& e, bool* value)
    {
        std::string v = Lower(e.value);
        if (v == "yes" || v == "true" || v == "1")
            *value = true;
        else if (v == "no" || v == "false" || v == "0")
            *value = false;
        else
            return Fail(e.line, e.key + " must be yes or no, not \"" + e.value + "\"");
        return true;
    }

    // Every file below dir, as paths relative to it, in name order; the
    // archive's own output is left out.
    bool FilesOf(const fs::path& dir, std::vector<std::string>* relatives, int line)
    {
        std::string reason;
        return FilesBelow(NameOfPath(dir), *request, relatives, &reason) == EXIT_OK || Fail(line, reason);
    }

    // Source = PATH [=> FOLDER]: a file; a folder, with everything below it;
    // or a wildcard in the last part, each match taken as a file or folder.
    bool AddSource(const IniEntry& e)
    {
        std::string pattern = e.value, folder;
        std::size_t arrow = pattern.find("=>");
        if (arrow != std::string::npos) {
            folder = Trim(pattern.substr(arrow + 2));
            pattern = Trim(pattern.substr(0, arrow));
            if (folder.empty())
                return Fail(e.line, "no folder after \"=>\"");
        }
        pattern = Slashed(pattern);
        if (pattern.empty())
            return Fail(e.line, "Source names no file");
        while (pattern.size() > 1 && pattern.back() == '/')
            pattern.pop_back();
        std::string prefix = folder == "." ? std::string() : MemberPathOf(Slashed(folder));
        while (!prefix.empty() && prefix.back() == '\\')
            prefix.pop_back();
        while (!prefix.empty() && prefix.front() == '\\')
            prefix.erase(0, 1);
        if (!prefix.empty())
            prefix += '\\';

        std::size_t slash = pattern.rfind('/');
        std::string dirPart = slash == std::string::npos ? std::string() : pattern.substr(0, slash);
        std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
        if (dirPart.find_first_of("*?") != std::string::npos)
            return Fail(e.line, "wildcards may stand only in the last part of \"" + e.value + "\"");
        const fs::path dir = dirPart.empty() ? base : base / PathOfName(dirPart);
        std::error_code ec;

        // (member, source) pairs of this entry, in member order.
        std::vector<std::pair<std::string, std::string>> found;
        auto take = [&](const fs::path& p, const std::string& memberBase) {
            if (fs::is_directory(p, ec)) {
                std::vector<std::string> relatives;
                if (!FilesOf(p, &relatives, e.line))
                    return false;
                for (const std::string& rel : relatives)
                    found.push_back({prefix + memberBase + MemberPathOf(rel), NameOfPath(p / PathOfName(rel))});
            } else if (!fs::exists(p, ec)) {
                return Fail(e.line, "link " + NameOfPath(p) + " points at nothing");
            } else if (!IsOwnOutput(NameOfPath(p), *request)) {
                found.push_back({prefix + memberBase + NameOfPath(p.filename()), NameOfPath(p)});
            }
            return true;
        };
        if (last.find_first_of("*?") != std::string::npos) {
            std::vector<fs::path> matches;
            for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
                if (Matches(last.c_str(), NameOfPath(it->path().filename()).c_str()))
                    matches.push_back(it->path());
            }
            std::sort(matches.begin(), matches.end());
            for (const fs::path& m : matches)
                if (!take(m, fs::is_directory(m, ec) ? NameOfPath(m.filename()) + "\\" : std::string()))
                    return false;
            if (found.empty())
                return Fail(e.line, "nothing matches \"" + e.value + "\"");
        } else {
            fs::path p = last == "." || last.empty() ? dir : dir / PathOfName(last);
            if (!fs::exists(fs::symlink_status(p, ec)))
                return Fail(e.line, NameOfPath(p) + " not found");
            if (!take(p, std::string()))
                return false;
            if (found.empty())
                return Fail(e.line, "no files below " + NameOfPath(p));
        }
        std::stable_sort(found.begin(), found.end());
        for (const auto& f : found)
            request->files.push_back({f.second, f.first, e.line});
        return true;
    }

    // The project as a sequence of steps; the first failure stops it.
    bool Read(const IniText& ini)
    {
        request->origin = path;
        return CheckSections(ini) && CollectKeys(ini) && ReadName() && ReadDestination() && ReadCodePage() && ReadMedia() &&
               ReadOutput() && ReadDiskOneFiles() && ReadSources() && ReadGroup() && ReadRun();
    }

    // Known sections, each once: Windows' profile functions read only the
    // first of two alike.
    bool CheckSections(const IniText& ini)
    {
        std::map<std::string, int> headingLines;
        for (const IniHeading& h : ini.headings) {
            bool known = false;
            for (const KeyRule& k : kKeys)
                known = known || Lower(k.section) == Lower(h.section);
            if (!known)
                return Fail(h.line, "unknown section [" + h.section + "]; known: [Setup], [Files], [Group], [Run]");
            auto [first, fresh] = headingLines.emplace(Lower(h.section), h.line);
            if (!fresh)
                return Fail(h.line, "section [" + h.section + "] given twice (first on line " +
                                        std::to_string(first->second) + ")");
        }
        return true;
    }

    // Known keys with values: a single key once (into single), the
    // repeatable ones in order (into sources, items, diskOne).
    bool CollectKeys(const IniText& ini)
    {
        for (const IniEntry& e : ini.entries) {
            if (e.section.empty())
                return Fail(e.line, "\"" + e.key + "\" stands before any [Section]");
            const KeyRule* rule = nullptr;
            for (const KeyRule& k : kKeys)
                if (Lower(k.section) == Lower(e.section) && Lower(k.key) == Lower(e.key))
                    rule = &k;
            if (rule == nullptr)
                return Fail(e.line, "unknown key \"" + e.key + "\" in [" + e.section + "]");
            if (e.value.empty())
                return Fail(e.line, e.key + " has no value");
            if (rule->repeatable) {
                std::string k = rule->key;
                (k == "Source" ? sources : k == "Item" ? items : diskOne).push_back(&e);
                continue;
            }
            const IniEntry*& first = single[Lower(rule->section) + "/" + Lower(rule->key)];
            if (first != nullptr)
                return Fail(e.line, e.key + " given twice in [" + e.section + "] (first on line " +
                                        std::to_string(first->line) + ")");
            first = &e;
        }
        return true;
    }

    bool ReadName()
    {
        const IniEntry* name = Single("Setup", "Name");
        if (name == nullptr)
            return Fail(0, "[Setup] needs Name, the name of the installer and its volumes");
        request->name = UpperCase(name->value);
        std::string problem = CheckArchiveName(request->name);
        return problem.empty() || Fail(name->line, problem);
    }

    bool ReadDestination()
    {
        PackRequest& r = *request;
        if (const IniEntry* e = Single("Setup", "Destination")) {
            r.defaultDest = e->value;
            r.destLine = e->line;
        } else {
            r.defaultDest = "C:\\" + r.name;
        }
        const IniEntry* change = Single("Setup", "ChangeDestination");
        return change == nullptr || YesNo(*change, &r.allowChange);
    }

    bool ReadCodePage()
    {
        const IniEntry* e = Single("Setup", "CodePage");
        if (e == nullptr)
            return true;
        if (!ParseCodePage(e->value, &request->codePage))
            return Fail(e->line, "CodePage must be the number of a Windows code page this system converts to, not \"" +
                                     e->value + "\"");
        request->codePageLine = e->line;
        return true;
    }

    // VolumeSize takes what --volume takes; Diskette only a diskette kind.
    // Then Images and Installer.
    bool ReadMedia()
    {
        PackRequest& r = *request;
        const IniEntry* volume = Single("Setup", "VolumeSize");
        const IniEntry* diskette = Single("Setup", "Diskette");
        if (volume != nullptr && diskette != nullptr)
            return Fail(diskette->line, "Diskette and VolumeSize (line " + std::to_string(volume->line) +
                                            ") exclude each other");
        if (volume != nullptr) {
            if (!ParseVolume(volume->value, &r.media))
                return Fail(volume->line, "VolumeSize must be " + DisketteKindNames(", ") + ", a byte count or one");
            r.disketteLine = volume->line;
        }
        if (diskette != nullptr) {
            r.media.kind = FindDisketteKind(diskette->value);
            if (r.media.kind == nullptr)
                return Fail(diskette->line, "Diskette must be " + DisketteKindNames());
            r.disketteLine = diskette->line;
        }
        if (const IniEntry* e = Single("Setup", "Images")) {
            if (!YesNo(*e, &r.media.images))
                return false;
            r.imagesLine = e->line;
        }
        // Installer = none: volumes without NAME.EXE (installerLine set,
        // installer empty); without the key, bvpack chooses its own.
        if (const IniEntry* e = Single("Setup", "Installer"); e != nullptr && UpperCase(e->value) == "NONE") {
            r.installerLine = e->line;
        } else if (e != nullptr) {
            fs::path p = base / PathOfName(Slashed(e->value));
            std::error_code ec;
            if (!fs::is_regular_file(p, ec))
                return Fail(e->line, "installer " + NameOfPath(p) + " not found");
            r.media.installer = NameOfPath(p);
            r.installerLine = e->line;
        }
        return true;
    }

    // The release goes to a folder of its own: by default Output below the
    // project's folder, never the project's folder itself. A folder given
    // to build (--out) stands instead.
    bool ReadOutput()
    {
        if (!outDir.empty()) {
            request->outDir = outDir;
            return true;
        }
        const IniEntry* output = Single("Setup", "Output");
        request->outDir = NameOfPath(
            (base / (output != nullptr ? PathOfName(Slashed(output->value)) : fs::path(kDefaultOutput))).lexically_normal());
        return true;
    }

    bool ReadDiskOneFiles()
    {
        for (const IniEntry* e : diskOne) {
            fs::path p = base / PathOfName(Slashed(e->value));
            std::error_code ec;
            if (!fs::is_regular_file(p, ec))
                return Fail(e->line, NameOfPath(p) + " not found");
            request->media.disk1Files.push_back(NameOfPath(p));
            request->diskOneLines.push_back(e->line);
        }
        return true;
    }

    bool ReadSources()
    {
        for (const IniEntry* e : sources)
            if (!AddSource(*e))
                return false;
        return true;
    }

    // The group and its items; an item's command must be a member, since
    // the installer makes its command line from the destination and it.
    bool ReadGroup()
    {
        PackRequest& r = *request;
        std::set<std::string> members;
        for (const PackFile& f : r.files)
            members.insert(UpperCase(f.member));
        if (const IniEntry* e = Single("Group", "Name")) {
            r.script.group = e->value;
            r.groupLine = e->line;
        }
        for (const IniEntry* e : items) {
            std::string command = Trim(e->value.substr(0, e->value.find(',')));
            std::string title = e->value.find(',') == std::string::npos ? std::string()
                                                                         : Trim(e->value.substr(e->value.find(',') + 1));
            if (command.empty())
                return Fail(e->line, "Item has no command before its comma");
            if (members.count(UpperCase(MemberPathOf(Slashed(command)))) == 0)
                return Fail(e->line, "group item \"" + command + "\" names no member of the archive");
            r.script.items.push_back(MemberPathOf(Slashed(command)) + (title.empty() ? "" : "," + title));
            r.itemLines.push_back(e->line);
        }
        return true;
    }

    bool ReadRun()
    {
        if (const IniEntry* e = Single("Run", "Program")) {
            request->script.program = e->value;
            request->runLine = e->line;
        }
        return true;
    }
};

}  // namespace

int ReadProjectFile(const std::string& path, PackRequest* request, std::string* error, const std::string& outDir)
{
    std::error_code ec;
    if (fs::is_directory(PathOfName(path), ec)) {
        *error = path + " is a folder; build takes the project file in it (PROJECT.INI)";
        return EXIT_USAGE;
    }
    std::ifstream in(PathOfName(path), std::ios::binary);
    if (!in) {
        *error = "cannot read the project file " + path;
        return EXIT_IO;
    }
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        *error = "cannot read the project file " + path;
        return EXIT_IO;
    }
    Reader reader;
    reader.path = path;
    reader.base = PathOfName(path).parent_path();
    if (reader.base.empty())
        reader.base = ".";
    reader.request = request;
    reader.outDir = outDir;
    *request = PackRequest();
    IniText ini;
    int line = 0;
    std::string problem;
    if (!ParseIni(path, text, &ini, &line, &problem)) {
        reader.Fail(line, problem);
    } else {
        // Windows' profile functions drop the double quotes around a whole
        // value; both builds read such a value the same way.
        for (IniEntry& e : ini.entries)
            if (e.value.size() >= 2 && e.value.front() == '"' && e.value.back() == '"')
                e.value = e.value.substr(1, e.value.size() - 2);
        reader.Read(ini);
    }
    *error = reader.error;
    return reader.errorCode;
}

}  // namespace bv
