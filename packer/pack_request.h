// One packing job, however it was described: create's options and a project
// file both fill a PackRequest, and RunPackRequest carries it out, from the
// source files to the volume files and the installer copy.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/archive_writer.h"
#include "packer/progress.h"
#include "packer/source_members.h"

namespace bv {

enum ExitCode { EXIT_OK = 0, EXIT_DAMAGED = 1, EXIT_USAGE = 2, EXIT_IO = 3 };

// A source file and the member it becomes. line: where a project file named
// it (0 on the command line), for messages.
struct PackFile {
    std::string source;
    std::string member;               // backslash-separated, as stored
    int line = 0;
};

struct PackRequest {
    std::string origin;               // the project file, for messages; empty for the command line
    std::string outDir;
    std::string name;                 // the archive's (and installer's) name, upper-case
    std::string defaultDest;
    bool allowChange = true;
    std::uint64_t volumeSize = VOLUME_UNLIMITED;
    std::string installer;            // copied beside the volumes as NAME.EXE; empty: none
    std::vector<PackFile> files;      // in member order
    ArchiveScript script;
    // Diskette sets: the kind of diskette (its volume size and image
    // layout), whether disk images are written, files for disk 1 only.
    std::string disketteKind;
    bool images = false;
    std::vector<std::string> diskOneFiles;

    // Project lines of the values above, for messages (0: none).
    int destLine = 0, groupLine = 0, runLine = 0, disketteLine = 0, imagesLine = 0, diskOneLine = 0;
    std::vector<int> itemLines;       // one per script item
};

// ASCII letters upper-cased, as the installer upper-cases its name.
std::string UpperCase(std::string s);

// "FILE:LINE: " for a project line, empty for the command line.
std::string WhereIs(const PackRequest& request, int line);

// Empty when NAME can name the installer and its volumes, else the reason.
std::string CheckArchiveName(const std::string& name);

// Whether path is one of this archive's own outputs in outDir (a volume or
// the installer copy), which is never packed into it again.
bool IsOwnOutput(const std::string& path, const std::string& outDir, const std::string& name);

// A volume size: 360K, 720K, 1.2M, 1.44M, 2.88M (any case), a byte count,
// or ONE for a single volume of any size.
bool ParseVolumeSize(const std::string& text, std::uint64_t* size);

// Checks the request, reads the files, writes the volumes and copies the
// installer. Nothing is written unless everything can be stored. Returns the
// exit code; errors and the summary go through progress.
int RunPackRequest(const PackRequest& request, Progress& progress);

}  // namespace bv
