// Archive writer. Everything is checked and laid out in memory first, so a
// refused input leaves no file behind.
#include "packer/archive/archive_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "archive/device_name.h"
#include "codec/member_encoder.h"

namespace bv {

namespace {

constexpr std::size_t kDestMax = DEFAULT_DEST_MAX;
constexpr std::size_t kValueMax = RECORD_VALUE_MAX;
constexpr std::uint64_t kMemberSizeLimit = std::uint64_t{1} << (8 * MEMBER_SIZE_FIELD);
constexpr unsigned kMaxVolumes = VOLUME_COUNT_MAX;
const char kEndOfFiles[] = END_OF_FILES_NAME;

std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

// Value rules shared by every bracketed field: not empty, not too long, no
// "]" (the reader ends the value there) and no zero byte.
std::string CheckValue(const char* what, const std::string& value, std::size_t maxLength)
{
    if (value.empty())
        return std::string(what) + " is empty";
    if (value.size() > maxLength)
        return std::string(what) + " " + Quote(value) + " is longer than " + std::to_string(maxLength) + " bytes";
    if (value.find(']') != std::string::npos)
        return std::string(what) + " " + Quote(value) + " contains \"]\", which the archive cannot hold";
    if (value.find('\0') != std::string::npos)
        return std::string(what) + " contains a zero byte";
    return std::string();
}


// A member path must stay below the destination directory on extraction.
std::string CheckMemberPath(const std::string& path)
{
    std::string problem = CheckValue("member path", path, kValueMax);
    if (!problem.empty())
        return problem;
    const std::string what = "member path " + Quote(path);
    if (path == kEndOfFiles)
        return what + " is reserved: the installer takes it for the end of the files";
    if (path[0] == '\\' || path[0] == '/')
        return what + " begins with a slash; member paths are relative";
    if (path.find(':') != std::string::npos)
        return what + " contains \":\" (a drive or stream name)";
    if (path.find('/') != std::string::npos)
        return what + " contains \"/\"; separate directories with \"\\\"";
    for (unsigned char c : path) {
        if (c < 0x20 || std::strchr("<>\"|?*", c) != nullptr)
            return what + " contains a character that file names cannot hold";
    }
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = path.find('\\', begin);
        std::string part = path.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (part.empty())
            return what + " has an empty directory or file name";
        if (part == "." || part == "..")
            return what + " contains a \"" + part + "\" component";
        if (NamesDosDevice(part.data(), part.size()))
            return what + " names a DOS device (\"" + part + "\"); Windows would write to the device";
        // Windows drops trailing dots and blanks from names, which could turn
        // a name into "..".
        if (part.back() == '.' || part.back() == ' ')
            return what + " has a name ending in a dot or blank";
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
    return std::string();
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    unsigned char field[4];
    StoreLittleEndian32(field, v);
    out.insert(out.end(), field, field + sizeof field);
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

std::string ContinuationHeader(unsigned number)
{
    return "[" TAG_VOLUME + std::to_string(number) + "]";
}

// The largest allowed cut at or below limit, or -1 when there is none.
std::int64_t LastCutAtOrBelow(const std::vector<CutRange>& cuts, std::uint64_t limit)
{
    auto it = std::upper_bound(cuts.begin(), cuts.end(), limit,
                               [](std::uint64_t v, const CutRange& r) { return v < r.first; });
    if (it == cuts.begin())
        return -1;
    --it;
    return static_cast<std::int64_t>(std::min(it->last, limit));
}

std::string ItemAt(const ArchivePayload& payload, std::uint64_t offset)
{
    auto it = std::upper_bound(payload.items.begin(), payload.items.end(), offset,
                               [](std::uint64_t v, const PayloadItem& item) { return v < item.offset; });
    if (it == payload.items.begin())
        return "the payload";
    return std::prev(it)->what;
}

bool MakeVolumes(const ArchivePayload& payload, const std::vector<std::uint64_t>& ends,
                 std::vector<std::vector<std::uint8_t>>* volumes, std::string* error)
{
    if (ends.size() > kMaxVolumes) {
        *error = "the archive needs more than " + std::to_string(kMaxVolumes) +
                 " volumes (NAME.E00 to NAME.EFF)";
        return false;
    }
    volumes->clear();
    std::uint64_t pos = 0;
    for (std::size_t n = 0; n < ends.size(); n++) {
        std::vector<std::uint8_t> volume;
        PutText(volume, n == 0 ? payload.firstHeader : ContinuationHeader(static_cast<unsigned>(n)));
        volume.insert(volume.end(), payload.bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                      payload.bytes.begin() + static_cast<std::ptrdiff_t>(ends[n]));
        pos = ends[n];
        volumes->push_back(std::move(volume));
    }
    return true;
}

}  // namespace

std::string CheckArchiveInput(const ArchiveInput& input)
{
    std::string problem = CheckValue("default destination", input.defaultDest, kDestMax);
    if (!problem.empty())
        return problem;

    std::set<std::string> seen;
    for (const ArchiveMember& m : input.members) {
        problem = CheckMemberPath(m.path);
        if (!problem.empty())
            return problem;
        if (static_cast<std::uint64_t>(m.data.size()) >= kMemberSizeLimit)
            return "member " + Quote(m.path) + " is 4 GiB or larger; sizes are stored in 32 bits";
        // Windows file names ignore case: a second member of the same name
        // would overwrite the first.
        if (!seen.insert(UpperCase(m.path)).second)
            return "member path " + Quote(m.path) + " occurs twice";
    }
    // A member stored where another needs a directory cannot be extracted.
    for (const std::string& p : seen) {
        for (std::size_t cut = p.find('\\'); cut != std::string::npos; cut = p.find('\\', cut + 1)) {
            if (seen.count(p.substr(0, cut)) != 0)
                return "member path " + Quote(p.substr(0, cut)) + " is both a file and a directory";
        }
    }

    const ArchiveScript& script = input.script;
    if (!script.group.empty()) {
        problem = CheckValue("group name", script.group, kValueMax);
        if (!problem.empty())
            return problem;
    } else if (!script.items.empty()) {
        return "program item " + Quote(script.items.front()) + " needs a group";
    }
    for (const std::string& item : script.items) {
        problem = CheckValue("program item", item, kValueMax);
        if (!problem.empty())
            return problem;
        if (item[0] == ',')
            return "program item " + Quote(item) + " has no command before its comma";
    }
    if (!script.program.empty()) {
        problem = CheckValue("program to run", script.program, kValueMax);
        if (!problem.empty())
            return problem;
    }
    return std::string();
}

bool IsAllowedCut(const ArchivePayload& payload, std::uint64_t offset)
{
    std::int64_t c = LastCutAtOrBelow(payload.cuts, offset);
    return c >= 0 && static_cast<std::uint64_t>(c) == offset;
}

bool BuildPayload(const ArchiveInput& input, ArchivePayload* payload, std::string* error,
                  WriteProgress progress, void* context)
{
    std::string problem = CheckArchiveInput(input);
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    payload->firstHeader = ContinuationHeader(0) + "[" TAG_DEFAULT_DEST + input.defaultDest + "][" TAG_DEST_CHANGE +
                           (input.allowChange ? "1" : "0") + "]";
    std::vector<std::uint8_t>& out = payload->bytes;
    std::vector<CutRange>& cuts = payload->cuts;
    out.clear();
    cuts.clear();
    payload->items.clear();

    // A record starts where a volume may end; it is read within one volume.
    auto record = [&](const std::string& text, const std::string& what) {
        if (cuts.empty() || cuts.back().last != out.size())
            cuts.push_back({out.size(), out.size()});
        payload->items.push_back({out.size(), what});
        PutText(out, text);
    };

    for (std::size_t i = 0; i < input.members.size(); i++) {
        const ArchiveMember& m = input.members[i];
        if (progress != nullptr)
            progress(i, input.members.size(), m.path, context);
        // Record, attributes, stamp and size are read without changing volume.
        record("[" TAG_MEMBER + m.path + "]", "the entry of member " + Quote(m.path));
        PutU32(out, m.attributes);
        PutU32(out, m.dosStamp);
        PutU32(out, static_cast<std::uint32_t>(m.data.size()));
        if (m.data.empty())
            continue;
        // Stream bytes come through the volume-switching byte reader: a volume
        // may end before, inside or after the stream.
        std::vector<std::uint8_t> stream = EncodeMember(m.data.data(), m.data.size());
        std::uint64_t start = out.size();
        out.insert(out.end(), stream.begin(), stream.end());
        cuts.push_back({start, out.size()});
    }
    if (progress != nullptr)
        progress(input.members.size(), input.members.size(), std::string(), context);

    record("[" TAG_MEMBER END_OF_FILES_NAME "]", "the end-of-files record");
    const ArchiveScript& script = input.script;
    if (!script.group.empty())
        record("[" TAG_GROUP + script.group + "]", "the group record");
    for (const std::string& item : script.items)
        record("[" TAG_ITEM + item + "]", "the item record " + Quote(item));
    if (!script.program.empty())
        record("[" TAG_PROGRAM + script.program + "]", "the program record");
    else
        record("[" TAG_SCRIPT_END "]", "the end record");
    if (cuts.back().last != out.size())
        cuts.push_back({out.size(), out.size()});
    return true;
}

bool SplitPayload(const ArchivePayload& payload, std::uint64_t volumeSize,
                  std::vector<std::vector<std::uint8_t>>* volumes, std::string* error)
{
    return SplitPayload(payload, volumeSize, volumeSize, volumes, error);
}

bool SplitPayload(const ArchivePayload& payload, std::uint64_t firstVolumeSize, std::uint64_t volumeSize,
                  std::vector<std::vector<std::uint8_t>>* volumes, std::string* error)
{
    volumes->clear();
    const std::uint64_t total = payload.bytes.size();
    std::vector<std::uint64_t> ends;
    if (volumeSize == VOLUME_UNLIMITED) {
        ends.push_back(total);
        return MakeVolumes(payload, ends, volumes, error);
    }
    std::uint64_t pos = 0;
    for (unsigned n = 0;; n++) {
        const std::uint64_t size = n == 0 ? firstVolumeSize : volumeSize;
        std::uint64_t header = n == 0 ? payload.firstHeader.size() : ContinuationHeader(n).size();
        if (size <= header) {
            *error = "volume size " + std::to_string(size) + " leaves no room after the " +
                     std::to_string(header) + "-byte header of volume " + std::to_string(n);
            return false;
        }
        std::uint64_t limit = std::min(total, pos + (size - header));
        std::int64_t end = LastCutAtOrBelow(payload.cuts, limit);
        // Volume 0 may end right after its header; a later one must carry payload.
        if (end < 0 || static_cast<std::uint64_t>(end) < pos || (n > 0 && static_cast<std::uint64_t>(end) == pos)) {
            *error = "volume size " + std::to_string(size) + " is too small: " + ItemAt(payload, pos) +
                     " does not fit into volume " + std::to_string(n);
            return false;
        }
        ends.push_back(static_cast<std::uint64_t>(end));
        pos = static_cast<std::uint64_t>(end);
        if (pos == total)
            break;
        if (ends.size() > kMaxVolumes)
            break;   // refused by MakeVolumes
    }
    return MakeVolumes(payload, ends, volumes, error);
}

bool SplitPayloadAt(const ArchivePayload& payload, const std::vector<std::uint64_t>& cuts,
                    std::vector<std::vector<std::uint8_t>>* volumes, std::string* error)
{
    volumes->clear();
    std::vector<std::uint64_t> ends;
    std::uint64_t pos = 0;
    for (std::uint64_t c : cuts) {
        if (c >= payload.bytes.size() || (c <= pos && !ends.empty()) || !IsAllowedCut(payload, c)) {
            *error = "payload offset " + std::to_string(c) + " is not an allowed volume end";
            return false;
        }
        if (c == 0 && !ends.empty()) {
            *error = "only the first volume may be empty";
            return false;
        }
        ends.push_back(c);
        pos = c;
    }
    ends.push_back(payload.bytes.size());
    return MakeVolumes(payload, ends, volumes, error);
}

bool WriteArchive(const ArchiveInput& input, std::uint64_t volumeSize,
                  std::vector<std::vector<std::uint8_t>>* volumes, std::string* error,
                  WriteProgress progress, void* context)
{
    volumes->clear();
    ArchivePayload payload;
    return BuildPayload(input, &payload, error, progress, context) &&
           SplitPayload(payload, volumeSize, volumes, error);
}

std::string VolumeFileName(const std::string& name, unsigned number)
{
    char ext[16];
    std::snprintf(ext, sizeof ext, VOLUME_EXTENSION, number);
    return name + ext;
}

bool WriteVolumeFiles(const std::string& dir, const std::string& name,
                      const std::vector<std::vector<std::uint8_t>>& volumes, std::string* error)
{
    auto pathOf = [&](unsigned n) {
        std::string base = VolumeFileName(name, n);
        if (dir.empty())
            return base;
        char last = dir.back();
        return last == '/' || last == '\\' ? dir + base : dir + "/" + base;
    };
    for (unsigned n = 0; n < volumes.size(); n++) {
        std::string path = pathOf(n);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        bool ok = f != nullptr;
        if (ok && !volumes[n].empty())
            ok = std::fwrite(volumes[n].data(), 1, volumes[n].size(), f) == volumes[n].size();
        if (f != nullptr && std::fclose(f) != 0)
            ok = false;
        if (!ok) {
            *error = "cannot write " + path;
            for (unsigned k = 0; k <= n; k++)
                std::remove(pathOf(k).c_str());
            return false;
        }
    }
    // Volumes of an older, longer archive of the same name would be asked
    // for by nobody, but would mislead whoever copies the set.
    for (unsigned n = static_cast<unsigned>(volumes.size()); n < kMaxVolumes; n++) {
        if (std::remove(pathOf(n).c_str()) != 0)
            break;
    }
    return true;
}

std::uint32_t MakeDosStamp(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1980) {
        year = 1980; month = 1; day = 1; hour = 0; minute = 0; second = 0;
    } else if (year > 2107) {
        year = 2107; month = 12; day = 31; hour = 23; minute = 59; second = 58;
    }
    return EncodeDosStamp({year, month, day, hour, minute, second});
}

std::string UpperCase(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace bv
