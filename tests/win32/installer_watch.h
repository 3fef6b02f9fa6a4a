// SETUP.EXE started with the installer hook library inside it: what the
// installer shows and calls, recorded whole and in order, and an install
// pump that the test holds and releases. The hooks are set while the
// program's first thread is still suspended, so nothing escapes the record.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"
#include "installer_hook.h"

namespace driver {

struct HookEvent {
    int kind;   // InstallerHookRecordKind
    long a, b;
    std::string text;
};

class Watched {
public:
    Watched(const std::string& program, const std::string& workDir);
    ~Watched();
    Watched(const Watched&) = delete;
    Watched& operator=(const Watched&) = delete;

    Process process;

    std::vector<HookEvent> Events() const;
    // The texts given to status line control 5, 6 or 7, in order.
    std::vector<std::string> Texts(int control) const;
    // Every status text as "control:text" and every box as "box:text",
    // in the order SETUP.EXE showed them.
    std::vector<std::string> Trail() const;
    std::vector<std::string> DdeCalls() const;
    std::vector<std::string> Drawn() const;
    // How many install steps of this code were let through.
    int Steps(int code) const;

    // A box on screen, with the style SETUP.EXE gave it; fails the test
    // when SETUP.EXE asked for no box with that text.
    Box WaitBox(int timeoutMs = DEADLINE_MS) const;
    UINT StyleOf(const Box& box) const;

    // The install pump. A held pump runs no step of code 2 or 3 (the
    // announce step 1 is posted only once and never held).
    void HoldSteps();
    // Holds after the step that gives the control this text.
    void HoldAfterText(int control, const std::string& text);
    void AllowSteps(int count);
    void Release();
    // Waits until a step is held; returns its code, 0 on timeout.
    int WaitHeld(int timeoutMs = DEADLINE_MS) const;
    // Posts a mark to the window and waits until SETUP.EXE's thread has
    // taken it: every message posted before it has been dispatched.
    bool Mark(HWND window, int timeoutMs = DEADLINE_MS);

private:
    void Wake();
    HANDLE mapping_ = nullptr, wake_ = nullptr;
    InstallerHookBlock* block_ = nullptr;
    HMODULE library_ = nullptr;
    HHOOK hooks_[2] = {};
    UINT markMessage_ = 0;
    long marks_ = 0;
};

}  // namespace driver
