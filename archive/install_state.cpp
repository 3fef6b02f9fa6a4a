#include "archive/install_state.h"

#include <cstring>

InstallState install;

void ResetInstallState()
{
    std::memset(&install, 0, sizeof install);
    install.allowDestChange = 1;
}
