// Starts the program that the install script names, from the destination
// directory, and reports a start that the platform refused.
#include <ctype.h>
#include <direct.h>
#include <stdio.h>

#include "archive/format_text.h"
#include "archive/install_state.h"
#include "installer/shell.h"

// 0 when the program was started, 1 when the start failed (reported).
int LaunchProgram()
{
    FormatText(install.textBuffer, TEXT_BUFFER_SIZE, STATUS_EXECUTING, install.recordValue);
    ShowStatusLine(1, install.textBuffer);
    if (install.destDir[1] == ':') _chdrive(toupper(static_cast<unsigned char>(install.destDir[0])) - 'A' + 1);
    _chdir(install.destDir);   // on failure the program starts from the current directory

    int code = static_cast<int>(WinExec(install.recordValue, SW_SHOW));
    if (code >= 32) return 0;
    FormatText(install.textBuffer, TEXT_BUFFER_SIZE, MSG_EXECUTION_FAILED, code);
    ShowBox(install.textBuffer, MB_ICONERROR);
    return 1;
}
