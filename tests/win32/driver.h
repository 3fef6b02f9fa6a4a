// Drives Windows programs as a user would: starts them in a working
// directory, finds their windows, reads and types control texts, presses
// buttons and answers message boxes by their text. Every wait polls with a
// deadline; a failed wait reports the windows that were on screen.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// The deadline of a wait for what should come: generous, so that a machine
// many times slower than ours still passes; it is spent only on a failure.
constexpr int DEADLINE_MS = 60000;

// A path of the build machine (/work/...) as Wine sees it (Z:\work\...).
std::string WinPath(const std::string& unixPath);

// Files and directories (Windows paths).
void MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// The files below dir (only those in it unless recurse), as paths relative
// to it (DATA\X.DAT), sorted.
std::vector<std::string> FilesBelow(const std::string& dir, bool recurse = true);
// A fresh, empty directory for one test below the work root.
std::string FreshDir(const std::string& name);
// Copies the built installer into dir under the given file name.
std::string PlaceInstaller(const std::string& dir, const std::string& fileName = "SETUP.EXE");

struct Process {
    HANDLE handle = nullptr;
    DWORD id = 0;
    DWORD threadId = 0;   // the first thread
};

// Starts program with the working directory workDir (command line: the
// quoted program path and args); suspended: its first thread waits for
// ResumeThread.
Process Start(const std::string& program, const std::string& workDir, const std::string& args = "",
              bool suspended = false);
// Waits for the process to end; returns its exit code, or -1 on timeout.
long WaitExit(Process& process, int timeoutMs = DEADLINE_MS);
// Ends a process that is still running (cleanup after a failed test).
void Kill(Process& process);

// Top-level windows of a process, visible or not.
std::vector<HWND> TopWindows(DWORD processId);
std::string ClassOf(HWND window);
std::string TextOf(HWND window);
// A description of every top-level window on screen, for failure reports.
std::string DescribeScreen();

// Waits for a top-level window of the process with the class and title
// (empty: any). Returns null and adds a test failure on timeout.
HWND WaitWindow(const Process& process, const std::string& className, const std::string& title,
                int timeoutMs = DEADLINE_MS);
// Waits until no such window exists; false on timeout.
bool WaitNoWindow(const Process& process, const std::string& className, const std::string& title,
                  int timeoutMs = DEADLINE_MS);

// Controls.
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
bool IsItemVisible(HWND dialog, int id);
bool IsItemEnabled(HWND dialog, int id);
RECT ItemRect(HWND dialog, int id);   // in the dialog's client coordinates
// Clicks a button without waiting for what the click starts.
void Click(HWND dialog, int id);
// Sends a key press to a window (posted WM_KEYDOWN/WM_KEYUP).
void PressKey(HWND window, UINT virtualKey);
// Waits until a control's text equals the expected one; false on timeout.
bool WaitItemText(HWND dialog, int id, const std::string& expected, int timeoutMs = DEADLINE_MS);

// Message boxes (caption "Brevant" unless told otherwise).
struct Box {
    HWND window = nullptr;
    std::string text;
    HWND owner = nullptr;
};
Box WaitBox(const Process& process, const std::string& caption = "Brevant", int timeoutMs = DEADLINE_MS);
// Presses the box's button with this label ("OK", "Yes", "No", "Retry", "Cancel").
void Answer(const Box& box, const std::string& label);
// Counts the message boxes the process has open now.
int CountBoxes(const Process& process, const std::string& caption = "Brevant");

// File times and attributes.
FILETIME LastWriteTime(const std::string& path);
DWORD Attributes(const std::string& path);
// The file time that a DOS stamp (local time) stands for.
FILETIME StampToFileTime(std::uint32_t dosStamp);

}  // namespace driver
