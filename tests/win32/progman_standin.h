// A scripted stand-in for Program Manager's DDE server (service and topic
// PROGMAN) that records every execute command and accepts, refuses or
// delays each one; and control over Wine's own Program Manager server,
// which must be silent while the stand-in answers.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace standin {

// How the stand-in answers one execute command.
struct Answer {
    enum Kind { ACCEPT, REFUSE, DELAY } kind = ACCEPT;
    int delayMs = 0;   // DELAY: holds the acknowledgement this long, then accepts
};
inline Answer Accept() { return {Answer::ACCEPT, 0}; }
inline Answer Refuse() { return {Answer::REFUSE, 0}; }
inline Answer Delay(int ms) { return {Answer::DELAY, ms}; }

// Serves PROGMAN from its own thread while it lives. Command n gets
// answers[n]; commands beyond the list are accepted.
class StandInServer {
public:
    explicit StandInServer(std::vector<Answer> answers = {});
    ~StandInServer();
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;

    bool Serving() const { return serving_; }
    // Every execute command received, as its exact bytes (terminating zero
    // included when the client sent one).
    std::vector<std::string> Commands() const;
    int Connections() const;

private:
    static DWORD WINAPI Run(void* self);
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ service,
                                      HDDEDATA data, ULONG_PTR, ULONG_PTR);
    HDDEDATA OnExecute(HDDEDATA data);

    std::vector<Answer> answers_;
    std::vector<std::string> commands_;
    int connections_ = 0;
    mutable CRITICAL_SECTION lock_;
    DWORD instance_ = 0;
    HSZ name_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE ready_ = nullptr;
    volatile bool serving_ = false;
};

// Whether some DDE server answers a PROGMAN conversation now.
bool ProgmanAnswers();

// Silences Wine's own Program Manager server while it lives and restores
// it afterwards. Silenced() is false when the server could not be found.
class WineProgmanSilenced {
public:
    WineProgmanSilenced();
    ~WineProgmanSilenced();
    WineProgmanSilenced(const WineProgmanSilenced&) = delete;
    WineProgmanSilenced& operator=(const WineProgmanSilenced&) = delete;
    bool Silenced() const { return !windows_.empty(); }

private:
    std::vector<HWND> windows_;
};

// Waits until Wine's own server answers (explorer may still be starting).
bool WaitForWineProgman(int timeoutMs = 20000);

}  // namespace standin
