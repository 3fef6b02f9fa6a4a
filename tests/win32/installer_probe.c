/* Started by the installer's launch tests: records its working directory
   and its command line in LAUNCHED.TXT in that directory. */
#include <stdio.h>
#include <windows.h>

int main(void)
{
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);
    FILE* out = fopen("LAUNCHED.TXT", "wb");
    if (!out) return 1;
    fprintf(out, "%s\n%s", cwd, GetCommandLineA());
    fclose(out);
    return 0;
}
