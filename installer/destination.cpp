// The destination directory: browsing drives and directories in the list,
// and the Next command that validates, normalises and creates the
// destination before the extraction starts.
#include <direct.h>
#include <stdio.h>
#include <string.h>

#include "archive/archive.h"
#include "archive/device_name.h"
#include "archive/format_text.h"
#include "installer/shell.h"

namespace {

const UINT DIRECTORY_LIST_FLAGS = DDL_EXCLUSIVE | DDL_DRIVES | DDL_DIRECTORY;   // 0xC010
const int ENTRY_TEXT_LIMIT = 260;   // at most 259 characters

// 1 when a component of the path cannot be a directory of that name: one
// that names a DOS device (its files would go to the device), or one that
// ends in a blank or a dot (the platform trims the name, so the directory
// made and the files opened below it would not match). "." and ".." are
// steps of the path, not names.
int HasUnholdableComponent(const char* path)
{
    const char* part = path;
    for (;;) {
        const char* stop = part;
        while (*stop && *stop != '\\' && *stop != '/') stop++;
        size_t length = static_cast<size_t>(stop - part);
        int step = (length == 1 && part[0] == '.') || (length == 2 && part[0] == '.' && part[1] == '.');
        if (length > 0 && !step && (part[length - 1] == ' ' || part[length - 1] == '.')) return 1;
        if (NamesDosDevice(part, length)) return 1;
        if (*stop == '\0') return 0;
        part = stop + 1;
    }
}

// The edit field's text without its leading white space, up to a line
// feed, into destDir; 0 when it is empty, wild, cannot be parsed or names
// a directory that Windows cannot hold.
int TakeDestinationEntry(HWND dialog)
{
    SendDlgItemMessageA(dialog, IDC_DEST_EDIT, WM_GETTEXT, ENTRY_TEXT_LIMIT, reinterpret_cast<LPARAM>(install.textBuffer));
    if (sscanf(install.textBuffer, " %" SCAN_WIDTH(DEFAULT_DEST_MAX) "[^\n]", install.destDir) != 1) return 0;
    if (strchr(install.destDir, '*') || strchr(install.destDir, '?')) return 0;
    return !PathSyntaxInvalid(install.destDir) && !HasUnholdableComponent(install.destDir);
}

// "A" plus the current drive number (0 = A).
char CurrentDriveLetter()
{
    return static_cast<char>('A' + _getdrive() - 1);
}

}  // namespace

// A double-click on a directory or drive browses there: the platform makes
// it the current directory, refills the list and shows the new path.
void OnDirectoryListCommand(HWND dialog)
{
    if (DlgDirSelectExA(dialog, install.destDir, DEST_DIR_SIZE, IDC_DIR_LIST))
        DlgDirListA(dialog, install.destDir, IDC_DIR_LIST, IDC_DEST_EDIT, DIRECTORY_LIST_FLAGS);
}

// Accepts the destination and starts the extraction. The hidden Next
// button stays the default one, so Enter still sends this command during
// the extraction: once the destination is accepted it does nothing.
void OnNextCommand(HWND dialog)
{
    if (install.InstallPhase != PHASE_DESTINATION) return;
    if (!TakeDestinationEntry(dialog)) {
        ShowBox(MSG_ENTRY_REFUSED, MB_ICONWARNING);
        return;
    }
    if (NormalizeDestination() != 0) return;
    StartInstallPump();
    SwitchToExtractionLayout(dialog);
}

// 1 when the platform cannot parse the path as a file name.
int PathSyntaxInvalid(const char* path)
{
    OFSTRUCT parsed = {};
    return OpenFile(path, &parsed, OF_PARSE) == HFILE_ERROR;
}

// Turns destDir into an absolute path from the root of its drive (the
// current drive when it names none), without a trailing backslash unless
// it is a drive root; asks before creating a missing directory and creates
// every directory on the path. 0 accepted, 1 declined, -1 cannot create.
int NormalizeDestination()
{
    char prefix[4] = {};
    const char* rest = install.destDir;
    if (install.destDir[0] != '\0' && install.destDir[1] == ':') {
        memcpy(prefix, install.destDir, 2);
        rest += 2;
    } else {
        FormatText(prefix, sizeof prefix, "%c:", CurrentDriveLetter());
    }
    if (rest[0] != '\\') strcat(prefix, "\\");
    FormatText(install.textBuffer, TEXT_BUFFER_SIZE, "%s%s", prefix, rest);
    FormatText(install.destDir, DEST_DIR_SIZE, "%s", install.textBuffer);

    int last = static_cast<int>(strlen(install.destDir)) - 1;
    if (install.destDir[last] == '\\' && last > 2) install.destDir[last] = '\0';
    if (last < 3) return 0;   // a drive root: nothing to test or create

    if (!archiveHost->pathExists(install.destDir) &&
        ShowBox(MSG_CREATE_QUESTION, MB_ICONQUESTION | MB_YESNO) == IDNO)
        return 1;
    if (CreateDirectoriesOnPath(install.destDir, 1) != 0) {
        ShowBox(MSG_CANNOT_CREATE, MB_ICONERROR);
        return -1;
    }
    return 0;
}
