#include "packer/cli/installer_choice.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "packer/release/reporter.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace bv {

std::string OwnFolder()
{
#ifdef _WIN32
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return "";
    return fs::path(path).parent_path().string();
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
#endif
}

InstallerSearch FindInstaller()
{
    InstallerSearch search;
    if (const char* given = std::getenv("BVPACK_INSTALLER"); given != nullptr && *given != '\0') {
        search.looked.push_back(std::string("BVPACK_INSTALLER=") + given);
        if (std::string(given) == "none")
            search.none = true;
        else
            search.found = given;
        return search;
    }
    const fs::path own = OwnFolder();
    if (own.empty())
        return search;
    std::vector<fs::path> places = {own / kInstallerFile,
                                    own.parent_path() / "share" / "brevant" / kInstallerFile};
    // A build tree: the note beside bvpack names the installer built with it.
    std::ifstream note(own / kBuiltInstallerNote);
    std::string built;
    if (note && std::getline(note, built) && !built.empty())
        places.push_back(own / built);
    std::error_code ec;
    for (const fs::path& place : places) {
        fs::path normal = place.lexically_normal();
        search.looked.push_back(normal.string());
        if (fs::is_regular_file(normal, ec)) {
            search.found = normal.string();
            break;
        }
    }
    return search;
}

int CheckInstallerProgram(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read the installer " + path;
        return EXIT_IO;
    }
    // The headers: MZ, the PE header's offset at 0x3C, then "PE\0\0", the
    // file header (machine, characteristics) and the optional header (magic,
    // subsystem).
    std::string head(4096, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    auto u16 = [&](std::size_t at) -> unsigned {
        return at + 2 <= head.size() ? static_cast<unsigned char>(head[at]) | static_cast<unsigned char>(head[at + 1]) << 8
                                     : 0;
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t { return u16(at) | std::uint32_t{u16(at + 2)} << 16; };
    const std::size_t pe = head.size() >= 0x40 && head.compare(0, 2, "MZ") == 0 ? u32(0x3C) : 0;
    const std::size_t opt = pe + 24;
    const bool isPe = pe != 0 && pe + 4 <= head.size() && head.compare(pe, 4, std::string("PE\0\0", 4)) == 0;
    const bool ok = isPe && u16(pe + 4) == 0x014C             // i386
                    && (u16(pe + 22) & 0x2000) == 0               // not a DLL
                    && u16(opt) == 0x010B                         // PE32
                    && u16(opt + 68) == 2;                        // Windows GUI
    if (!ok) {
        *error = "the installer " + path + " is not a 32-bit Windows GUI program";
        return EXIT_USAGE;
    }
    return EXIT_OK;
}

}  // namespace bv
