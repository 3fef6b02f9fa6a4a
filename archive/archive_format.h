// The archive format, for its reader (the installer) and its writer (the
// packer) alike: volume names, record tags, field limits, attribute bits,
// little-endian fields and DOS stamps.
//
// An archive is a chain of volumes NAME.E00, NAME.E01, ... Volume 0 begins
//   [TARNBOLT 0][DEFDIR=destination][DFCHANGE=0 or 1]
// and every later volume n with [TARNBOLT n] (n in decimal). Then come the
// member entries
//   [PRNAME=path] attributes(4) stamp(4) size(4) stream
// (numbers little-endian; the stream is absent for an empty member), the
// end of the files [PRNAME=TARNBOLT_END_FILE_SECTION], and the install
// script: an optional [GROUPNAME=...] with its [ITEMNAME=...] records, then
// [PRGEXEC=...] or [TARNBOLT=END]. A record, with the fields after a member
// entry, never straddles volumes; a stream may.
#pragma once
#include <cstdint>

// Record tags, as written between "[" and the value.
#define TAG_VOLUME "TARNBOLT "          // followed by the volume number
#define TAG_DEFAULT_DEST "DEFDIR="
#define TAG_DEST_CHANGE "DFCHANGE="
#define TAG_MEMBER "PRNAME="
#define TAG_GROUP "GROUPNAME="
#define TAG_ITEM "ITEMNAME="
#define TAG_PROGRAM "PRGEXEC="
#define TAG_SCRIPT_END "TARNBOLT=END"   // the whole record, no value
// The member path that ends the member entries.
#define END_OF_FILES_NAME "TARNBOLT_END_FILE_SECTION"
#define RECORD_OPEN '['
#define RECORD_CLOSE ']'

// Field limits in bytes, without a terminating zero. Written as plain
// numbers so that the scan patterns below are made from them.
#define DEFAULT_DEST_MAX 511      // DEFDIR value
#define RECORD_VALUE_MAX 256      // member path, group, item, program
#define VOLUME_COUNT_MAX 256      // NAME.E00 ... NAME.EFF

// scanf conversions of the values, their widths the limits above: a value
// ends at "]".
#define SCAN_TEXT_(width) #width
#define SCAN_WIDTH(width) SCAN_TEXT_(width)
#define SCAN_DEFAULT_DEST "%" SCAN_WIDTH(DEFAULT_DEST_MAX) "[^]]"
#define SCAN_RECORD_VALUE "%" SCAN_WIDTH(RECORD_VALUE_MAX) "[^]]"

// The fields after a member entry: attributes and stamp, read with the
// record, then the size, read by the decoder.
enum { MEMBER_ENTRY_FIELDS = 8, MEMBER_SIZE_FIELD = 4 };

// Extension of volume n (printf, with n as unsigned): NAME.E00, NAME.E1F.
#define VOLUME_EXTENSION ".E%02X"

// The volume number that file name names when it is NAME followed by a
// volume extension (two hexadecimal digits, either case); -1 otherwise.
inline int VolumeNumberOf(const char* file, const char* name)
{
    while (*name) {
        if (*file++ != *name++)
            return -1;
    }
    if (file[0] != '.' || file[1] != 'E')
        return -1;
    int number = 0;
    for (int i = 2; i < 4; i++) {
        char c = file[i];
        int digit = c >= '0' && c <= '9' ? c - '0'
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return -1;
        number = number * 16 + digit;
    }
    return file[4] == '\0' ? number : -1;
}

// Attribute bits of a member, as DOS stores them.
enum : std::uint32_t {
    ATTR_READONLY = 0x01,
    ATTR_HIDDEN = 0x02,
    ATTR_SYSTEM = 0x04,
    ATTR_ARCHIVE = 0x20,
};

// Little-endian 32-bit fields.
inline std::uint32_t LoadLittleEndian32(const unsigned char* b)
{
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

inline void StoreLittleEndian32(unsigned char* b, std::uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A DOS stamp: low half the time (seconds / 2, minute, hour), high half the
// date (day, month, years since 1980), local time.
struct DosStampParts {
    int year, month, day, hour, minute, second;
};

inline DosStampParts DecodeDosStamp(std::uint32_t stamp)
{
    DosStampParts p;
    p.year = static_cast<int>(stamp >> 25) + 1980;
    p.month = static_cast<int>(stamp >> 21 & 0x0F);
    p.day = static_cast<int>(stamp >> 16 & 0x1F);
    p.hour = static_cast<int>(stamp >> 11 & 0x1F);
    p.minute = static_cast<int>(stamp >> 5 & 0x3F);
    p.second = static_cast<int>(stamp & 0x1F) * 2;
    return p;
}

// The stamp of parts already within 1980-2107 (odd seconds round down).
inline std::uint32_t EncodeDosStamp(const DosStampParts& p)
{
    std::uint32_t date = static_cast<std::uint32_t>((p.year - 1980) << 9 | p.month << 5 | p.day);
    std::uint32_t time = static_cast<std::uint32_t>(p.hour << 11 | p.minute << 5 | p.second / 2);
    return date << 16 | time;
}
