/* Loaded into SETUP.EXE by the installation benchmark through two message
   hooks on the installer's thread. Counts, without changing the installer:
   - the install steps (WM_INSTALL_STEP retrieved by the setup dialog), by
     step code, and the time from each step to the next pump message;
   - the texts given to the status lines (WM_SETTEXT sent to controls 5, 6
     and 7 of the dialog), and how many repeat the text already shown;
   - the idle notifications to the main window, and when the extraction
     layout appears, the first idle after it, the dialog and the main
     window end.
   When the main window is destroyed (or the process ends), writes the
   figures as NAME=VALUE lines to the file named by the environment variable
   BV_STEP_REPORT, which SETUP.EXE inherits from the benchmark. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

enum { WM_INSTALL_STEP = WM_USER + 51, WM_INSTALL_SCRIPT = WM_USER + 52 };
enum { STATUS_FIRST = 5, STATUS_LAST = 7, STATUS_LINES = 3 };

static long steps[4];                  /* by step code 1..3; [0]: any other code */
static LONGLONG stepTicks[4];          /* from each step to the next pump message */
static LONGLONG firstStep, lastPump;   /* first step 1, last pump message seen */
static int openCode = -1;              /* step whose interval is still running */
static int scriptSeen;
static long texts[STATUS_LINES], repeats[STATUS_LINES];
static char shown[STATUS_LINES][256];
static int written;
static LONGLONG layoutShown, mainDestroyed;   /* status line 1 shown; main window destroyed */
static LONGLONG firstIdle, dialogDestroyed;    /* first idle notification after the layout; dialog gone */
static long idles;                             /* idle notifications to the main window */

static LONGLONG Now(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

static int IsClass(HWND window, const char* name)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    return strcmp(className, name) == 0;
}

static void ClosePumpInterval(LONGLONG now)
{
    if (openCode >= 0) stepTicks[openCode] += now - lastPump;
    openCode = -1;
    lastPump = now;
}

static void WriteReport(void)
{
    char path[MAX_PATH] = "";
    long total = steps[0] + steps[1] + steps[2] + steps[3];
    if (written || total == 0) return;   /* nothing counted: not the installer's process */
    written = 1;
    if (!GetEnvironmentVariableA("BV_STEP_REPORT", path, sizeof path)) return;
    FILE* out = fopen(path, "w");
    if (!out) return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double msPerTick = 1000.0 / (double)frequency.QuadPart;
    fprintf(out, "steps_other=%ld\nsteps_1=%ld\nsteps_2=%ld\nsteps_3=%ld\n", steps[0], steps[1], steps[2], steps[3]);
    for (int code = 1; code <= 3; code++) fprintf(out, "ms_after_%d=%.3f\n", code, (double)stepTicks[code] * msPerTick);
    fprintf(out, "pump_ms=%.3f\nscript_reached=%d\n", (double)(lastPump - firstStep) * msPerTick, scriptSeen);
    /* On the performance counter's scale, which all processes share. */
    double secondsPerTick = msPerTick / 1000;
    fprintf(out, "layout_s=%.6f\nfirst_idle_s=%.6f\nfirst_step_s=%.6f\npump_end_s=%.6f\n",
            (double)layoutShown * secondsPerTick, (double)firstIdle * secondsPerTick,
            (double)firstStep * secondsPerTick, (double)lastPump * secondsPerTick);
    fprintf(out, "dialog_destroyed_s=%.6f\nmain_destroyed_s=%.6f\nidles=%ld\n",
            (double)dialogDestroyed * secondsPerTick, (double)mainDestroyed * secondsPerTick, idles);
    for (int line = 0; line < STATUS_LINES; line++)
        fprintf(out, "line%d_texts=%ld\nline%d_repeats=%ld\n", line + 1, texts[line], line + 1, repeats[line]);
    fclose(out);
}

__declspec(dllexport) LRESULT CALLBACK CountStepsHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* message = (MSG*)lParam;
    /* The message first, so that other messages cost the installer nothing. */
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        (message->message == WM_INSTALL_STEP || message->message == WM_INSTALL_SCRIPT) &&
        IsClass(message->hwnd, "#32770")) {
        if (message->message == WM_INSTALL_STEP) {
            LONGLONG now = Now();
            int step = message->wParam >= 1 && message->wParam <= 3 ? (int)message->wParam : 0;
            if (steps[0] + steps[1] + steps[2] + steps[3] == 0) firstStep = now;
            ClosePumpInterval(now);
            steps[step]++;
            openCode = step;
        } else if (message->message == WM_INSTALL_SCRIPT && !scriptSeen) {
            ClosePumpInterval(Now());
            scriptSeen = 1;
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

__declspec(dllexport) LRESULT CALLBACK CountTextsHook(int code, WPARAM wParam, LPARAM lParam)
{
    CWPSTRUCT* call = (CWPSTRUCT*)lParam;
    if (code == HC_ACTION) {
        if (call->message == WM_SETTEXT) {
            int id = GetDlgCtrlID(call->hwnd);
            HWND parent = GetParent(call->hwnd);
            if (id >= STATUS_FIRST && id <= STATUS_LAST && parent && IsClass(parent, "#32770")) {
                int line = id - STATUS_FIRST;
                char text[256] = "";
                if (call->lParam) lstrcpynA(text, (const char*)call->lParam, sizeof text);
                texts[line]++;
                if (strcmp(text, shown[line]) == 0) repeats[line]++;
                memcpy(shown[line], text, sizeof text);
            }
        } else if (call->message == WM_SHOWWINDOW && call->wParam && !layoutShown &&
                   GetDlgCtrlID(call->hwnd) == STATUS_FIRST) {
            layoutShown = Now();   /* the extraction layout */
        } else if (call->message == WM_ENTERIDLE && IsClass(call->hwnd, "BVDECOMP")) {
            idles++;
            if (layoutShown && !firstIdle) firstIdle = Now();
        } else if (call->message == WM_DESTROY && IsClass(call->hwnd, "#32770") && GetDlgItem(call->hwnd, STATUS_FIRST)) {
            dialogDestroyed = Now();
        } else if (call->message == WM_DESTROY && IsClass(call->hwnd, "BVDECOMP")) {
            mainDestroyed = Now();
            WriteReport();
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_DETACH) WriteReport();
    return TRUE;
}
