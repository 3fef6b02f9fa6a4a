// Archive writer: builds the volumes NAME.E00, NAME.E01, ... that the
// installer reads: first-volume header, member entries with compressed
// streams, the end-of-files record and the install script, cut into volumes
// only where the reader can cross from one volume to the next.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"

namespace bv {

using ::ATTR_ARCHIVE;
using ::ATTR_HIDDEN;
using ::ATTR_READONLY;
using ::ATTR_SYSTEM;

struct ArchiveMember {
    std::string path;                 // relative, backslash-separated: DATA\EMPTY.DAT
    std::vector<std::uint8_t> data;
    std::uint32_t attributes = ATTR_ARCHIVE;
    std::uint32_t dosStamp = 0;       // low half DOS time, high half DOS date (local time)
};

struct ArchiveScript {
    std::string group;                // Program Manager group; empty: none
    std::vector<std::string> items;   // "COMMAND" or "COMMAND,Title"; need a group
    std::string program;              // command line started at the end; empty: none
};

struct ArchiveInput {
    std::string defaultDest;          // 1 to 511 bytes
    bool allowChange = true;          // false locks the destination
    std::vector<ArchiveMember> members;
    ArchiveScript script;
};

// The volume size is the largest size of a volume file, header included;
// 0 is one volume of any size.
constexpr std::uint64_t VOLUME_UNLIMITED = 0;

// A run of payload offsets at which a volume may end: first to last, both
// included (a single point before a record, every offset of a stream).
struct CutRange {
    std::uint64_t first;
    std::uint64_t last;
};

// An item that cannot be cut, named for error messages.
struct PayloadItem {
    std::uint64_t offset;
    std::string what;
};

// The archive as one payload (everything after the first-volume header) with
// the payload offsets at which a volume may end.
struct ArchivePayload {
    std::string firstHeader;
    std::vector<std::uint8_t> bytes;
    std::vector<CutRange> cuts;       // ascending; 0 and bytes.size() included
    std::vector<PayloadItem> items;   // records, ascending by offset
};

// Whether a volume may end after payload offset n.
bool IsAllowedCut(const ArchivePayload& payload, std::uint64_t offset);

// Progress while members are compressed: member index, member count, path.
using WriteProgress = void (*)(std::size_t index, std::size_t count, const std::string& path, void* context);

// Checks everything the format cannot hold. Empty on success, else the reason.
std::string CheckArchiveInput(const ArchiveInput& input);

// Compresses the members and lays out the payload. False with *error set when
// the input cannot be stored.
bool BuildPayload(const ArchiveInput& input, ArchivePayload* payload, std::string* error,
                  WriteProgress progress = nullptr, void* context = nullptr);

// Cuts the payload into volumes of at most volumeSize bytes each (header
// included), each volume as full as an allowed cut permits.
bool SplitPayload(const ArchivePayload& payload, std::uint64_t volumeSize,
                  std::vector<std::vector<std::uint8_t>>* volumes, std::string* error);

// The same with a smaller limit for volume 0, which shares its diskette
// with the installer.
bool SplitPayload(const ArchivePayload& payload, std::uint64_t firstVolumeSize, std::uint64_t volumeSize,
                  std::vector<std::vector<std::uint8_t>>* volumes, std::string* error);

// Cuts the payload exactly at the given payload offsets: each volume ends
// before the payload byte at its offset, which begins the next volume. The
// offsets ascend, each is an allowed cut below the payload size, and only the
// first may be 0. For tests of every allowed cut.
bool SplitPayloadAt(const ArchivePayload& payload, const std::vector<std::uint64_t>& cuts,
                    std::vector<std::vector<std::uint8_t>>* volumes, std::string* error);

// BuildPayload and SplitPayload in one.
bool WriteArchive(const ArchiveInput& input, std::uint64_t volumeSize,
                  std::vector<std::vector<std::uint8_t>>* volumes, std::string* error,
                  WriteProgress progress = nullptr, void* context = nullptr);

// The file name of volume n: NAME.E00, NAME.E0A, ...
std::string VolumeFileName(const std::string& name, unsigned number);

// Writes the volumes as dir/NAME.E00, dir/NAME.E01, ... Any volume file of
// the same name beyond the last is removed, so that an old, longer chain does
// not linger. False with *error set when a file cannot be written.
bool WriteVolumeFiles(const std::string& dir, const std::string& name,
                      const std::vector<std::vector<std::uint8_t>>& volumes, std::string* error);

// ASCII letters upper-cased, as the installer upper-cases its name and the
// file system compares member paths.
std::string UpperCase(std::string s);

// A DOS stamp from its parts (local time), years clamped to 1980-2107.
std::uint32_t MakeDosStamp(int year, int month, int day, int hour, int minute, int second);

}  // namespace bv
