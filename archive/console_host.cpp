#include "archive/console_host.h"

#include <cstring>
#include <ctime>

#if defined(_WIN32)
#include "archive/win32_file_host.h"
#else
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include "archive/archive_format.h"

int consoleHostVerbose;

// Prints a message text with its CR LF line breaks as plain line ends.
static void PrintText(std::FILE* to, const char* text)
{
    for (const char* p = text; *p; p++)
        if (*p != '\r')
            std::fputc(*p == '\n' ? ' ' : *p, to);
    std::fputc('\n', to);
}

static void ShowStatus(int line, const char* text)
{
    if (consoleHostVerbose) {
        std::printf("[%d] ", line);
        PrintText(stdout, text);
    }
}

static void ShowError(const char* text)
{
    PrintText(stderr, text);
}

static int AskForDisk(const char* prompt)
{
    PrintText(stderr, prompt);
    return 0;
}

#if !defined(_WIN32)

static int PathExists(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

static void MakeDirectory(const char* path)
{
    mkdir(path, 0777);
}

// Read-only here: a regular file its owner may not write.
static std::uint32_t ClearReadOnly(const char* path)
{
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR))
        return 0;
    return chmod(path, (st.st_mode & 07777) | S_IWUSR) == 0 ? static_cast<std::uint32_t>(ATTR_READONLY) : 0;
}

static std::FILE* OpenOutput(const char* path)
{
    return std::fopen(path, "wb");
}

static int SetFileStamp(std::FILE* file, std::uint32_t dosStamp)
{
    // DOS stamps count local time in two-second steps from 1980.
    DosStampParts parts = DecodeDosStamp(dosStamp);
    std::tm t{};
    t.tm_sec = parts.second;
    t.tm_min = parts.minute;
    t.tm_hour = parts.hour;
    t.tm_mday = parts.day;
    t.tm_mon = parts.month - 1;
    t.tm_year = parts.year - 1900;
    t.tm_isdst = -1;
    std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1))
        return 1;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    return futimens(fileno(file), times) == 0 ? 0 : 1;
}

static int SetAttributes(const char* path, std::uint32_t attributes)
{
    // Only the read-only bit has a counterpart here.
    struct stat st;
    if (stat(path, &st) != 0)
        return 1;
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & ATTR_READONLY) ? mode & ~static_cast<mode_t>(0222) : mode | S_IWUSR;
    return chmod(path, mode) == 0 ? 0 : 1;
}

#endif

#if defined(_WIN32)
const ArchiveHost consoleHost = {
    ShowStatus,         ShowError,          AskForDisk,      Win32PathExists,   Win32MakeDirectory,
    Win32ClearReadOnly, Win32OpenOutput, Win32SetFileStamp, Win32SetAttributes,
};
#else
const ArchiveHost consoleHost = {
    ShowStatus,    ShowError,  AskForDisk,   PathExists,    MakeDirectory,
    ClearReadOnly, OpenOutput, SetFileStamp, SetAttributes,
};
#endif
