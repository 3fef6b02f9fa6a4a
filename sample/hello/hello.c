/* The sample product's program: greets the user with the directory it
   was started in, and records it in HELLO.LOG there. */
#include <stdio.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char directory[MAX_PATH], text[MAX_PATH + 64];
    FILE* log;
    (void)instance; (void)previous; (void)show;
    GetCurrentDirectoryA(sizeof directory, directory);
    log = fopen("HELLO.LOG", "w");
    if (log) {
        fprintf(log, "%s\n%s\n", directory, commandLine);
        fclose(log);
    }
    snprintf(text, sizeof text, "The sample was installed in %s.", directory);
    MessageBoxA(NULL, text, "Brevant Sample", MB_ICONINFORMATION);
    return 0;
}
