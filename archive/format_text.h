// Bounded formatting into a fixed buffer, through the C runtime's own
// formatter. On Windows that is the system runtime's _vsnprintf, which
// leaves a text that does not fit unterminated (and one that exactly fills
// the buffer, too); FormatText always terminates and never writes past size.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdio>

#if defined(_WIN32)
#define BV_FORMAT_CHECK(f, a) __attribute__((__format__(ms_printf, f, a)))
#else
#define BV_FORMAT_CHECK(f, a) __attribute__((__format__(printf, f, a)))
#endif

// Formats into buffer, at most size bytes with the terminating zero, which
// is always written (size must be at least 1). Returns the length of the
// text, or -1 when it did not fit and was cut at size - 1 characters.
BV_FORMAT_CHECK(3, 4)
inline int FormatText(char* buffer, std::size_t size, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
#if defined(_WIN32)
    int length = _vsnprintf(buffer, size, format, args);
#else
    int length = std::vsnprintf(buffer, size, format, args);
#endif
    va_end(args);
    if (length < 0 || static_cast<std::size_t>(length) >= size) {
        buffer[size - 1] = '\0';
        return -1;
    }
    return length;
}
