// The lines of a project file as both INI readers walk them, so that they
// number lines alike and refuse the same long lines.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace bv {

// libinih's line buffer: a line with its line end and terminator must fit.
constexpr std::size_t kIniLineBuffer = 200;

// The message for a line that is no heading, KEY = VALUE, comment or blank.
extern const char kIniSyntaxError[];

class IniLines {
public:
    explicit IniLines(const std::string& text) : text_(text) {}

    // Steps to the next line; false at the end of the text.
    bool Next();

    // The current line without indentation (and, on line 1, without a UTF-8
    // byte order mark), its line end kept.
    std::string_view line;
    int number = 0;
    bool tooLong = false;

    static std::string TooLongError();

private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

}  // namespace bv
