// bvpack init DIR: a commented project file for the product folder DIR,
// written into the current folder as NAME.INI, that builds as written.
#pragma once
#include <string>

namespace bv {

// The release name for a product folder: its name upper-cased, letters,
// digits, '_' and '-' only, at most 8 characters (so that NAME.EXE also fits
// a diskette); SETUP when nothing is left.
std::string ReleaseNameFor(const std::string& folder);

// The project file's text for the product folder dir, whose path relative to
// the project file's folder is relative ('/'-separated). Fails (empty,
// *error set) when the folder holds nothing to pack.
std::string ProjectFileFor(const std::string& dir, const std::string& relative, std::string* error);

// Writes NAME.INI for dir into the current folder, never over an existing
// file; says which file it wrote. Returns the exit code.
int InitProject(const std::string& dir);

}  // namespace bv
