// Source files as archive members: the member order of a packed tree, the
// attribute word and the DOS stamp of a file, with the reproducible-builds
// convention SOURCE_DATE_EPOCH. The same files give the same members on
// every host, whatever order the file system lists them in.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/archive/archive_writer.h"
#include "packer/release/pack_request.h"

namespace bv {

// How modification times become DOS stamps. Without an epoch, in the local
// time of the packing host. With one (SOURCE_DATE_EPOCH), in UTC, so that the
// stamps do not depend on the host's time zone, and a time later than the
// epoch is taken as the epoch.
struct StampRule {
    bool clampToEpoch = false;
    std::int64_t epoch = 0;   // seconds since 1970-01-01 00:00:00 UTC
};

// A SOURCE_DATE_EPOCH value: null or empty leaves the rule unclamped; else a
// decimal count of seconds, digits only, up to 2^53. False with *error for
// anything else: a release build must not quietly fall back to file times.
bool ParseSourceDateEpoch(const char* value, StampRule* rule, std::string* error);

// Where a time fell against the DOS range, 1980-01-01 00:00:00 to
// 2107-12-31 23:59:58. Times outside it are stored as the nearest end.
enum class StampFit { InRange, Before1980, After2107 };

// The DOS stamp of a modification time under the rule; odd seconds are
// rounded down to the two-second step. *fit tells whether it was moved to
// an end of the range; *shown gets the time stored before that, as
// YYYY-MM-DD HH:MM:SS, for the warning.
std::uint32_t StampOfTime(std::int64_t time, const StampRule& rule, StampFit* fit, std::string* shown);

// Reads one source file as a member stored under memberPath. Attributes:
// archive always, read-only when the owner may not write the file, never
// hidden or system. False with *error (naming the file) when it is not a
// readable regular file below 4 GiB. *warning is set when its time lies
// outside the DOS range, and empty otherwise.
bool LoadSourceFile(const std::string& file, const std::string& memberPath, const StampRule& rule,
                    ArchiveMember* member, std::string* error, std::string* warning);

// The member path of a '/'-separated path relative to the source tree.
std::string MemberPathOf(const std::string& relative);

// Member order of a packed directory: byte order (unsigned) of the member
// paths as stored, backslash-separated. relatives are '/'-separated paths.
void SortSourcePaths(std::vector<std::string>& relatives);

// Every regular file below dir that a packed folder contributes: '/'-separated
// paths relative to dir, in member order, the request's own outputs left out.
// Empty directories, which the archive cannot store, go to *emptyDirs when
// given. False with *error when dir cannot be read.
bool FilesBelow(const std::string& dir, const PackRequest& request, std::vector<std::string>* relatives,
                std::string* error, std::vector<std::string>* emptyDirs = nullptr);

}  // namespace bv
