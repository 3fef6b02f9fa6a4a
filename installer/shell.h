// The installer shell: main window, setup dialog, destination and launch.
// Win32 fields of the installer's state live here beside the portable
// InstallState record (archive/install_state.h).
#pragma once
#include <windows.h>

#include "archive/install_state.h"
#include "installer/dialog_controls.h"
#include "installer/installer_messages.h"

// Private window messages.
enum {
    WM_INSTALL_STEP = WM_USER + 51,     // 1075
    WM_INSTALL_SCRIPT = WM_USER + 52,   // 1076
    WM_INSTALL_LAUNCH = WM_USER + 53,   // 1077
};

struct ShellState {
    HINSTANCE appInstance;
    HWND mainWindow;
    HWND dialogWindow;
    HBRUSH backgroundBrush;
    COLORREF backgroundColor;
    int charWidth;
    int lineHeight;
    RECT clientRect;
    // An install message that arrived while the Abort question was open,
    // posted again after No.
    int askingAbort;
    UINT deferredMessage;
    WPARAM deferredParam;
};

extern ShellState shell;

// Sets the text of status line 1, 2 or 3 of the setup dialog.
void ShowStatusLine(int line, const char* text);
// Message box captioned "Brevant", owned by the dialog while it exists.
int ShowBox(const char* text, UINT style);

// Main window (main.cpp).
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Setup dialog (setup_dialog.cpp).
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void DrawSunkenFrame(HDC dc, int left, int top, int right, int bottom);
void SwitchToExtractionLayout(HWND dialog);

// Install pump (install_pump.cpp).
// Phase 0, no step: the destination is being chosen.
void ResetInstallPump();
// Phase 1 from the announce step on: called once the destination is accepted.
void StartInstallPump();
// The dialog's idle notification: in phase 1, posts the current step to the
// dialog; the announce step is posted once, then the next member's.
void PostNextInstallStep(HWND dialog);
// WM_INSTALL_STEP, WM_INSTALL_SCRIPT and WM_INSTALL_LAUNCH of the dialog;
// kept back while the Abort question is open.
void OnInstallMessage(HWND dialog, UINT message, WPARAM param);
// After No to the Abort question: posts the install message kept back.
void ResumeDeferredInstallMessage(HWND dialog);

// Destination (destination.cpp).
void OnDirectoryListCommand(HWND dialog);
void OnNextCommand(HWND dialog);
int PathSyntaxInvalid(const char* path);
int NormalizeDestination();

// Launch (launch.cpp).
int LaunchProgram();

// The Win32 side of the archive seam (win32_host.cpp).
void UseWin32ArchiveHost();
