// The Win32 side of the archive reader: status lines and boxes of the setup
// dialog and the disk prompt; the file system through the Win32 file host.
#include "archive/archive.h"
#include "archive/win32_file_host.h"
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

const ArchiveHost WIN32_HOST = {
    ShowStatus,         ShowError,          AskForDisk,      Win32PathExists,   Win32MakeDirectory,
    Win32ClearReadOnly, Win32OpenOutput, Win32SetFileStamp, Win32SetAttributes,
};

}  // namespace

void UseWin32ArchiveHost()
{
    archiveHost = &WIN32_HOST;
}
