// Project files on Windows, read with the profile functions of KERNEL32.
// They give sections and entries but no line numbers, and they take some
// lines libinih refuses (a line without '=', a heading with a comment in
// it) or reads otherwise (';' comments after a value, '#' comments): each
// entry is matched, in order, to the next line of the file that is neither
// blank nor a comment, and whatever libinih would not read as this reader
// reads it is refused with its line, so that both readers take the same
// files the same way.
#include <windows.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <set>

#include "packer/project/ini_lines.h"
#include "packer/project/ini_reader.h"

namespace bv {

namespace {

bool Blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Trim(std::string_view s)
{
    while (!s.empty() && Blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && Blank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Where a ';' after a blank starts a comment, as libinih sees it (npos:
// none); before is the character ahead of s in the line.
std::size_t InlineComment(const std::string& s, char before)
{
    for (std::size_t i = 0; i < s.size(); i++)
        if (s[i] == ';' && Blank(i == 0 ? before : s[i - 1]))
            return i;
    return std::string::npos;
}

// A list of NUL-terminated strings from a profile function, read whole: a
// result cut to the buffer comes back as its size less two.
std::vector<std::string> Strings(const std::function<DWORD(char*, DWORD)>& get)
{
    std::vector<char> buffer(4096);
    DWORD n;
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), '\0');
        n = get(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n + 2 < buffer.size())
            break;
        buffer.resize(buffer.size() * 2);
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i < n && buffer[i] != '\0'; i += std::strlen(&buffer[i]) + 1)
        out.push_back(&buffer[i]);
    return out;
}

struct Walk {
    explicit Walk(const std::string& text) : lines(text) {}
    IniLines lines;
    IniText* out = nullptr;
    std::string trimmed;  // the current line without blanks around it
    bool stopped = false;  // at a heading the profile functions do not list
    int errorLine = 0;
    std::string error;

    bool Fail(const std::string& what)
    {
        errorLine = lines.number;
        error = what;
        return false;
    }

    // Steps to the next line that is neither blank nor a comment; false at
    // the end of the file and at a line that is too long.
    bool NextLine()
    {
        while (lines.Next()) {
            if (lines.tooLong)
                return Fail(IniLines::TooLongError());
            trimmed = Trim(lines.line);
            if (!trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#')
                return true;
        }
        return false;
    }

    // A heading with a blank name, which the profile functions list not
    // (nor its entries): taken as it stands, and the reading stops there;
    // the project file refuses it.
    bool BlankHeading()
    {
        std::size_t close = trimmed.find(']');
        if (trimmed[0] != '[' || close == std::string::npos || !Trim(trimmed.substr(1, close - 1)).empty())
            return false;
        out->headings.push_back({trimmed.substr(1, close - 1), lines.number});
        return stopped = true;
    }

    // The heading of a section named name by the profile functions: the
    // text up to the line's last ']', trimmed. libinih's name ends at the
    // first ']' and keeps its blanks. False at a fault or a blank heading.
    bool Heading(const std::string& name, std::string* section)
    {
        if (!NextLine())
            return errorLine == 0 && Fail(kIniSyntaxError);
        if (BlankHeading())
            return false;
        std::size_t last = trimmed.rfind(']');
        if (trimmed[0] != '[' || last == std::string::npos || Lower(Trim(trimmed.substr(1, last - 1))) != Lower(name))
            return Fail(kIniSyntaxError);
        *section = trimmed.substr(1, trimmed.find(']') - 1);
        if (InlineComment(*section, '[') != std::string::npos)
            return Fail(kIniSyntaxError);
        out->headings.push_back({*section, lines.number});
        return true;
    }

    // One "KEY=VALUE" of the profile functions (blanks around '=' and around
    // the line dropped), or a line they kept that has no '=' or is an
    // unclosed heading.
    bool Entry(const std::string& section, const std::string& entry)
    {
        if (entry[0] == '#')
            return true;  // a comment to libinih, already passed over
        if (!NextLine())
            return errorLine == 0 && Fail(kIniSyntaxError);
        std::size_t equals = trimmed.find('=');
        std::string raw = equals == std::string::npos ? std::string() : trimmed.substr(equals + 1);
        std::string key = Trim(trimmed.substr(0, equals));
        if (equals == std::string::npos || key + "=" + Trim(raw) != entry || key.find(':') != std::string::npos ||
            InlineComment(key, 'x') != std::string::npos || trimmed[0] == '[')
            return Fail(kIniSyntaxError);
        std::string value = Trim(raw);
        std::size_t comment = InlineComment(value, raw.empty() ? 'x' : raw[0]);
        out->entries.push_back({section, key, Trim(value.substr(0, comment)), lines.number});
        return true;
    }

    bool Read(const char* file)
    {
        auto section = [&](const char* name) {
            return Strings([&](char* buffer, DWORD size) { return GetPrivateProfileSectionA(name, buffer, size, file); });
        };
        // Keys before the first heading come as the section without a name.
        for (const std::string& entry : section(""))
            if (!Entry("", entry))
                return false;
        std::set<std::string> seen;
        for (const std::string& name :
             Strings([&](char* buffer, DWORD size) { return GetPrivateProfileSectionNamesA(buffer, size, file); })) {
            std::string heading;
            if (!Heading(name, &heading))
                return stopped;
            // A second heading of a section gets the first one's entries
            // again: stop here, the project file refuses it.
            if (!seen.insert(Lower(name)).second)
                return true;
            for (const std::string& entry : section(name.c_str()))
                if (!Entry(heading, entry))
                    return false;
        }
        // Any line left is one the profile functions passed over.
        if (NextLine())
            return BlankHeading() || Fail(kIniSyntaxError);
        return errorLine == 0;
    }
};

}  // namespace

bool ParseIni(const std::string& path, const std::string& text, IniText* out, int* errorLine, std::string* error)
{
    *out = IniText();
    // Without a folder the profile functions look in the Windows folder.
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH) {
        *errorLine = 0;
        *error = "cannot read the project file as its path is too long";
        return false;
    }
    Walk walk(text);
    walk.out = out;
    if (walk.Read(full))
        return true;
    *errorLine = walk.errorLine;
    *error = walk.error;
    return false;
}

}  // namespace bv
