// INI text as the project file reader sees it: every key in order with its
// section and line, and every section heading. The parsing itself is
// libinih's.
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

// False at the first line that is no heading, key = value, comment or blank
// (or is too long): *errorLine is that line, *error says what is wrong.
// Lines may be indented; a value never continues on the next line.
bool ParseIni(const std::string& text, IniText* out, int* errorLine, std::string* error);

}  // namespace bv
