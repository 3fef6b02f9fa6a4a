// Diskette kinds and the fit of a release on them: every diskette's files,
// counted in whole clusters and root-directory entries, must fit on a freshly
// formatted FAT12 diskette of the chosen kind.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace bv {

// A standard FAT12 diskette format, as mformat -f SIZE makes it.
struct DisketteKind {
    const char* name;             // as given to --volume: "360K"
    unsigned formatKiB;           // mformat -f
    unsigned tracks, heads, sectorsPerTrack;
    unsigned sectorsPerCluster;
    unsigned rootEntries;         // root directory slots, the volume label's included
    unsigned fatSectors;          // sectors of one FAT (two FATs)

    std::uint32_t TotalSectors() const { return tracks * heads * sectorsPerTrack; }
    std::uint64_t ImageBytes() const { return std::uint64_t{TotalSectors()} * 512; }
    std::uint32_t ClusterBytes() const { return sectorsPerCluster * 512; }
    // Data clusters: all sectors after the boot sector, the FATs and the root
    // directory, in whole clusters.
    std::uint32_t DataClusters() const;
    std::uint64_t DataBytes() const { return std::uint64_t{DataClusters()} * ClusterBytes(); }
};

// 360K, 720K, 1.2M, 1.44M, 2.88M.
const std::vector<DisketteKind>& DisketteKinds();
// Their names as a list for texts: "360K, 720K, 1.2M, 1.44M or 2.88M"
// (lastJoin between the last two).
std::string DisketteKindNames(const char* lastJoin = " or ");
// The kind of that name (any case), or null.
const DisketteKind* FindDisketteKind(const std::string& name);
// The kind whose image is that many bytes, or null.
const DisketteKind* DisketteKindOfImage(std::uint64_t imageBytes);

std::uint32_t ClustersOf(const DisketteKind& kind, std::uint64_t bytes);

// Whether name is a plain upper-case DOS 8.3 file name, which takes one
// directory entry (no long-name entries).
bool IsDosName(const std::string& name);

// What a release is made for, as the options of create give it; reused by
// every command that makes a release.
struct ReleaseMedia {
    const DisketteKind* kind = nullptr;       // a diskette kind; null: volumeSize rules
    std::uint64_t volumeSize = 0;             // largest volume file when kind is null; 0: one volume
    std::string installer;                    // copied as NAME.EXE onto disk 1; empty: none
    std::vector<std::string> disk1Files;      // the user's own files beside NAME.EXE
    bool images = false;                      // write DISK1.IMG, DISK2.IMG, ...
};

// A volume size into media: a diskette kind (360K, 720K, 1.2M, 1.44M,
// 2.88M, any case), a byte count (the largest volume file), or ONE for a
// single volume of any size.
bool ParseVolume(const std::string& text, ReleaseMedia* media);

// A file that lies on a diskette: its name there and its size.
struct DisketteFile {
    std::string name;                         // DOS 8.3 name: SETUP.E00
    std::uint64_t size = 0;
    std::string source;                       // where its bytes are (set by the caller)
};

struct Diskette {
    unsigned number = 0;                      // 1, 2, ...
    std::string label;                        // DISK1
    std::vector<DisketteFile> files;
    std::uint32_t usedClusters = 0;
};

// The room that disk 1 leaves for volume 0 beside the installer and the
// disk-1 files (all in whole clusters). False with *error set when they
// leave no cluster for it or take more root entries than there are.
bool FirstVolumeRoom(const DisketteKind& kind, const std::string& archiveName,
                     const std::vector<DisketteFile>& disk1Files, std::uint64_t* room, std::string* error);

// The diskettes of a release: disk 1 holds disk1Files (the installer, then
// the user's files) and volume 0; disk n holds volume n-1.
std::vector<Diskette> PlanDiskettes(const DisketteKind& kind, const std::string& archiveName,
                                    const std::vector<DisketteFile>& disk1Files,
                                    const std::vector<std::uint64_t>& volumeSizes);

// The plan as a table: per diskette its files in clusters and the room left.
std::string DescribeDiskettes(const DisketteKind& kind, const std::vector<Diskette>& diskettes);

}  // namespace bv
