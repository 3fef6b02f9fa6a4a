// Diskette kinds and the fit of a release on them.
#include "packer/media/diskette.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "packer/archive/archive_writer.h"

namespace bv {

namespace {

// The standard formats, as mformat -f makes them (checked against it by the
// tests): geometry, cluster size, root directory and FAT sizes.
const std::vector<DisketteKind> kKinds = {
    {"360K", 360, 40, 2, 9, 2, 112, 2},
    {"720K", 720, 80, 2, 9, 2, 112, 3},
    {"1.2M", 1200, 80, 2, 15, 1, 224, 7},
    {"1.44M", 1440, 80, 2, 18, 1, 224, 9},
    {"2.88M", 2880, 80, 2, 36, 2, 240, 9},
};

bool DosNamePart(const std::string& part, std::size_t maxLength)
{
    if (part.empty() || part.size() > maxLength)
        return false;
    for (unsigned char c : part) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr("!#$%&'()-@^_`{}~", c) != nullptr))
            return false;
    }
    return true;
}

}  // namespace

std::uint32_t DisketteKind::DataClusters() const
{
    const unsigned rootSectors = rootEntries * 32 / 512;
    return (TotalSectors() - 1 - 2 * fatSectors - rootSectors) / sectorsPerCluster;
}

const std::vector<DisketteKind>& DisketteKinds()
{
    return kKinds;
}

const DisketteKind* FindDisketteKind(const std::string& name)
{
    for (const DisketteKind& k : kKinds)
        if (strcasecmp(name.c_str(), k.name) == 0)
            return &k;
    return nullptr;
}

const DisketteKind* DisketteKindOfImage(std::uint64_t imageBytes)
{
    for (const DisketteKind& k : kKinds)
        if (k.ImageBytes() == imageBytes)
            return &k;
    return nullptr;
}

std::uint32_t ClustersOf(const DisketteKind& kind, std::uint64_t bytes)
{
    return static_cast<std::uint32_t>((bytes + kind.ClusterBytes() - 1) / kind.ClusterBytes());
}

bool IsDosName(const std::string& name)
{
    std::size_t dot = name.find('.');
    if (dot == std::string::npos)
        return DosNamePart(name, 8);
    return DosNamePart(name.substr(0, dot), 8) && DosNamePart(name.substr(dot + 1), 3);
}

bool FirstVolumeRoom(const DisketteKind& kind, const std::string& archiveName,
                     const std::vector<DisketteFile>& disk1Files, std::uint64_t* room, std::string* error)
{
    const std::string first = VolumeFileName(archiveName, 0);
    if (!IsDosName(first)) {
        *error = "on a diskette the archive name \"" + archiveName + "\" must be a DOS name of 1 to 8 characters";
        return false;
    }
    std::uint64_t used = 0;
    std::string names;
    for (const DisketteFile& f : disk1Files) {
        used += ClustersOf(kind, f.size);
        names += (names.empty() ? "" : ", ") + f.name;
    }
    // The volume label, the disk-1 files and volume 0 each take a root entry.
    if (disk1Files.size() + 2 > kind.rootEntries) {
        *error = std::to_string(disk1Files.size()) + " files on disk 1 leave no root directory entry for " + first +
                 " on a " + kind.name + " diskette (" + std::to_string(kind.rootEntries) +
                 " entries, one for the label)";
        return false;
    }
    if (used >= kind.DataClusters()) {
        *error = "disk 1 files " + names + " need " + std::to_string(used) + " of the " +
                 std::to_string(kind.DataClusters()) + " clusters of a " + kind.name +
                 " diskette: no room is left for " + first;
        return false;
    }
    *room = std::uint64_t{kind.DataClusters() - static_cast<std::uint32_t>(used)} * kind.ClusterBytes();
    return true;
}

std::vector<Diskette> PlanDiskettes(const DisketteKind& kind, const std::string& archiveName,
                                    const std::vector<DisketteFile>& disk1Files,
                                    const std::vector<std::uint64_t>& volumeSizes)
{
    std::vector<Diskette> disks;
    for (unsigned n = 0; n < volumeSizes.size(); n++) {
        Diskette d;
        d.number = n + 1;
        d.label = "DISK" + std::to_string(n + 1);
        if (n == 0)
            d.files = disk1Files;
        DisketteFile volume;
        volume.name = VolumeFileName(archiveName, n);
        volume.size = volumeSizes[n];
        d.files.push_back(volume);
        for (const DisketteFile& f : d.files)
            d.usedClusters += ClustersOf(kind, f.size);
        disks.push_back(std::move(d));
    }
    return disks;
}

std::string DescribeDiskettes(const DisketteKind& kind, const std::vector<Diskette>& diskettes)
{
    char line[160];
    std::snprintf(line, sizeof line, "%zu diskette%s of %s (%u clusters of %u bytes, %u root entries each)\n",
                  diskettes.size(), diskettes.size() == 1 ? "" : "s", kind.name, kind.DataClusters(),
                  kind.ClusterBytes(), kind.rootEntries);
    std::string text = line;
    for (const Diskette& d : diskettes) {
        if (d.usedClusters > kind.DataClusters()) {
            std::snprintf(line, sizeof line, "disk %u (%s): %u of %u clusters used, DOES NOT FIT by %u clusters\n",
                          d.number, d.label.c_str(), d.usedClusters, kind.DataClusters(),
                          d.usedClusters - kind.DataClusters());
        } else {
            const std::uint32_t freeClusters = kind.DataClusters() - d.usedClusters;
            std::snprintf(line, sizeof line, "disk %u (%s): %u of %u clusters used, %u free (%llu bytes)\n", d.number,
                          d.label.c_str(), d.usedClusters, kind.DataClusters(), freeClusters,
                          static_cast<unsigned long long>(std::uint64_t{freeClusters} * kind.ClusterBytes()));
        }
        text += line;
        for (const DisketteFile& f : d.files) {
            std::snprintf(line, sizeof line, "  %-12s %10llu bytes %6u clusters\n", f.name.c_str(),
                          static_cast<unsigned long long>(f.size), ClustersOf(kind, f.size));
            text += line;
        }
    }
    return text;
}

std::string DisketteKindNames(const char* lastJoin)
{
    const std::vector<DisketteKind>& kinds = DisketteKinds();
    std::string names;
    for (std::size_t i = 0; i < kinds.size(); i++)
        names += (i == 0 ? "" : i + 1 == kinds.size() ? lastJoin : ", ") + std::string(kinds[i].name);
    return names;
}

bool ParseVolume(const std::string& text, ReleaseMedia* media)
{
    media->kind = FindDisketteKind(text);
    media->volumeSize = VOLUME_UNLIMITED;
    if (media->kind != nullptr || UpperCase(text) == "ONE")
        return true;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    media->volumeSize = std::strtoull(text.c_str(), nullptr, 10);
    return media->volumeSize > 0;
}

}  // namespace bv
