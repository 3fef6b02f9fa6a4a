/* Loaded into SETUP.EXE by the end-to-end tests through two message hooks
   on its thread, set before the thread runs. Without changing the
   installer it records, in order, into the block the test made for this
   process (installer_hook.h):
   - every text given to the setup dialog's status lines (controls 5, 6, 7);
   - every install step let through to the dialog;
   - every message box: owner, style and text;
   - every text drawn with DrawTextA (the banner);
   - every call into the DDE library, with the arguments that matter;
   - the test's marks, when the thread takes them from its queue.
   It also holds the install pump when the test asks: a step of code 2 or 3
   that arrives while no step is allowed waits until the test allows one or
   input arrives; on input the step is dropped, the dialog handles the
   input, and its next idle notification posts the same step again. The
   boxes, the DDE calls and the drawing are seen by replacing the entries
   of SETUP.EXE's import table. */
#include <windows.h>

#include <ddeml.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "installer_hook.h"

enum { WM_INSTALL_STEP = WM_USER + 51, STATUS_FIRST = 5, STATUS_LAST = 7, NEXT_BUTTON = 4 };

static InstallerHookBlock* block;
static HANDLE wake;
static UINT markMessage;
static CRITICAL_SECTION logLock;

static void Record(LONG kind, LONG a, LONG b, const char* text, int length)
{
    if (!block) return;
    if (!text) text = "";
    if (length < 0) length = (int)strlen(text);
    EnterCriticalSection(&logLock);
    LONG at = block->length, size = (LONG)(sizeof(InstallerHookRecord) + ((length + 3) & ~3));
    if (at + size > INSTALLER_HOOK_LOG_SIZE) {
        block->overflowed = 1;
    } else {
        InstallerHookRecord record = {kind, a, b, length};
        memcpy(block->log + at, &record, sizeof record);
        memcpy(block->log + at + sizeof record, text, (size_t)length);
        InterlockedExchange(&block->length, at + size);
    }
    LeaveCriticalSection(&logLock);
}

static void RecordCall(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Record(HOOK_DDE, 0, 0, text, -1);
}

static int IsSetupDialog(HWND window)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return strcmp(name, "#32770") == 0 && GetDlgItem(window, NEXT_BUTTON) != NULL;
}

/* ---- The install pump -------------------------------------------------- */

/* A step of code 2 or 3 while none is allowed: waits for the test or for
   input. Returns 1 when the step may run, 0 when it is dropped. */
static int WaitWhileHeld(LONG code)
{
    InterlockedExchange(&block->heldStep, code);
    if (block->allowed == 0) MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (block->allowed == 0) return 0;
    InterlockedExchange(&block->heldStep, 0);
    return 1;
}

