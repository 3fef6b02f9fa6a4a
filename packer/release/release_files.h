// The files a release writes into its output folder besides the volumes:
// the installer copy NAME.EXE and the user's disk-1 files; how the release's
// own files are named and recognised, so that a later run neither packs them
// nor mistakes them for sources.
#pragma once
#include <string>
#include <vector>

#include "packer/media/diskette.h"
#include "packer/release/pack_request.h"

namespace bv {

// Empty when NAME can name the installer and its volumes, else the reason.
std::string CheckArchiveName(const std::string& name);

// Whether file (upper case) is the installer or a volume of archive name.
bool IsReleaseFileName(const std::string& file, const std::string& name);

// Whether path is one of the request's own outputs in its outDir: the
// manifest, or a file it lists (a volume, the installer copy, a disk-1 file
// or a diskette image of the release made there), or a file below a staging
// folder a killed run left there. They are never packed into the release
// again; any other file there is the user's.
bool IsOwnOutput(const std::string& path, const PackRequest& request);

// The files of disk 1 beside volume 0, from the installer and the user's
// disk-1 files, under their names on the diskette, with their sizes.
// Returns the exit code; on failure *error says why and *which is the
// failing file: -1 the installer, else its index in media.disk1Files.
int DiskOneFiles(const ReleaseMedia& media, const std::string& name, std::vector<DisketteFile>* files,
                 std::string* error, int* which);

}  // namespace bv
