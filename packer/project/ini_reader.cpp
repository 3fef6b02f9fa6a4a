#include "packer/project/ini_reader.h"

#include <ini.h>

#include <cstring>

#include "packer/project/ini_lines.h"

namespace bv {

static_assert(INI_MAX_LINE == kIniLineBuffer, "libinih's line buffer");

namespace {

// Feeds libinih one line at a time, counting lines, so that every key is
// known with its line. Indentation is dropped here: libinih would take an
// indented line for the continuation of the value before.
struct LineFeed {
    explicit LineFeed(const std::string& text) : lines(text) {}
    IniLines lines;
    IniText* out = nullptr;
    int errorLine = 0;
    std::string error;
};

char* NextLine(char* buffer, int size, void* context)
{
    LineFeed& f = *static_cast<LineFeed*>(context);
    if (f.errorLine != 0 || !f.lines.Next())
        return nullptr;
    const std::string_view line = f.lines.line;
    if (f.lines.tooLong || line.size() + 1 > static_cast<std::size_t>(size)) {
        f.errorLine = f.lines.number;
        f.error = IniLines::TooLongError();
        return nullptr;
    }
    std::memcpy(buffer, line.data(), line.size());
    buffer[line.size()] = '\0';
    if (!line.empty() && line[0] == '[') {
        std::size_t close = line.find(']');
        if (close != std::string_view::npos)
            f.out->headings.push_back({std::string(line.substr(1, close - 1)), f.lines.number});
    }
    return buffer;
}

int TakeEntry(void* context, const char* section, const char* key, const char* value)
{
    LineFeed& f = *static_cast<LineFeed*>(context);
    // libinih also takes KEY: VALUE; the Windows reader does not, so
    // neither does this one (a zero makes libinih report the line).
    std::size_t separator = f.lines.line.find_first_of("=:");
    if (separator == std::string_view::npos || f.lines.line[separator] != '=')
        return 0;
    f.out->entries.push_back({section, key, value, f.lines.number});
    return 1;
}

}  // namespace

bool ParseIni(const std::string&, const std::string& text, IniText* out, int* errorLine, std::string* error)
{
    *out = IniText();
    LineFeed feed(text);
    feed.out = out;
    int bad = ini_parse_stream(NextLine, &feed, TakeEntry, &feed);
    if (bad > 0 && (feed.errorLine == 0 || bad < feed.errorLine)) {
        *errorLine = bad;
        *error = kIniSyntaxError;
        return false;
    }
    if (feed.errorLine != 0) {
        *errorLine = feed.errorLine;
        *error = feed.error;
        return false;
    }
    return bad == 0;
}

}  // namespace bv
