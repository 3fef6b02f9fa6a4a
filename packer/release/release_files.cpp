// The files a release writes beside its volumes and how they are named.
#include "packer/release/release_files.h"

#include <cctype>
#include <cstring>
#include <filesystem>

#include "archive/archive.h"
#include "archive/device_name.h"
#include "packer/media/disk_image.h"
#include "packer/release/manifest.h"
#include "packer/release/release_output.h"
#include "packer/release/source_file.h"

namespace bv {

namespace fs = std::filesystem;

std::string CheckArchiveName(const std::string& name)
{
    const std::string what = "archive name \"" + name + "\"";
    if (name.empty() || name.size() >= ARCHIVE_NAME_SIZE)
        return what + " must have 1 to " + std::to_string(ARCHIVE_NAME_SIZE - 1) +
               " characters (the installer's own name)";
    // NAME.EXE and NAME.E00 go into the output folder and onto the user's
    // machine: a plain file name there, the same in every code page.
    for (unsigned char c : name) {
        if (c < 0x20 || c > 0x7E)
            return what + " may hold only printable ASCII characters";
        if (c == '/' || c == '\\' || c == ':')
            return what + " contains \"" + static_cast<char>(c) + "\"; it names a file, not a path";
        if (std::strchr("<>\"|?*", c) != nullptr)
            return what + " contains \"" + static_cast<char>(c) + "\", which a Windows file name cannot hold";
    }
    if (name.find("..") != std::string::npos)
        return what + " contains \"..\"";
    if (name.front() == ' ' || name.back() == ' ')
        return what + " begins or ends with a blank";
    if (NamesDosDevice(name.data(), name.size()))
        return what + " names a DOS device; Windows would open the device";
    return std::string();
}

bool IsReleaseFileName(const std::string& file, const std::string& name)
{
    if (file == name + ".EXE")
        return true;
    return VolumeNumberOf(file.c_str(), name.c_str()) >= 0;
}

bool IsOwnOutput(const std::string& path, const PackRequest& request)
{
    std::error_code e;
    const fs::path p = PathOfName(path);
    const fs::path folder = fs::weakly_canonical(p.parent_path(), e);
    const fs::path out = fs::weakly_canonical(PathOfName(request.outDir), e);
    if (folder != out) {
        // Below a staging folder a killed run left there: half a release.
        const fs::path below = folder.lexically_relative(out);
        return !below.empty() && IsStagingFolderName(NameOfPath(*below.begin()));
    }
    const std::string file = NameOfPath(p.filename());
    if (file == kManifestName)
        return true;
    ReleaseManifest manifest;
    std::string error;
    return ReadManifest(request.outDir, &manifest, &error) == ManifestState::Read && manifest.Find(file) != nullptr;
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
