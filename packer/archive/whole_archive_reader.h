// Reads a whole archive on the console with the installer's own reader and
// decoder: every member decoded to a directory (kept or discarded), the
// member entries and the script collected, the first damage reported with
// its member and volume. Used by bvpack list/test/extract, the tests and the
// benchmark.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace bv {

struct ReadMember {
    std::string path;
    std::uint32_t attributes = 0;
    std::uint32_t dosStamp = 0;
    std::uint32_t size = 0;
};

struct ReadScriptEntry {
    int code;             // SCRIPT_GROUPNAME, SCRIPT_ITEMNAME, SCRIPT_PRGEXEC or SCRIPT_END
    std::string value;    // empty for SCRIPT_END
};

struct ReadResult {
    bool ok = false;
    bool ioError = false;         // the archive could not be opened at all, or a file not written
    std::string error;            // what went wrong, with member and volume
    std::string defaultDest;
    bool allowChange = false;
    std::vector<ReadMember> members;
    std::vector<ReadScriptEntry> script;
    int volumes = 0;              // volumes read
};

// Progress: member index (from 0), the member's path, bytes decoded so far
// of all members.
using ReadProgress = void (*)(std::size_t index, const std::string& path, std::uint64_t bytesDone, void* context);

// Reads sourceDir/NAME.E00, NAME.E01, ... NAME is used as given (the
// installer's upper-case name on a case-sensitive file system is the
// caller's affair). Members are decoded below destDir, which must exist;
// unless keepFiles, each file is removed once it is complete.
ReadResult ReadArchive(const std::string& sourceDir, const std::string& name, const std::string& destDir,
                       bool keepFiles, ReadProgress progress = nullptr, void* context = nullptr);

}  // namespace bv
