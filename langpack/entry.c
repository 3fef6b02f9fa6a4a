/* Kvn_nl, the Dutch language library of Korvane. It carries only resources
 * (the message catalogue and the version block); the host reads them through
 * the resource functions, so the library entry has nothing to do. */
#include <windows.h>

BOOL WINAPI LanguageEntry(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)module;
    (void)reason;
    (void)reserved;
    return TRUE;
}

/* The image must stay movable from its preferred base: this self-referencing
 * word gives it a base relocation table (the code alone needs none). */
__attribute__((used)) static const void *const relocationAnchor = &relocationAnchor;
