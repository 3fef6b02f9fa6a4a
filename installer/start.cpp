// The image's entry point. SETUP.EXE links no start-up code of the
// toolchain: the system C runtime (CRTDLL.DLL) sets itself up when it is
// loaded, before this runs, so all that is left is to run the static
// constructors, if any, call WinMain and end through the runtime's exit,
// which closes the streams it still holds.
#include <stdlib.h>
#include <windows.h>

// The linker's list of static constructors: -1, the constructors, 0. They
// run last to first, as the toolchain's own start-up runs them.
extern "C" void (*__CTOR_LIST__[])();

extern "C" __attribute__((force_align_arg_pointer)) void __stdcall SetupEntry()
{
    void (**constructor)() = __CTOR_LIST__ + 1;
    while (*constructor) constructor++;
    while (--constructor != __CTOR_LIST__) (*constructor)();

    char noArguments[] = "";
    exit(WinMain(GetModuleHandleA(nullptr), nullptr, noArguments, SW_SHOWDEFAULT));
}
