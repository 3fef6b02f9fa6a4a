#include "archive/win32_file_host.h"

#include <io.h>
#include <share.h>
#include <windows.h>

namespace {

// A drive root has no directory entry of its own, so a directory search
// never finds it.
int IsDriveRoot(const char* path)
{
    return path[0] != '\0' && path[1] == ':' && (path[2] == '\0' || (path[2] == '\\' && path[3] == '\0'));
}

}  // namespace

int Win32PathExists(const char* path)
{
    if (IsDriveRoot(path)) {
        char root[4] = {path[0], ':', '\\', '\0'};
        return GetDriveTypeA(root) > DRIVE_NO_ROOT_DIR;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 1;
    return (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

void Win32MakeDirectory(const char* path)
{
    CreateDirectoryA(path, nullptr);
}

std::uint32_t Win32ClearReadOnly(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return 0;
    return SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) ? attributes : 0;
}

std::FILE* Win32OpenOutput(const char* path)
{
    return _fsopen(path, "wb", _SH_DENYWR);
}

int Win32SetFileStamp(std::FILE* file, std::uint32_t dosStamp)
{
    FILETIME local, universal;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosStamp >> 16), static_cast<WORD>(dosStamp), &local)) return -1;
    if (!LocalFileTimeToFileTime(&local, &universal)) return -1;
    return SetFileTime(handle, nullptr, nullptr, &universal) ? 0 : -1;
}

int Win32SetAttributes(const char* path, std::uint32_t attributes)
{
    return SetFileAttributesA(path, attributes) ? 0 : -1;
}
