// The release manifest as text, and back.
#include "packer/release/manifest.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace bv {

namespace fs = std::filesystem;

const char kManifestName[] = "bvpack.manifest";

namespace {

const char kFirstLine[] = "bvpack release 1";

// A file of the output folder itself: no folder, no way out of it.
bool IsPlainName(const std::string& s)
{
    return !s.empty() && s != "." && s != ".." && s.find_first_of("/\\:") == std::string::npos;
}

bool IsHash(const std::string& s)
{
    return s.size() == 64 && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool Number(const std::string& s, int base, std::uint64_t* value)
{
    if (s.empty() || s.size() > 20)
        return false;
    char* end = nullptr;
    *value = std::strtoull(s.c_str(), &end, base);
    return *end == '\0' && s[0] != '-' && s[0] != '+';
}

// Splits off the first count words; the rest of the line is the last field.
bool Fields(const std::string& line, std::size_t count, std::vector<std::string>* fields)
{
    fields->clear();
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count; i++) {
        std::size_t space = line.find(' ', pos);
        if (space == std::string::npos || space == pos)
            return false;
        fields->push_back(line.substr(pos, space - pos));
        pos = space + 1;
    }
    fields->push_back(line.substr(pos));
    return !fields->back().empty();
}

}  // namespace

const ManifestFile* ReleaseManifest::Find(const std::string& file) const
{
    for (const auto* list : {&volumes, &files})
        for (const ManifestFile& f : *list)
            if (f.name == file)
                return &f;
    return nullptr;
}

std::string FormatManifest(const ReleaseManifest& m)
{
    std::string text = std::string(kFirstLine) + "\nname " + m.name + "\n";
    if (!m.diskette.empty())
        text += "diskette " + m.diskette + "\n";
    for (const ManifestFile& f : m.volumes)
        text += "volume " + std::to_string(f.size) + " " + f.sha256 + " " + f.name + "\n";
    for (const ManifestFile& f : m.files)
        text += "file " + std::to_string(f.size) + " " + f.sha256 + " " + f.name + "\n";
    for (const ManifestMember& e : m.members) {
        char fields[32];
        std::snprintf(fields, sizeof fields, " %08X %02X ", static_cast<unsigned>(e.dosStamp),
                      static_cast<unsigned>(e.attributes));
        text += "member " + std::to_string(e.size) + fields + e.sha256 + " " + e.path + "\n";
    }
    return text;
}

bool ParseManifest(const std::string& text, ReleaseManifest* m, std::string* error)
{
    *m = ReleaseManifest();
    std::istringstream in(text);
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& what) {
        *error = "line " + std::to_string(number) + ": " + what;
        return false;
    };
    std::vector<std::string> f;
    while (std::getline(in, line)) {
        number++;
        if (number == 1) {
            if (line != kFirstLine)
                return fail("not a bvpack release manifest");
            continue;
        }
        std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        std::uint64_t size = 0, stamp = 0, attributes = 0;
        if (key == "name" && !rest.empty()) {
            m->name = rest;
        } else if (key == "diskette" && !rest.empty()) {
            m->diskette = rest;
        } else if ((key == "volume" || key == "file") && Fields(rest, 2, &f) && Number(f[0], 10, &size) &&
                   IsHash(f[1]) && IsPlainName(f[2])) {
            (key == "volume" ? m->volumes : m->files).push_back({f[2], size, f[1]});
        } else if (key == "member" && Fields(rest, 4, &f) && Number(f[0], 10, &size) && f[1].size() == 8 &&
                   Number(f[1], 16, &stamp) && f[2].size() == 2 && Number(f[2], 16, &attributes) && IsHash(f[3])) {
            m->members.push_back({f[4], size, static_cast<std::uint32_t>(stamp), static_cast<std::uint32_t>(attributes),
                                  f[3]});
        } else {
            return fail("\"" + line + "\" is no manifest entry");
        }
    }
    if (number == 0)
        return fail("empty");
    if (m->name.empty())
        return fail("no name");
    return true;
}

ManifestState ReadManifest(const std::string& dir, ReleaseManifest* manifest, std::string* error)
{
    const fs::path path = fs::path(dir) / kManifestName;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec)))
        return ManifestState::None;
    std::ifstream in(path, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    std::string problem;
    if (!in.good() && !in.eof())
        problem = "cannot be read";
    else if (!fs::is_regular_file(path, ec) || !ParseManifest(text, manifest, &problem))
        problem = "is not a bvpack release manifest (" + (problem.empty() ? "not a file" : problem) + ")";
    if (problem.empty())
        return ManifestState::Read;
    *error = path.string() + " " + problem;
    return ManifestState::Unreadable;
}

std::string DisketteOfVolume(const ReleaseManifest& manifest, unsigned number)
{
    return manifest.diskette.empty() ? std::string() : "disk " + std::to_string(number + 1);
}

}  // namespace bv
