// Source files as archive members: order, attributes and stamps.
#include "packer/release/source_members.h"

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

#include "packer/release/release_files.h"
#include "packer/release/source_file.h"

namespace bv {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kEpochMax = std::int64_t{1} << 53;

}  // namespace

std::string MemberPathOf(const std::string& relative)
{
    std::string p = relative;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

bool ParseSourceDateEpoch(const char* value, StampRule* rule, std::string* error)
{
    rule->clampToEpoch = false;
    if (value == nullptr || *value == '\0')
        return true;
    const std::string quoted = std::string("SOURCE_DATE_EPOCH \"") + value + "\"";
    std::int64_t v = 0;
    for (const char* c = value; *c != '\0'; c++) {
        if (*c < '0' || *c > '9') {
            *error = quoted + " is not a count of seconds since 1970 (decimal digits only)";
            return false;
        }
        if (v <= kEpochMax)   // stops growing once too large; digits are still checked
            v = v * 10 + (*c - '0');
    }
    if (v > kEpochMax) {
        *error = quoted + " is larger than 2^53 seconds";
        return false;
    }
    rule->clampToEpoch = true;
    rule->epoch = v;
    return true;
}

std::uint32_t StampOfTime(std::int64_t time, const StampRule& rule, StampFit* fit, std::string* shown)
{
    if (rule.clampToEpoch && time > rule.epoch)
        time = rule.epoch;
    std::tm tm{};
    if (!CalendarTime(time, rule.clampToEpoch, &tm)) {
        // Beyond what the C library converts: years far outside the range.
        tm = std::tm{};
        tm.tm_year = time < 0 ? -1000 : 10000;
        tm.tm_mday = 1;
    }
    long long year = static_cast<long long>(tm.tm_year) + 1900;
    *fit = year < 1980 ? StampFit::Before1980 : year > 2107 ? StampFit::After2107 : StampFit::InRange;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d", year, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    *shown = text;
    int y = static_cast<int>(std::clamp<long long>(year, 1979, 2108));   // MakeDosStamp takes the ends
    return MakeDosStamp(y, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

bool LoadSourceFile(const std::string& file, const std::string& memberPath, const StampRule& rule,
                    ArchiveMember* member, std::string* error, std::string* warning)
{
    warning->clear();
    SourceFileInfo info;
    if (!StatSourceFile(file, &info, error))
        return false;
    if (!info.regular) {
        *error = file + " is not a regular file";
        return false;
    }
    if (info.size >= (std::uint64_t{1} << 32)) {
        *error = file + " is 4 GiB or larger; the archive stores sizes in 32 bits";
        return false;
    }
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    if (!in) {
        *error = "cannot read " + file;
        return false;
    }
    member->data.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad() || member->data.size() != info.size) {
        *error = "cannot read " + file;
        return false;
    }
    member->path = memberPath;
    member->attributes = ATTR_ARCHIVE | (info.readOnly ? std::uint32_t{ATTR_READONLY} : 0u);
    StampFit fit;
    std::string shown;
    member->dosStamp = StampOfTime(info.mtime, rule, &fit, &shown);
    const char* zone = !rule.clampToEpoch ? "local time"
                       : info.mtime > rule.epoch ? "UTC, SOURCE_DATE_EPOCH" : "UTC";
    if (fit == StampFit::Before1980)
        *warning = file + ": time " + shown + " (" + zone + ") is before 1980; stored as 1980-01-01 00:00:00";
    else if (fit == StampFit::After2107)
        *warning = file + ": time " + shown + " (" + zone + ") is after 2107; stored as 2107-12-31 23:59:58";
    return true;
}

void SortSourcePaths(std::vector<std::string>& relatives)
{
    // std::string compares its bytes as unsigned char.
    std::sort(relatives.begin(), relatives.end(),
              [](const std::string& a, const std::string& b) { return MemberPathOf(a) < MemberPathOf(b); });
}

bool FilesBelow(const std::string& dir, const PackRequest& request, std::vector<std::string>* relatives,
                std::string* error, std::vector<std::string>* emptyDirs)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && !IsOwnOutput(it->path().string(), request))
            relatives->push_back(fs::relative(it->path(), dir, ec).generic_string());
        else if (emptyDirs != nullptr && it->is_directory(ec) && fs::is_empty(it->path(), ec))
            emptyDirs->push_back(it->path().string());
    }
    if (ec) {
        *error = "cannot read " + dir + ": " + ec.message();
        return false;
    }
    SortSourcePaths(*relatives);
    return true;
}

}  // namespace bv
