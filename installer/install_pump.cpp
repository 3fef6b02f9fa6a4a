// The install pump: the main window turns each idle notification of the
// setup dialog's modal loop into one step message for the dialog, and the
// dialog runs the step: announce volume 0, open the next member and decode
// its first slice, or decode the member's next slice; then the install
// script, the program group and the launch.
#include "archive/archive.h"
#include "archive/format_text.h"
#include "codec/member_decoder.h"
#include "installer/shell.h"
#include "progman/progman.h"

namespace {

// An install message posted before the Abort question opened would be
// dispatched by the question's own message loop; it waits for the answer
// instead, so that nothing is installed or started while the user is asked.
int DeferWhileAskingAbort(UINT message, WPARAM param)
{
    if (!shell.askingAbort) return 0;
    shell.deferredMessage = message;
    shell.deferredParam = param;
    return 1;
}

// One bounded install step. The decoder sets PumpStep for the step after
// a slice: STEP_CONTINUE while the member has bytes left, else
// STEP_NEXT_MEMBER.
void OnInstallStep(HWND dialog, WPARAM step)
{
    switch (step) {
    case STEP_ANNOUNCE:
        install.filesDone = 0;
        FormatText(install.textBuffer, TEXT_BUFFER_SIZE, STATUS_READING_VOLUME, install.archiveName, 0u);
        ShowStatusLine(1, install.textBuffer);
        break;
    case STEP_NEXT_MEMBER:
        if (BeginMember() != 0) {
            EndDialog(dialog, 0);
        } else if (install.filesDone) {
            install.InstallPhase = PHASE_SCRIPT;
            PostMessageA(dialog, WM_INSTALL_SCRIPT, 0, 0);
        } else if (DecodeMember(0) != 0) {
            EndDialog(dialog, 0);
        }
        break;
    case STEP_CONTINUE:
        if (DecodeMember(1) != 0) EndDialog(dialog, 0);
        break;
    }
}

// The install script's first record decides what follows the members.
void OnInstallScript(HWND dialog)
{
    for (int line = 1; line <= 3; line++) ShowStatusLine(line, "");
    switch (ReadScriptRecord()) {
    case SCRIPT_GROUPNAME:
        if (CreateProgramGroup() == 0)
            PostMessageA(dialog, WM_INSTALL_LAUNCH, 0, 0);
        else
            EndDialog(dialog, 0);
        break;
    case SCRIPT_PRGEXEC:
        PostMessageA(dialog, WM_INSTALL_LAUNCH, 0, 0);
        break;
    case SCRIPT_ITEMNAME:
        ShowBox(MSG_SOURCE_DAMAGED, MB_ICONERROR);
        EndDialog(dialog, 0);
        break;
    default:   // the end record, or a fault already reported
        EndDialog(dialog, 0);
        break;
    }
}

}  // namespace

void ResetInstallPump()
{
    install.InstallPhase = PHASE_DESTINATION;
    install.PumpStep = STEP_NONE;
}

void StartInstallPump()
{
    install.InstallPhase = PHASE_EXTRACT;
    install.PumpStep = STEP_ANNOUNCE;
}

void PostNextInstallStep(HWND dialog)
{
    if (install.InstallPhase != PHASE_EXTRACT) return;
    PostMessageA(dialog, WM_INSTALL_STEP, install.PumpStep, 0);
    if (install.PumpStep < STEP_NEXT_MEMBER) install.PumpStep++;
}

void OnInstallMessage(HWND dialog, UINT message, WPARAM param)
{
    if (DeferWhileAskingAbort(message, param)) return;
    switch (message) {
    case WM_INSTALL_STEP:
        OnInstallStep(dialog, param);
        break;
    case WM_INSTALL_SCRIPT:
        OnInstallScript(dialog);
        break;
    case WM_INSTALL_LAUNCH:
        LaunchProgram();
        EndDialog(dialog, 0);
        break;
    }
}

void ResumeDeferredInstallMessage(HWND dialog)
{
    if (!shell.deferredMessage) return;
    PostMessageA(dialog, shell.deferredMessage, shell.deferredParam, 0);
    shell.deferredMessage = 0;
}
