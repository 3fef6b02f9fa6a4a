#include "packer/project/ini_lines.h"

namespace bv {

const char kIniSyntaxError[] = "expected [Section], KEY = VALUE or a ; comment";

bool IniLines::Next()
{
    if (pos_ >= text_.size())
        return false;
    std::size_t end = text_.find('\n', pos_);
    end = end == std::string::npos ? text_.size() : end + 1;
    std::size_t begin = pos_;
    pos_ = end;
    if (number++ == 0 && text_.compare(0, 3, "\xEF\xBB\xBF") == 0)
        begin += 3;
    while (begin < end && (text_[begin] == ' ' || text_[begin] == '\t'))
        begin++;
    tooLong = end - begin + 1 > kIniLineBuffer;
    line = std::string_view(text_).substr(begin, end - begin);
    return true;
}

std::string IniLines::TooLongError()
{
    return "line is longer than " + std::to_string(kIniLineBuffer - 2) + " characters";
}

}  // namespace bv
