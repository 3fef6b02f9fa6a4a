// Project files: a release described in an INI file beside the product, read
// into the same PackRequest that create's options fill.
//
//   [Setup]  Name, Destination, ChangeDestination, VolumeSize or Diskette,
//            Images, Installer, Output, DiskOneFile (repeatable)
//   [Files]  Source = PATH [=> FOLDER] (repeatable; entry order is member order)
//   [Group]  Name, Item = COMMAND[, TITLE] (repeatable)
//   [Run]    Program = COMMAND LINE
//
// Paths are relative to the project file; the release goes to Output, by
// default the folder "Output" beside the project file. Errors name the file and the line:
// "PROJECT.INI:12: unknown key "Nmae" in [Setup]".
#pragma once
#include <string>

#include "packer/release/pack_request.h"

namespace bv {

// The release's folder when the project names none, below the project's.
constexpr char kDefaultOutput[] = "Output";

// Fills *request from the project file. Returns EXIT_OK, EXIT_USAGE when the
// file says something wrong or names files that are not there, EXIT_IO when
// it cannot be read; *error says what and where. outDir, when given, is the
// release's folder instead of the project's Output.
int ReadProjectFile(const std::string& path, PackRequest* request, std::string* error,
                    const std::string& outDir = std::string());

}  // namespace bv
