// The files a release writes beside its volumes and how they are named.
#include "packer/release/release_files.h"

#include <cctype>
#include <filesystem>

#include "archive/archive.h"
#include "packer/media/disk_image.h"

namespace bv {

namespace fs = std::filesystem;

std::string CheckArchiveName(const std::string& name)
{
    if (name.empty() || name.size() >= ARCHIVE_NAME_SIZE)
        return "archive name \"" + name + "\" must have 1 to " + std::to_string(ARCHIVE_NAME_SIZE - 1) +
               " characters (the installer's own name)";
    return std::string();
}

bool IsReleaseFileName(const std::string& file, const std::string& name)
{
    if (file == name + ".EXE")
        return true;
    return file.size() == name.size() + 4 && file.compare(0, name.size() + 2, name + ".E") == 0 &&
           std::isxdigit(static_cast<unsigned char>(file[name.size() + 2])) &&
           std::isxdigit(static_cast<unsigned char>(file[name.size() + 3]));
}

bool IsOwnOutput(const std::string& path, const PackRequest& request)
{
    std::error_code e;
    const fs::path p(path);
    if (fs::weakly_canonical(p.parent_path(), e) != fs::weakly_canonical(request.outDir, e))
        return false;
    const std::string file = UpperCase(p.filename().string());
    for (const std::string& extra : request.media.disk1Files)
        if (file == UpperCase(fs::path(extra).filename().string()))
            return true;
    if (file.size() > 8 && file.compare(0, 4, "DISK") == 0 && file.compare(file.size() - 4, 4, ".IMG") == 0 &&
        file.find_first_not_of("0123456789", 4) == file.size() - 4)
        return true;
    return IsReleaseFileName(file, request.name);
}

int DiskOneFiles(const ReleaseMedia& media, const std::string& name, std::vector<DisketteFile>* files,
                 std::string* error, int* which)
{
    files->clear();
    auto add = [&](const std::string& path, const std::string& diskName) {
        std::error_code ec;
        const fs::file_status st = fs::status(path, ec);
        if (!fs::exists(st)) {
            *error = "cannot read " + path + ": " + (ec ? ec.message() : "not found");
            return static_cast<int>(EXIT_IO);
        }
        if (!fs::is_regular_file(st)) {
            *error = path + " is not a regular file";
            return static_cast<int>(EXIT_USAGE);
        }
        for (const DisketteFile& f : *files) {
            if (f.name == diskName) {
                *error = path + " would lie on disk 1 as " + diskName + ", as " + f.source + " does";
                return static_cast<int>(EXIT_USAGE);
            }
        }
        files->push_back({diskName, fs::file_size(path, ec), path});
        return static_cast<int>(EXIT_OK);
    };
    *which = -1;
    if (!media.installer.empty()) {
        int code = add(media.installer, name + ".EXE");
        if (code != EXIT_OK)
            return code;
    }
    for (std::size_t i = 0; i < media.disk1Files.size(); i++) {
        const std::string& path = media.disk1Files[i];
        *which = static_cast<int>(i);
        const std::string diskName = UpperCase(fs::path(path).filename().string());
        if (media.kind != nullptr && !IsDosName(diskName)) {
            *error = "disk-1 file " + path + ": \"" + diskName + "\" is not a DOS 8.3 file name";
            return EXIT_USAGE;
        }
        if (IsReleaseFileName(diskName, name)) {
            *error = "disk-1 file " + path + " would take the name of the installer or a volume";
            return EXIT_USAGE;
        }
        int code = add(path, diskName);
        if (code != EXIT_OK)
            return code;
    }
    return EXIT_OK;
}

}  // namespace bv
