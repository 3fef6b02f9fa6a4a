// One packing job, however it was described: create's options and a project
// file both fill a PackRequest, and RunPackRequest carries it out, from the
// source files to the volume files, the installer copy, the files of disk 1
// and the diskette images.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/archive/archive_writer.h"
#include "packer/media/diskette.h"
#include "packer/release/reporter.h"

namespace bv {

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
    ReleaseMedia media;               // volume size or diskette kind, installer, disk-1 files, images
    std::vector<PackFile> files;      // in member order
    ArchiveScript script;

    // Project lines of the values above, for messages (0: none).
    // disketteLine: Diskette or VolumeSize.
    int destLine = 0, groupLine = 0, runLine = 0, disketteLine = 0, imagesLine = 0, installerLine = 0;
    std::vector<int> itemLines;       // one per script item
    std::vector<int> diskOneLines;    // one per media.disk1Files entry
};

// "FILE:LINE: " for a project line, empty for the command line.
std::string WhereIs(const PackRequest& request, int line);

// Checks the request, reads the files, writes the volumes, copies the
// installer and the disk-1 files and, for a diskette kind, shows the
// diskettes and writes their images if asked. Nothing is written unless
// everything fits. Returns the exit code; errors, the summary and the
// diskette plan go through the reporter.
int RunPackRequest(const PackRequest& request, Reporter& reporter);

}  // namespace bv
