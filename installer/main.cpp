// Entry point and main window of the installer. The main window is never
// used for output: it owns the setup dialog and receives the dialog's idle
// notifications, which drive the install pump one step at a time.
#include <direct.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive/archive.h"
#include "installer/shell.h"

ShellState shell;

namespace {

const char MAIN_CLASS[] = "BVDECOMP";
const int MAIN_WINDOW_EXTRA_BYTES = 30;   // reserved in the class, never used
// The current directory is taken with at most this many characters,
// terminating zero included.
const int WORKING_DIR_LIMIT = MAX_PATH;
static_assert(WORKING_DIR_LIMIT <= SOURCE_DIR_SIZE, "sourceDir holds any working directory");
// The main window posts itself the step message once, when it is created:
// to the main window it means "open volume 0 and run the dialog".
const UINT WM_INSTALL_START = WM_INSTALL_STEP;
// Why archiveName stayed empty: the box shown instead of the dialog.
const char* nameRefused = nullptr;

// The program's file name without its last extension, upper-cased, into
// archiveName. A name that is empty (a program file named ".EXE") or does
// not fit leaves archiveName empty and says why in nameRefused.
void TakeArchiveName()
{
    char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
    _splitpath(install.textBuffer, drive, dir, name, ext);
    if (name[0] == '\0') {
        nameRefused = MSG_NAME_EMPTY;
        return;
    }
    if (strlen(name) >= sizeof install.archiveName) {
        nameRefused = MSG_NAME_TOO_LONG;
        return;
    }
    strcpy(install.archiveName, name);
    _strupr(install.archiveName);
}

// The working directory, upper-cased, without a trailing backslash.
void TakeSourceDir()
{
    if (!_getcwd(install.sourceDir, WORKING_DIR_LIMIT)) install.sourceDir[0] = '\0';
    _strupr(install.sourceDir);
    size_t length = strlen(install.sourceDir);
    if (length > 0 && install.sourceDir[length - 1] == '\\') install.sourceDir[length - 1] = '\0';
}

void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbWndExtra = MAIN_WINDOW_EXTRA_BYTES;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "BV");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    windowClass.lpszClassName = MAIN_CLASS;
    RegisterClassA(&windowClass);
}

// Opens volume 0 and runs the setup dialog; ends the program either way.
void RunInstallation(HWND window)
{
    install.volumeNumber = 0;
    if (nameRefused) {
        MessageBoxA(window, nameRefused, BOX_CAPTION, MB_ICONERROR);
    } else if (OpenFirstVolume() != 0) {
        MessageBoxA(window, install.textBuffer, BOX_CAPTION, MB_ICONERROR);
    } else {
        DialogBoxParamA(shell.appInstance, SETUP_DIALOG, window, SetupDialogProc, 0);
        CloseArchiveStreams();
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        shell.appInstance = reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance;
        shell.mainWindow = window;
        ResetInstallPump();
        PostMessageA(window, WM_INSTALL_START, 0, 0);
        return 0;
    case WM_INSTALL_START:
        RunInstallation(window);
        return 0;
    case WM_ENTERIDLE:   // the dialog's modal loop found its queue empty
        PostNextInstallStep(reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ShowStatusLine(int line, const char* text)
{
    SendDlgItemMessageA(shell.dialogWindow, IDC_STATUS1 + line - 1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

int ShowBox(const char* text, UINT style)
{
    return MessageBoxA(shell.dialogWindow ? shell.dialogWindow : shell.mainWindow, text, BOX_CAPTION, style);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int)
{
    ResetInstallState();
    UseWin32ArchiveHost();
    GetModuleFileNameA(instance, install.textBuffer, TEXT_BUFFER_SIZE - 1);
    TakeArchiveName();
    TakeSourceDir();
    if (!previous) RegisterMainClass(instance);

    HWND window = CreateWindowExA(0, MAIN_CLASS, BOX_CAPTION, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!window) return 0;   // nothing would ever end the message loop
    ShowWindow(window, SW_SHOWMINIMIZED);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
