// What the packer takes from a source file besides its bytes, and how a file
// time reads as a calendar time: the one seam between the packer and the
// platform's file metadata and time zones.
#pragma once
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

namespace bv {

struct SourceFileInfo {
    bool regular = false;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;           // seconds since 1970-01-01 00:00:00 UTC
    bool readOnly = false;            // the owner may not write it
};

// False with *error naming the file when it cannot be looked at.
bool StatSourceFile(const std::filesystem::path& file, SourceFileInfo* info, std::string* error);

// time as a calendar time, in UTC or in the local time of that date (its own
// daylight-saving rule, not today's). False when the platform cannot convert
// it (years far outside any file's).
bool CalendarTime(std::int64_t time, bool utc, std::tm* out);

}  // namespace bv