__declspec(dllexport) LRESULT CALLBACK InstallerMessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* message = (MSG*)lParam;
    if (block && code == HC_ACTION && wParam == PM_REMOVE) {
        if (message->message == WM_INSTALL_STEP && IsSetupDialog(message->hwnd)) {
            LONG step = (LONG)message->wParam;
            if (step >= 2 && !WaitWhileHeld(step)) {
                message->message = WM_NULL;
            } else {
                if (step >= 2 && block->allowed > 0) InterlockedDecrement(&block->allowed);
                Record(HOOK_STEP, step, 0, NULL, 0);
            }
        } else if (message->message == markMessage) {
            Record(HOOK_MARK, (LONG)message->wParam, 0, NULL, 0);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

/* ---- The status lines ----------------------------------------------------- */

__declspec(dllexport) LRESULT CALLBACK InstallerCallHook(int code, WPARAM wParam, LPARAM lParam)
{
    CWPSTRUCT* call = (CWPSTRUCT*)lParam;
    if (block && code == HC_ACTION && call->message == WM_SETTEXT) {
        int id = GetDlgCtrlID(call->hwnd);
        if (id >= STATUS_FIRST && id <= STATUS_LAST && IsSetupDialog(GetParent(call->hwnd))) {
            const char* text = call->lParam ? (const char*)call->lParam : "";
            Record(HOOK_STATUS, id, 0, text, -1);
            if (block->holdControl == id && strcmp(block->holdText, text) == 0) {
                block->holdControl = 0;
                InterlockedExchange(&block->allowed, 0);
            }
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

/* ---- Calls through SETUP.EXE's import table -------------------------------- */

static int(WINAPI* realMessageBoxA)(HWND, LPCSTR, LPCSTR, UINT);
static int(WINAPI* realDrawTextA)(HDC, LPCSTR, int, LPRECT, UINT);
static UINT(WINAPI* realDdeInitializeA)(LPDWORD, PFNCALLBACK, DWORD, DWORD);
static HSZ(WINAPI* realDdeCreateStringHandleA)(DWORD, LPCSTR, int);
static HCONV(WINAPI* realDdeConnect)(DWORD, HSZ, HSZ, PCONVCONTEXT);
static HDDEDATA(WINAPI* realDdeCreateDataHandle)(DWORD, LPBYTE, DWORD, DWORD, HSZ, UINT, UINT);
static HDDEDATA(WINAPI* realDdeClientTransaction)(LPBYTE, DWORD, HCONV, HSZ, UINT, UINT, DWORD, LPDWORD);
static BOOL(WINAPI* realDdeDisconnect)(HCONV);
static BOOL(WINAPI* realDdeFreeStringHandle)(DWORD, HSZ);
static BOOL(WINAPI* realDdeUninitialize)(DWORD);

/* The handles that the calls made, so that later calls can be checked
   against them. */
static DWORD ddeInstance;
static HSZ ddeString;
static HCONV ddeConversation;

static const char* Same(const void* handle, const void* made)
{
    return handle == made ? "same" : "other";
}

static int WINAPI LoggedMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    Record(HOOK_BOX, (LONG)(LONG_PTR)owner, (LONG)style, text, -1);
    return realMessageBoxA(owner, text, caption, style);
}

static int WINAPI LoggedDrawTextA(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    Record(HOOK_DRAW, (LONG)format, 0, text, count);
    return realDrawTextA(dc, text, count, rect, format);
}

static UINT WINAPI LoggedDdeInitializeA(LPDWORD instance, PFNCALLBACK callback, DWORD command, DWORD reserved)
{
    DWORD before = *instance;
    UINT result = realDdeInitializeA(instance, callback, command, reserved);
    ddeInstance = *instance;
    RecordCall("DdeInitializeA instance=%lu command=0x%lX", (unsigned long)before, (unsigned long)command);
    return result;
}

static HSZ WINAPI LoggedDdeCreateStringHandleA(DWORD instance, LPCSTR text, int codePage)
{
    ddeString = realDdeCreateStringHandleA(instance, text, codePage);
    RecordCall("DdeCreateStringHandleA %s \"%s\" codepage=%d", Same((void*)(ULONG_PTR)instance,
               (void*)(ULONG_PTR)ddeInstance), text, codePage);
    return ddeString;
}

static HCONV WINAPI LoggedDdeConnect(DWORD instance, HSZ service, HSZ topic, PCONVCONTEXT context)
{
    char described[160] = "null";
    if (context)
        snprintf(described, sizeof described, "cb=%u flags=%u country=%u codepage=%d language=%lu security=%lu qos=%lu,%d,%d,%d",
                 context->cb, context->wFlags, context->wCountryID, context->iCodePage, (unsigned long)context->dwLangID,
                 (unsigned long)context->dwSecurity, (unsigned long)context->qos.Length, context->qos.ImpersonationLevel,
                 context->qos.ContextTrackingMode, context->qos.EffectiveOnly);
    ddeConversation = realDdeConnect(instance, service, topic, context);
    RecordCall("DdeConnect service=%s topic=%s context=%s", Same(service, ddeString), Same(topic, ddeString), described);
    return ddeConversation;
}

static HDDEDATA WINAPI LoggedDdeCreateDataHandle(DWORD instance, LPBYTE bytes, DWORD length, DWORD offset, HSZ item,
                                                 UINT format, UINT flags)
{
    RecordCall("DdeCreateDataHandle length=%lu offset=%lu item=%s format=%u flags=0x%X", (unsigned long)length,
               (unsigned long)offset, item ? "set" : "none", format, flags);
    return realDdeCreateDataHandle(instance, bytes, length, offset, item, format, flags);
}

static HDDEDATA WINAPI LoggedDdeClientTransaction(LPBYTE data, DWORD length, HCONV conversation, HSZ item, UINT format,
                                                  UINT type, DWORD timeout, LPDWORD result)
{
    RecordCall("DdeClientTransaction length=0x%lX conversation=%s item=%s format=%u type=0x%X timeout=%lu result=%s",
               (unsigned long)length, Same(conversation, ddeConversation), item ? "set" : "none", format, type,
               (unsigned long)timeout, result ? "set" : "none");
    return realDdeClientTransaction(data, length, conversation, item, format, type, timeout, result);
}

static BOOL WINAPI LoggedDdeDisconnect(HCONV conversation)
{
    RecordCall("DdeDisconnect %s", Same(conversation, ddeConversation));
    return realDdeDisconnect(conversation);
}

static BOOL WINAPI LoggedDdeFreeStringHandle(DWORD instance, HSZ text)
{
    RecordCall("DdeFreeStringHandle %s", Same(text, ddeString));
    return realDdeFreeStringHandle(instance, text);
}

static BOOL WINAPI LoggedDdeUninitialize(DWORD instance)
{
    RecordCall("DdeUninitialize %s", Same((void*)(ULONG_PTR)instance, (void*)(ULONG_PTR)ddeInstance));
    return realDdeUninitialize(instance);
}

/* Points the program's import of user32's function name at replacement. */
static void Replace(const char* name, void* replacement, void* original)
{
    BYTE* base = (BYTE*)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return;
    for (IMAGE_IMPORT_DESCRIPTOR* dll = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports.VirtualAddress); dll->Name; dll++) {
        if (lstrcmpiA((const char*)(base + dll->Name), "user32.dll") != 0 || !dll->OriginalFirstThunk) continue;
        IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = (IMAGE_THUNK_DATA*)(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            if (strcmp((const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name, name) != 0) continue;
            DWORD kept;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &kept);
            *(ULONG_PTR*)original = slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, kept, &kept);
        }
    }
}

static void ReplaceImports(void)
{
    Replace("MessageBoxA", (void*)LoggedMessageBoxA, &realMessageBoxA);
    Replace("DrawTextA", (void*)LoggedDrawTextA, &realDrawTextA);
    Replace("DdeInitializeA", (void*)LoggedDdeInitializeA, &realDdeInitializeA);
    Replace("DdeCreateStringHandleA", (void*)LoggedDdeCreateStringHandleA, &realDdeCreateStringHandleA);
    Replace("DdeConnect", (void*)LoggedDdeConnect, &realDdeConnect);
    Replace("DdeCreateDataHandle", (void*)LoggedDdeCreateDataHandle, &realDdeCreateDataHandle);
    Replace("DdeClientTransaction", (void*)LoggedDdeClientTransaction, &realDdeClientTransaction);
    Replace("DdeDisconnect", (void*)LoggedDdeDisconnect, &realDdeDisconnect);
    Replace("DdeFreeStringHandle", (void*)LoggedDdeFreeStringHandle, &realDdeFreeStringHandle);
    Replace("DdeUninitialize", (void*)LoggedDdeUninitialize, &realDdeUninitialize);
}

/* Only a process for which a test made a block is watched: the test that
   loads this library to set the hooks is not. */
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char name[64];
    snprintf(name, sizeof name, INSTALLER_HOOK_BLOCK, (unsigned long)GetCurrentProcessId());
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!mapping) return TRUE;
    block = (InstallerHookBlock*)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof *block);
    if (!block) return TRUE;
    snprintf(name, sizeof name, INSTALLER_HOOK_WAKE, (unsigned long)GetCurrentProcessId());
    wake = OpenEventA(EVENT_ALL_ACCESS, FALSE, name);
    markMessage = RegisterWindowMessageA(INSTALLER_HOOK_MARK);
    InitializeCriticalSection(&logLock);
    ReplaceImports();
    return TRUE;
}
