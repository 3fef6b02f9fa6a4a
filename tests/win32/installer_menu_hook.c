/* Loaded into SETUP.EXE by a message hook of the dialog tests: on the
   registered message "BvListSystemMenu" posted to a window, writes the
   command IDs of that window's system menu, one a line, to the file named
   by the message's first parameter (a global atom). */
#include <stdio.h>
#include <windows.h>

__declspec(dllexport) LRESULT CALLBACK ListSystemMenuHook(int code, WPARAM wParam, LPARAM lParam)
{
    MSG* message = (MSG*)lParam;
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == RegisterWindowMessageA("BvListSystemMenu")) {
        char path[MAX_PATH] = "";
        GlobalGetAtomNameA((ATOM)message->wParam, path, sizeof path);
        FILE* out = fopen(path, "wb");
        if (out) {
            HMENU menu = GetSystemMenu(message->hwnd, FALSE);
            int count = GetMenuItemCount(menu);
            for (int n = 0; n < count; n++) {
                UINT id = GetMenuItemID(menu, n);
                if (id != 0) fprintf(out, "%u\n", id);   /* separators have no command */
            }
            fclose(out);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
