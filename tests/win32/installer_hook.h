/* What the installer hook library (installer_hook.c, loaded into SETUP.EXE
   by the tests) shares with the test that loaded it: one named memory
   block per SETUP.EXE process, made by the test before the process runs.
   The hook appends records to its log, in the order the installer does
   things; the test reads them and controls the hold of the install pump. */
#pragma once
#include <windows.h>

/* The block and the event that wakes a held pump, by SETUP.EXE's process id. */
#define INSTALLER_HOOK_BLOCK "BvInstallerHook.%lu"
#define INSTALLER_HOOK_WAKE "BvInstallerHookWake.%lu"
/* Posted by the test to a window of SETUP.EXE: logged when the installer's
   thread takes it from its queue, so everything posted before it has been
   dispatched by then. */
#define INSTALLER_HOOK_MARK "BvInstallerHookMark"

enum { INSTALLER_HOOK_LOG_SIZE = 1 << 20, INSTALLER_HOOK_TEXT_SIZE = 256 };

enum InstallerHookRecordKind {
    HOOK_STATUS = 1, /* a: control 5, 6 or 7; text: the text it is given */
    HOOK_STEP,       /* a: the code of an install step let through to the dialog */
    HOOK_BOX,        /* a: the owner window; b: the style; text: the box's text */
    HOOK_DRAW,       /* text: drawn with DrawTextA */
    HOOK_DDE,        /* text: one call into the DDE library, with its arguments */
    HOOK_MARK,       /* a: the mark's number */
};

typedef struct {
    LONG kind, a, b, textLength; /* followed by the text, padded to 4 bytes */
} InstallerHookRecord;

typedef struct {
    /* Steps of code 2 and 3 that may still run before the pump is held;
       -1: no hold. The announce step (1) is never held: the pump posts it
       only once. */
    volatile LONG allowed;
    /* The code of the step held now, 0 while none is. */
    volatile LONG heldStep;
    /* Hold after the step that shows holdText on control holdControl
       (0: no such hold). */
    volatile LONG holdControl;
    char holdText[INSTALLER_HOOK_TEXT_SIZE];
    /* Bytes of log written; set after each record is complete. */
    volatile LONG length;
    volatile LONG overflowed;
    char log[INSTALLER_HOOK_LOG_SIZE];
} InstallerHookBlock;
