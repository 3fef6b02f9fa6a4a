#include "packer/ini_reader.h"

#include <ini.h>

#include <cstring>

namespace bv {

namespace {

// Feeds libinih one line at a time, counting lines, so that every key is
// known with its line. Indentation is dropped here: libinih would take an
// indented line for the continuation of the value before.
struct LineFeed {
    const std::string* text;
    std::size_t pos = 0;
    int line = 0;
    IniText* out;
    int errorLine = 0;
    std::string error;
};

char* NextLine(char* buffer, int size, void* context)
{
    LineFeed& f = *static_cast<LineFeed*>(context);
    const std::string& text = *f.text;
    if (f.pos >= text.size() || f.errorLine != 0)
        return nullptr;
    std::size_t end = text.find('\n', f.pos);
    end = end == std::string::npos ? text.size() : end + 1;
    std::size_t begin = f.pos;
    f.pos = end;
    f.line++;
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        begin++;
    std::size_t length = end - begin;
    if (length + 1 > static_cast<std::size_t>(size)) {
        f.errorLine = f.line;
        f.error = "line is longer than " + std::to_string(size - 2) + " characters";
        return nullptr;
    }
    std::memcpy(buffer, text.data() + begin, length);
    buffer[length] = '\0';
    if (buffer[0] == '[') {
        const char* close = std::strchr(buffer, ']');
        if (close != nullptr)
            f.out->headings.push_back({std::string(static_cast<const char*>(buffer) + 1, close), f.line});
    }
    return buffer;
}

int TakeEntry(void* context, const char* section, const char* key, const char* value)
{
    LineFeed& f = *static_cast<LineFeed*>(context);
    f.out->entries.push_back({section, key, value, f.line});
    return 1;
}

}  // namespace

bool ParseIni(const std::string& text, IniText* out, int* errorLine, std::string* error)
{
    *out = IniText();
    LineFeed feed;
    feed.text = &text;
    feed.out = out;
    int bad = ini_parse_stream(NextLine, &feed, TakeEntry, &feed);
    if (bad > 0 && (feed.errorLine == 0 || bad < feed.errorLine)) {
        *errorLine = bad;
        *error = "expected [Section], KEY = VALUE or a ; comment";
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
