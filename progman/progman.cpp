// Program Manager group creation through DDE.
#include "installer/shell.h"

int CreateProgramGroup()
{
    ShowBox("Error creating group.", MB_ICONERROR);
    return 1;
}
