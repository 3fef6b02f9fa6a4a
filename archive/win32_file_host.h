// The file-system side of the archive host on Win32, one implementation
// for the installer's host and the console tools' host: what "exists"
// means for a destination, directories, read-only files in the way, time
// stamps and attribute words of finished members.
#pragma once
#include <cstdint>
#include <cstdio>

// A drive root exists when its drive does; any other path when a directory
// search finds it as a directory, or as a file that is neither hidden nor
// system.
int Win32PathExists(const char* path);
void Win32MakeDirectory(const char* path);
// The attribute word found when the read-only bit was cleared, else 0.
std::uint32_t Win32ClearReadOnly(const char* path);
// Opened with write sharing denied: while one installer writes a file, a
// second one fails to open it instead of writing into it.
std::FILE* Win32OpenOutput(const char* path);
// Last-write time of the open file from a DOS stamp in local time; -1 on
// failure.
int Win32SetFileStamp(std::FILE* file, std::uint32_t dosStamp);
// -1 on failure.
int Win32SetAttributes(const char* path, std::uint32_t attributes);
