#include "driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace driver {
namespace {

const int POLL_MS = 20;

std::string Join(const std::string& dir, const std::string& name)
{
    if (!dir.empty() && dir.back() == '\\') return dir + name;
    return dir + "\\" + name;
}

// Label of a button as shown, without its accelerator ampersand.
std::string Label(HWND button)
{
    std::string text = TextOf(button);
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

struct ChildSearch {
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param)
{
    reinterpret_cast<ChildSearch*>(param)->found.push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
{
    ChildSearch search;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct TopSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<TopSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId == 0 || owner == search->processId) search->found.push_back(window);
    return TRUE;
}

bool Matches(HWND window, const std::string& className, const std::string& title)
{
    return (className.empty() || ClassOf(window) == className) && (title.empty() || TextOf(window) == title);
}

// The box's message text: the static control that is not the icon.
std::string BoxText(HWND box)
{
    for (HWND child : Children(box)) {
        if (ClassOf(child) != "Static") continue;
        if (GetWindowLongA(child, GWL_STYLE) & SS_ICON) continue;
        std::string text = TextOf(child);
        if (!text.empty()) return text;
    }
    return "";
}

}  // namespace

std::string WinPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

void MakeDirs(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(Join(path, "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = Join(path, name);
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else DeleteFileA(full.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << "cannot write " << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::string ReadFile(const std::string& path)
{
    std::string bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    std::fclose(file);
    return bytes;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

void CollectFiles(const std::string& dir, const std::string& prefix, bool recurse, std::vector<std::string>* files)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(Join(dir, "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files->push_back(prefix + name);
        else if (recurse) CollectFiles(Join(dir, name), prefix + name + "\\", true, files);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

std::vector<std::string> FilesBelow(const std::string& dir, bool recurse)
{
    std::vector<std::string> files;
    CollectFiles(dir, "", recurse, &files);
    std::sort(files.begin(), files.end());
    return files;
}

std::string FreshDir(const std::string& name)
{
    std::string dir = WinPath(BV_WORK_ROOT) + "\\" + name;
    RemoveTree(dir);
    MakeDirs(dir);
    return dir;
}

std::string PlaceInstaller(const std::string& dir, const std::string& fileName)
{
    std::string target = Join(dir, fileName);
    CopyFileA(WinPath(BV_INSTALLER).c_str(), target.c_str(), FALSE);
    return target;
}

Process Start(const std::string& program, const std::string& workDir, const std::string& args, bool suspended)
{
    std::string commandLine = "\"" + program + "\"";
    if (!args.empty()) commandLine += " " + args;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    Process process;
    if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0,
                        nullptr, workDir.c_str(), &startup, &info)) {
        ADD_FAILURE() << "cannot start " << program << " in " << workDir << ": error " << GetLastError();
        return process;
    }
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.id = info.dwProcessId;
    process.threadId = info.dwThreadId;
    return process;
}

long WaitExit(Process& process, int timeoutMs)
{
    if (!process.handle) return -1;
    if (WaitForSingleObject(process.handle, timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "process did not end within " << timeoutMs << " ms\n" << DescribeScreen();
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.handle, &code);
    CloseHandle(process.handle);
    process.handle = nullptr;
    return static_cast<long>(code);
}

void Kill(Process& process)
{
    if (!process.handle) return;
    TerminateProcess(process.handle, 99);
    WaitForSingleObject(process.handle, 5000);
    CloseHandle(process.handle);
    process.handle = nullptr;
}

std::vector<HWND> TopWindows(DWORD processId)
{
    TopSearch search{processId, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ClassOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    char text[1024] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             5000, &length))
        return "";
    return std::string(text, static_cast<size_t>(length));
}

std::string DescribeScreen()
{
    std::string report = "windows on screen:\n";
    for (HWND window : TopWindows(0)) {
        if (!IsWindowVisible(window)) continue;
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        char line[600];
        std::snprintf(line, sizeof line, "  pid %lu class \"%s\" title \"%s\"", static_cast<unsigned long>(owner),
                      ClassOf(window).c_str(), TextOf(window).c_str());
        report += line;
        if (ClassOf(window) == "#32770") report += " text \"" + BoxText(window) + "\"";
        report += "\n";
    }
    return report;
}

HWND WaitWindow(const Process& process, const std::string& className, const std::string& title, int timeoutMs)
{
    for (int waited = 0;; waited += POLL_MS) {
        for (HWND window : TopWindows(process.id)) {
            if (IsWindowVisible(window) && Matches(window, className, title)) return window;
        }
        if (waited >= timeoutMs) break;
        Sleep(POLL_MS);
    }
    ADD_FAILURE() << "no window class \"" << className << "\" title \"" << title << "\" within " << timeoutMs
                  << " ms\n" << DescribeScreen();
    return nullptr;
}

bool WaitNoWindow(const Process& process, const std::string& className, const std::string& title, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += POLL_MS) {
        bool present = false;
        for (HWND window : TopWindows(process.id)) present |= IsWindowVisible(window) && Matches(window, className, title);
        if (!present) return true;
        Sleep(POLL_MS);
    }
    return false;
}

std::string ItemText(HWND dialog, int id)
{
    return TextOf(GetDlgItem(dialog, id));
}

void SetItemText(HWND dialog, int id, const std::string& text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &result);
}

bool IsItemVisible(HWND dialog, int id)
{
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

bool IsItemEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

RECT ItemRect(HWND dialog, int id)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Click(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PressKey(HWND window, UINT virtualKey)
{
    PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(window, WM_KEYUP, virtualKey, 0xC0000001);
}

bool WaitItemText(HWND dialog, int id, const std::string& expected, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += POLL_MS) {
        if (ItemText(dialog, id) == expected) return true;
        Sleep(POLL_MS);
    }
    return false;
}

Box WaitBox(const Process& process, const std::string& caption, int timeoutMs)
{
    Box box;
    for (int waited = 0;; waited += POLL_MS) {
        for (HWND window : TopWindows(process.id)) {
            if (IsWindowVisible(window) && Matches(window, "#32770", caption) && !BoxText(window).empty()) {
                box.window = window;
                box.text = BoxText(window);
                box.owner = GetWindow(window, GW_OWNER);
                return box;
            }
        }
        if (waited >= timeoutMs) break;
        Sleep(POLL_MS);
    }
    ADD_FAILURE() << "no message box \"" << caption << "\" within " << timeoutMs << " ms\n" << DescribeScreen();
    return box;
}

void Answer(const Box& box, const std::string& label)
{
    if (!box.window) return;
    for (HWND child : Children(box.window)) {
        if (ClassOf(child) == "Button" && Label(child) == label) {
            PostMessageA(child, BM_CLICK, 0, 0);
            return;
        }
    }
    ADD_FAILURE() << "message box \"" << box.text << "\" has no button " << label;
}

int CountBoxes(const Process& process, const std::string& caption)
{
    int count = 0;
    for (HWND window : TopWindows(process.id)) {
        if (IsWindowVisible(window) && Matches(window, "#32770", caption) && !BoxText(window).empty()) ++count;
    }
    return count;
}

FILETIME LastWriteTime(const std::string& path)
{
    FILETIME time = {};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) time = data.ftLastWriteTime;
    return time;
}

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

FILETIME StampToFileTime(std::uint32_t dosStamp)
{
    FILETIME local = {}, utc = {};
    DosDateTimeToFileTime(static_cast<WORD>(dosStamp >> 16), static_cast<WORD>(dosStamp & 0xFFFF), &local);
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

}  // namespace driver
