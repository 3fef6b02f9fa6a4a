// How Wine's own Program Manager is kept out of the way.
//
// Wine serves PROGMAN (with the Folders and Shell services) from
// explorer.exe, the process that owns the desktop window: when the desktop
// starts it calls shell32's ShellDDEInit, which registers the services with
// DdeNameService. DDEML answers for each registered service through a
// hidden top-level window of class "WineDdeServerName" in that process.
// A client's DdeConnect finds servers by broadcasting WM_DDE_INITIATE to
// the top-level windows and takes the first that acknowledges; a broadcast
// skips every window styled WS_CHILD without WS_POPUP. So clearing
// WS_POPUP and setting WS_CHILD on explorer's service windows (allowed
// across processes for GWL_STYLE) makes Wine's server invisible to
// DdeConnect without stopping explorer, and setting the styles back makes
// it answer again. Nothing else in explorer looks at those styles.
#include "progman_standin.h"

#include <ddeml.h>

namespace standin {
namespace {

const char PROGMAN_NAME[] = "PROGMAN";
const char SERVICE_WINDOW_CLASS[] = "WineDdeServerName";
StandInServer* activeServer = nullptr;   // the callback has no context argument

HDDEDATA CALLBACK SilentCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectServiceWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && lstrcmpA(name, SERVICE_WINDOW_CLASS) == 0) search->found.push_back(window);
    return TRUE;
}

// The DDE service windows of the process that owns the desktop (explorer).
std::vector<HWND> DesktopServiceWindows()
{
    WindowSearch search{0, {}};
    GetWindowThreadProcessId(GetDesktopWindow(), &search.processId);
    EnumWindows(CollectServiceWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void SetChildStyle(HWND window, bool child)
{
    LONG style = GetWindowLongA(window, GWL_STYLE);
    style = child ? (style & ~WS_POPUP) | WS_CHILD : (style & ~WS_CHILD) | WS_POPUP;
    SetWindowLongA(window, GWL_STYLE, style);
}

}  // namespace

StandInServer::StandInServer(std::vector<Answer> answers) : answers_(std::move(answers))
{
    InitializeCriticalSection(&lock_);
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    activeServer = this;
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
    WaitForSingleObject(ready_, 10000);
}

StandInServer::~StandInServer()
{
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(ready_);
    activeServer = nullptr;
    DeleteCriticalSection(&lock_);
}

// The server thread: registers the service and pumps its messages, in
// which DDEML calls the callback.
DWORD WINAPI StandInServer::Run(void* param)
{
    auto* self = static_cast<StandInServer*>(param);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);   // the thread's queue, for WM_QUIT
    UINT flags = APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS;
    if (DdeInitializeA(&self->instance_, Callback, flags, 0) == DMLERR_NO_ERROR) {
        self->name_ = DdeCreateStringHandleA(self->instance_, PROGMAN_NAME, CP_WINANSI);
        self->serving_ = DdeNameService(self->instance_, self->name_, nullptr, DNS_REGISTER) != nullptr;
    }
    SetEvent(self->ready_);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    if (self->instance_) {
        DdeNameService(self->instance_, self->name_, nullptr, DNS_UNREGISTER);
        DdeFreeStringHandle(self->instance_, self->name_);
        DdeUninitialize(self->instance_);
    }
    return 0;
}

HDDEDATA CALLBACK StandInServer::Callback(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA data, ULONG_PTR,
                                          ULONG_PTR)
{
    StandInServer* self = activeServer;
    switch (type) {
    case XTYP_CONNECT:
        return reinterpret_cast<HDDEDATA>(DdeCmpStringHandles(topic, self->name_) == 0);
    case XTYP_CONNECT_CONFIRM:
        EnterCriticalSection(&self->lock_);
        self->connections_++;
        LeaveCriticalSection(&self->lock_);
        return nullptr;
    case XTYP_EXECUTE:
        return self->OnExecute(data);
    default:
        return nullptr;
    }
}

HDDEDATA StandInServer::OnExecute(HDDEDATA data)
{
    DWORD length = DdeGetData(data, nullptr, 0, 0);
    std::string command(length, '\0');
    if (length) DdeGetData(data, reinterpret_cast<BYTE*>(&command[0]), length, 0);
    EnterCriticalSection(&lock_);
    size_t index = commands_.size();
    commands_.push_back(command);
    LeaveCriticalSection(&lock_);

    Answer answer = index < answers_.size() ? answers_[index] : Accept();
    switch (answer.kind) {
    case Answer::REFUSE:
        return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    case Answer::DELAY:
        Sleep(answer.delayMs);
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    case Answer::ACCEPT:
        break;
    }
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

std::vector<std::string> StandInServer::Commands() const
{
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = commands_;
    LeaveCriticalSection(&lock_);
    return copy;
}

int StandInServer::Connections() const
{
    EnterCriticalSection(&lock_);
    int count = connections_;
    LeaveCriticalSection(&lock_);
    return count;
}

// A client instance lives for one probe only: its hidden DDE windows must
// not linger on a thread that stops pumping messages, or every later
// WM_DDE_INITIATE broadcast would wait for them.
bool ProgmanAnswers()
{
    DWORD instance = 0;
    if (DdeInitializeA(&instance, SilentCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return false;
    HSZ name = DdeCreateStringHandleA(instance, PROGMAN_NAME, CP_WINANSI);
    HCONV conversation = DdeConnect(instance, name, name, nullptr);
    if (conversation) DdeDisconnect(conversation);
    DdeFreeStringHandle(instance, name);
    DdeUninitialize(instance);
    return conversation != nullptr;
}

bool WaitForWineProgman(int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 100) {
        if (ProgmanAnswers()) return true;
        Sleep(100);
    }
    return false;
}

WineProgmanSilenced::WineProgmanSilenced()
{
    if (!WaitForWineProgman()) return;
    windows_ = DesktopServiceWindows();
    for (HWND window : windows_) SetChildStyle(window, true);
}

WineProgmanSilenced::~WineProgmanSilenced()
{
    for (HWND window : windows_) SetChildStyle(window, false);
}

}  // namespace standin
