// One packing job, however it was described: create's options and a project
// file both fill a PackRequest, and RunPackRequest carries it out, from the
// source files to the volume files, the installer copy, the files of disk 1
// and the diskette images.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/archive_writer.h"
#include "packer/diskette.h"
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

// Empty when NAME can name the installer and its volumes, else the reason.
std::string CheckArchiveName(const std::string& name);

// Whether file (upper case) is the installer or a volume of archive name.
bool IsReleaseFileName(const std::string& file, const std::string& name);

// Whether path is one of the request's own outputs in its outDir (a volume,
// the installer copy, a disk-1 file or a diskette image), which is never
// packed into it again.
bool IsOwnOutput(const std::string& path, const PackRequest& request);

// Every regular file below dir that a packed folder contributes: '/'-separated
// paths relative to dir, in member order, the request's own outputs left out.
// Empty directories, which the archive cannot store, go to *emptyDirs when
// given. False with *error when dir cannot be read.
bool FilesBelow(const std::string& dir, const PackRequest& request, std::vector<std::string>* relatives,
                std::string* error, std::vector<std::string>* emptyDirs = nullptr);

// A volume size into media: a diskette kind (360K, 720K, 1.2M, 1.44M,
// 2.88M, any case), a byte count (the largest volume file), or ONE for a
// single volume of any size.
bool ParseVolume(const std::string& text, ReleaseMedia* media);

// DISK1.IMG, DISK2.IMG, ...
std::string DiskImageName(unsigned number);

// The files of disk 1 beside volume 0, from the installer and the user's
// disk-1 files, under their names on the diskette, with their sizes.
// Returns the exit code; on failure *error says why and *which is the
// failing file: -1 the installer, else its index in media.disk1Files.
int DiskOneFiles(const ReleaseMedia& media, const std::string& name, std::vector<DisketteFile>* files,
                 std::string* error, int* which);

// Checks the request, reads the files, writes the volumes, copies the
// installer and the disk-1 files and, for a diskette kind, shows the
// diskettes and writes their images if asked. Nothing is written unless
// everything fits. Returns the exit code; errors, the summary and the
// diskette plan go through progress.
int RunPackRequest(const PackRequest& request, Progress& progress);

}  // namespace bv
