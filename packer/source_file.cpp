#include "packer/source_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "packer/archive_writer.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace bv {

#if defined(_WIN32)

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
    // Local time by the rules of that date, as on other systems (not by
    // today's daylight-saving offset, as FileTimeToLocalFileTime would).
    SYSTEMTIME utc, t;
    if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &t)) {
        *error = "cannot read the time of " + file.string();
        return false;
    }
    info->dosStamp = MakeDosStamp(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
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
    std::time_t t = st.st_mtime;
    std::tm local{};
    localtime_r(&t, &local);
    info->dosStamp = MakeDosStamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                  local.tm_min, local.tm_sec);
    return true;
}

#endif

}  // namespace bv
