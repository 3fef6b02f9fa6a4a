// INI text as the project file reader sees it: every key in order with its
// section and line, and every section heading. The parsing itself is the
// platform's: libinih on the host, the profile functions of KERNEL32 on
// Windows.
#pragma once
#include <string>
#include <vector>

namespace bv {

struct IniEntry {
    std::string section;
    std::string key;
    std::string value;
    int line;
};

struct IniHeading {
    std::string section;
    int line;
};

struct IniText {
    std::vector<IniEntry> entries;
    std::vector<IniHeading> headings;
};

// Reads the INI file at path, whose content is text. False at the first line
// that is no heading, KEY = VALUE, comment or blank (or is too long):
// *errorLine is that line, *error says what is wrong. Lines may be indented;
// a value never continues on the next line; ':' does not stand for '='.
// Windows reads only up to a section's second heading or a heading without
// a name, which the project file refuses.
bool ParseIni(const std::string& path, const std::string& text, IniText* out, int* errorLine, std::string* error);

}  // namespace bv
