#include "packer/release/source_file.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace bv {

#if defined(_WIN32)

namespace {

// FILETIME counts 100 ns steps from 1601-01-01; 11644473600 s lie before 1970.
constexpr std::int64_t kFileTimeUnix = 11644473600LL;

}  // namespace

bool StatSourceFile(const std::filesystem::path& file, SourceFileInfo* info, std::string* error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        *error = "cannot read " + file.string() + ": error " + std::to_string(GetLastError());
        return false;
    }
    info->regular = (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    info->size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    info->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    std::uint64_t ticks = static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                          data.ftLastWriteTime.dwLowDateTime;
    info->mtime = static_cast<std::int64_t>(ticks / 10000000) - kFileTimeUnix;
    return true;
}

bool CalendarTime(std::int64_t time, bool utc, std::tm* out)
{
    if (time < -kFileTimeUnix || time > 900000000000LL)
        return false;
    std::uint64_t ticks = static_cast<std::uint64_t>(time + kFileTimeUnix) * 10000000;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME u, t;
    if (!FileTimeToSystemTime(&ft, &u))
        return false;
    if (utc)
        t = u;
    else if (!SystemTimeToTzSpecificLocalTime(nullptr, &u, &t))
        return false;
    *out = std::tm{};
    out->tm_year = t.wYear - 1900;
    out->tm_mon = t.wMonth - 1;
    out->tm_mday = t.wDay;
    out->tm_hour = t.wHour;
    out->tm_min = t.wMinute;
    out->tm_sec = t.wSecond;
    return true;
}

#else

bool StatSourceFile(const std::filesystem::path& file, SourceFileInfo* info, std::string* error)
{
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) {
        *error = "cannot read " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    info->regular = S_ISREG(st.st_mode);
    info->size = static_cast<std::uint64_t>(st.st_size);
    info->readOnly = (st.st_mode & S_IWUSR) == 0;
    info->mtime = static_cast<std::int64_t>(st.st_mtime);
    return true;
}

bool CalendarTime(std::int64_t time, bool utc, std::tm* out)
{
    std::time_t t = static_cast<std::time_t>(time);
    return utc ? gmtime_r(&t, out) != nullptr : localtime_r(&t, out) != nullptr;
}

#endif

}  // namespace bv
