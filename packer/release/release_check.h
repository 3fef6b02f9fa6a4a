// bvpack test: a release read back with the installer's reader, as from its
// folder or from its diskette images, and checked against its manifest when
// one is there: every volume's and every member's checksum, so that damage
// the stream format itself cannot see is found and named (volume, diskette,
// member). Without a manifest only the stream's structure is checked, and
// the summary says so.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/release/reporter.h"

namespace bv {

// The release in dir under name (its volumes NAME.E00, ...), with the
// manifest found in dir. Returns the exit code: EXIT_OK, EXIT_DAMAGED, or
// EXIT_IO when it cannot be read at all. scratch: an empty folder for the
// members while they are checked.
int TestRelease(const std::string& dir, const std::string& name, const std::string& scratch, Reporter& reporter);

// The release on its diskette images, in order (DISK1.IMG first), with the
// manifest found beside the first image.
int TestDisketteImages(const std::vector<std::string>& images, const std::string& scratch, Reporter& reporter);

// Progress while an archive is read with the installer's reader: index
// files and bytesDone bytes done, and the share of the volumes' bytes
// (volumeSizes, packedTotal in all) read so far standing for the share of
// the work done.
ProgressFigures ReadingFigures(std::size_t index, std::uint64_t bytesDone,
                               const std::vector<std::uint64_t>& volumeSizes, std::uint64_t packedTotal);

// Whether path names a diskette image rather than an archive: *.IMG.
bool IsDisketteImagePath(const std::string& path);

}  // namespace bv
