// The record of a release in its output folder, written beside the volumes
// as bvpack.manifest: every file the release wrote there with its size and
// SHA-256, and every member with its size, stamp, attributes and the SHA-256
// of its bytes. A later build replaces or removes only the files it lists
// (and only while they are unchanged); `test` checks volumes and members
// against it.
//
//   bvpack release 1
//   name SETUP
//   diskette 360K                       (a diskette release only)
//   volume SIZE SHA256 SETUP.E00        (in volume order)
//   file SIZE SHA256 SETUP.EXE          (installer, disk-1 files, images)
//   member SIZE STAMP ATTRIBUTES SHA256 DOCS\GUIDE.TXT   (in member order)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace bv {

extern const char kManifestName[];   // "bvpack.manifest"

struct ManifestFile {
    std::string name;                // in the output folder
    std::uint64_t size = 0;
    std::string sha256;
};

struct ManifestMember {
    std::string path;                // as stored
    std::uint64_t size = 0;
    std::uint32_t dosStamp = 0;
    std::uint32_t attributes = 0;
    std::string sha256;              // of the member's bytes
};

struct ReleaseManifest {
    std::string name;                // the archive's name
    std::string diskette;            // the diskette kind; empty: none
    std::vector<ManifestFile> volumes;
    std::vector<ManifestFile> files;
    std::vector<ManifestMember> members;

    // The volume or file of that name, or null.
    const ManifestFile* Find(const std::string& file) const;
};

std::string FormatManifest(const ReleaseManifest& manifest);
// False with *error (what is wrong, and on which line) for a text that is
// not a manifest.
bool ParseManifest(const std::string& text, ReleaseManifest* manifest, std::string* error);

enum class ManifestState { None, Read, Unreadable };
// The manifest of the release in dir. Unreadable, with *error naming the
// file, when one is there but cannot be read or is no manifest.
ManifestState ReadManifest(const std::string& dir, ReleaseManifest* manifest, std::string* error);

// The diskette that holds volume number of a release on kind (disk 1 holds
// volume 0), e.g. "disk 2"; empty when the release is not on diskettes.
std::string DisketteOfVolume(const ReleaseManifest& manifest, unsigned number);

}  // namespace bv
