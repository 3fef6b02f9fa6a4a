// For builds without libinih (no Windows build of it is packaged): project
// files are refused, everything else of the packer works.
#include "packer/ini_reader.h"

namespace bv {

bool ParseIni(const std::string&, IniText* out, int* errorLine, std::string* error)
{
    *out = IniText();
    *errorLine = 0;
    *error = "project files are not supported by this build of bvpack (it lacks the INI library)";
    return false;
}

}  // namespace bv
