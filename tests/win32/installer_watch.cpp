#include "installer_watch.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace driver {
namespace {

const int POLL_MS = 10;

HOOKPROC HookProc(HMODULE library, const char* name)
{
    FARPROC found = GetProcAddress(library, (std::string(name) + "@12").c_str());
    if (!found) found = GetProcAddress(library, name);
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(found));
}

std::string NameFor(const char* format, DWORD processId)
{
    char name[64];
    std::snprintf(name, sizeof name, format, static_cast<unsigned long>(processId));
    return name;
}

}  // namespace

Watched::Watched(const std::string& program, const std::string& workDir)
{
    markMessage_ = RegisterWindowMessageA(INSTALLER_HOOK_MARK);
    process = Start(program, workDir, "", true);
    if (!process.handle) return;
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(InstallerHookBlock),
                                  NameFor(INSTALLER_HOOK_BLOCK, process.id).c_str());
    block_ = mapping_ ? static_cast<InstallerHookBlock*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0)) : nullptr;
    wake_ = CreateEventA(nullptr, FALSE, FALSE, NameFor(INSTALLER_HOOK_WAKE, process.id).c_str());
    EXPECT_NE(block_, nullptr) << "no block shared with SETUP.EXE";
    if (block_) block_->allowed = -1;
    library_ = LoadLibraryA(WinPath(BV_INSTALLER_HOOK).c_str());
    EXPECT_NE(library_, nullptr) << "cannot load the installer hook library";
    if (library_) {
        hooks_[0] = SetWindowsHookExA(WH_GETMESSAGE, HookProc(library_, "InstallerMessageHook"), library_,
                                      process.threadId);
        hooks_[1] = SetWindowsHookExA(WH_CALLWNDPROC, HookProc(library_, "InstallerCallHook"), library_,
                                      process.threadId);
    }
    EXPECT_TRUE(hooks_[0] && hooks_[1]) << "cannot hook SETUP.EXE's thread: error " << GetLastError();
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, process.threadId);
    ResumeThread(thread);
    CloseHandle(thread);
}

Watched::~Watched()
{
    Kill(process);
    for (HHOOK hook : hooks_)
        if (hook) UnhookWindowsHookEx(hook);
    if (library_) FreeLibrary(library_);
    if (block_) UnmapViewOfFile(block_);
    if (mapping_) CloseHandle(mapping_);
    if (wake_) CloseHandle(wake_);
}

std::vector<HookEvent> Watched::Events() const
{
    std::vector<HookEvent> events;
    if (!block_) return events;
    EXPECT_FALSE(block_->overflowed) << "the hook's log overflowed";
    LONG length = InterlockedCompareExchange(const_cast<LONG*>(&block_->length), 0, 0);
    for (LONG at = 0; at + static_cast<LONG>(sizeof(InstallerHookRecord)) <= length;) {
        InstallerHookRecord record;
        std::memcpy(&record, block_->log + at, sizeof record);
        at += sizeof record;
        events.push_back({record.kind, record.a, record.b, std::string(block_->log + at, record.textLength)});
        at += (record.textLength + 3) & ~3;
    }
    return events;
}

std::vector<std::string> Watched::Texts(int control) const
{
    std::vector<std::string> texts;
    for (const HookEvent& event : Events())
        if (event.kind == HOOK_STATUS && event.a == control) texts.push_back(event.text);
    return texts;
}

std::vector<std::string> Watched::Trail() const
{
    std::vector<std::string> trail;
    for (const HookEvent& event : Events()) {
        if (event.kind == HOOK_STATUS) trail.push_back(std::to_string(event.a) + ":" + event.text);
        if (event.kind == HOOK_BOX) trail.push_back("box:" + event.text);
    }
    return trail;
}

std::vector<std::string> Watched::DdeCalls() const
{
    std::vector<std::string> calls;
    for (const HookEvent& event : Events())
        if (event.kind == HOOK_DDE) calls.push_back(event.text);
    return calls;
}

std::vector<std::string> Watched::Drawn() const
{
    std::vector<std::string> texts;
    for (const HookEvent& event : Events())
        if (event.kind == HOOK_DRAW) texts.push_back(event.text);
    return texts;
}

int Watched::Steps(int code) const
{
    int count = 0;
    for (const HookEvent& event : Events()) count += event.kind == HOOK_STEP && event.a == code;
    return count;
}

Box Watched::WaitBox(int timeoutMs) const
{
    return driver::WaitBox(process, "Brevant", timeoutMs);
}

UINT Watched::StyleOf(const Box& box) const
{
    std::vector<HookEvent> events = Events();
    for (auto event = events.rbegin(); event != events.rend(); ++event)
        if (event->kind == HOOK_BOX && event->text == box.text) return static_cast<UINT>(event->b);
    ADD_FAILURE() << "SETUP.EXE asked for no box \"" << box.text << "\"";
    return 0xFFFFFFFF;
}

void Watched::Wake()
{
    if (block_) InterlockedExchange(&block_->heldStep, 0);
    if (wake_) SetEvent(wake_);
}

void Watched::HoldSteps()
{
    if (block_) InterlockedExchange(&block_->allowed, 0);
}

void Watched::HoldAfterText(int control, const std::string& text)
{
    if (!block_) return;
    std::snprintf(block_->holdText, sizeof block_->holdText, "%s", text.c_str());
    InterlockedExchange(&block_->holdControl, control);
}

void Watched::AllowSteps(int count)
{
    if (block_) InterlockedExchange(&block_->allowed, count);
    Wake();
}

void Watched::Release()
{
    AllowSteps(-1);
}

int Watched::WaitHeld(int timeoutMs) const
{
    for (int waited = 0; block_; waited += POLL_MS) {
        LONG code = InterlockedCompareExchange(&block_->heldStep, 0, 0);
        if (code) return code;
        if (waited >= timeoutMs) break;
        Sleep(POLL_MS);
    }
    ADD_FAILURE() << "the install pump was not held within " << timeoutMs << " ms\n" << DescribeScreen();
    return 0;
}

bool Watched::Mark(HWND window, int timeoutMs)
{
    long mark = ++marks_;
    PostMessageA(window, markMessage_, mark, 0);
    for (int waited = 0; waited <= timeoutMs; waited += POLL_MS) {
        for (const HookEvent& event : Events())
            if (event.kind == HOOK_MARK && event.a == mark) return true;
        Sleep(POLL_MS);
    }
    ADD_FAILURE() << "SETUP.EXE did not take mark " << mark << " within " << timeoutMs << " ms\n" << DescribeScreen();
    return false;
}

}  // namespace driver
