// Which installer a release gets when its command line or project file names
// none: the bvunpack.exe installed with bvpack (share/brevant/ beside its
// bin/ folder, or beside bvpack.exe itself), or, run from a build tree, the
// one built with it; BVPACK_INSTALLER (a path, or "none") overrides the
// search. And the check that an installer is a 32-bit Windows GUI program.
#pragma once
#include <string>
#include <vector>

namespace bv {

// The installer's file name where it is installed or built.
inline constexpr const char kInstallerFile[] = "bvunpack.exe";
// In a build tree, beside bvpack: the path of the installer built with it,
// relative to that folder.
inline constexpr const char kBuiltInstallerNote[] = "bvpack-installer.txt";

struct InstallerSearch {
    std::string found;                    // empty: none found, or BVPACK_INSTALLER=none
    bool none = false;                    // BVPACK_INSTALLER=none
    std::vector<std::string> looked;      // the places tried, in order
};

// The folder of the running bvpack executable (empty if unknown).
std::string OwnFolder();

InstallerSearch FindInstaller();

// EXIT_OK when path is a 32-bit Windows GUI program (PE32, i386, Windows GUI
// subsystem, not a library); else EXIT_IO when it cannot be read, EXIT_USAGE
// when it is something else; *error says what.
int CheckInstallerProgram(const std::string& path, std::string* error);

}  // namespace bv
