// The Win32 side of the archive reader: status lines and boxes of the setup
// dialog, the disk prompt, directories, and finishing a member file.
#include <io.h>
#include <stdio.h>
#include <string.h>

#include "archive/archive.h"
#include "installer/shell.h"

namespace {

void ShowStatus(int line, const char* text)
{
    ShowStatusLine(line, text);
}

void ShowError(const char* text)
{
    ShowBox(text, MB_ICONERROR);
}

int AskForDisk(const char* prompt)
{
    return ShowBox(prompt, MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY;
}

// A drive root has no directory entry of its own, so a directory search
// never finds it; it exists when its drive does.
int IsDriveRoot(const char* path)
{
    return path[0] != '\0' && path[1] == ':' && (path[2] == '\0' || (path[2] == '\\' && path[3] == '\0'));
}

// Directory search for the exact path: a directory, or a file that is
// neither hidden nor system.
int PathExists(const char* path)
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

void MakeDirectory(const char* path)
{
    CreateDirectoryA(path, nullptr);
}

void ClearReadOnly(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Last-write time of the open file from a DOS stamp in local time.
int SetFileStamp(FILE* file, uint32_t dosStamp)
{
    FILETIME local, universal;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosStamp >> 16), static_cast<WORD>(dosStamp), &local)) return -1;
    if (!LocalFileTimeToFileTime(&local, &universal)) return -1;
    return SetFileTime(handle, nullptr, nullptr, &universal) ? 0 : -1;
}

int SetAttributes(const char* path, uint32_t attributes)
{
    return SetFileAttributesA(path, attributes) ? 0 : -1;
}

const ArchiveHost WIN32_HOST = {
    ShowStatus, ShowError, AskForDisk, PathExists, MakeDirectory, ClearReadOnly, SetFileStamp, SetAttributes,
};

}  // namespace

void UseWin32ArchiveHost()
{
    archiveHost = &WIN32_HOST;
}
