// The Program Manager group that SETUP.EXE creates through DDE, driven end
// to end: first against Wine's own Program Manager (the group folder and
// the shortcuts it makes), then against a scripted stand-in server that
// records the exact commands and refuses or delays them. Wine's own server
// is silenced while the stand-in runs and restored afterwards (see
// progman_standin.cpp for how); the suites run in this order, Wine's own
// first, and each stand-in case restores Wine's server when it ends.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver.h"
#include "installer_watch.h"
#include "progman_standin.h"
#include "installer_texts.h"

using namespace driver;

namespace {

const char CREATING_GROUP[] = "Creating program group...";
const int IDC_NEXT = 4, IDC_STATUS2 = 6, IDC_STATUS3 = 7;
// A program that cannot be started: a launch attempt shows "Execution
// failed; error code = 2", so a script ending in it proves whether the
// installer tried the launch.
const char NO_LAUNCH[] = "[PRGEXEC=NOSUCH.EXE]";
// A record that the reader reports as damaged: placed where the script
// must stay unread.
const char UNREAD[] = "[XUNREAD]";
const std::uint32_t STAMP = 0x226F63C0;   // 1997-03-15 12:30:00

std::string Le32(std::uint32_t value)
{
    std::string bytes;
    for (int i = 0; i < 4; i++) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// Volume 0 of an archive whose members are all empty files.
std::string Volume(const std::string& destination, const std::vector<std::string>& emptyMembers,
                   const std::string& script)
{
    std::string volume = "[TARNBOLT 0][DEFDIR=" + destination + "][DFCHANGE=1]";
    for (const std::string& path : emptyMembers) volume += "[PRNAME=" + path + "]" + Le32(0x20) + Le32(STAMP) + Le32(0);
    return volume + "[PRNAME=TARNBOLT_END_FILE_SECTION]" + script;
}

struct Outcome {
    std::vector<std::string> boxes;       // every box but the create question, in order
    std::vector<std::string> statusLine2;
    std::vector<std::string> statusLine3;
    std::vector<std::string> ddeCalls;    // SETUP.EXE's calls into the DDE library
    long exitCode = -1;
};

// Runs SETUP.EXE in dir with the destination its volume names: Next, Yes
// to creating the destination, OK to every other box, until it ends. Every
// box is owned by the setup dialog; the create question asks with Yes and
// No, every other box here is an error with OK.
Outcome Install(const std::string& dir)
{
    Outcome outcome;
    Watched setup(dir + "\\SETUP.EXE", dir);
    HWND dialog = WaitWindow(setup.process, "#32770", "BREVANT");
    if (!dialog) return outcome;
    Click(dialog, IDC_NEXT);
    for (int waited = 0; WaitForSingleObject(setup.process.handle, 20) == WAIT_TIMEOUT; waited += 20) {
        if (waited > 60000) {
            ADD_FAILURE() << "setup did not end\n" << DescribeScreen();
            return outcome;
        }
        if (CountBoxes(setup.process) == 0) continue;
        Box box = setup.WaitBox();
        EXPECT_EQ(box.owner, dialog) << box.text;
        if (box.text == CREATE_QUESTION) {
            EXPECT_EQ(setup.StyleOf(box), static_cast<UINT>(MB_ICONQUESTION | MB_YESNO));
            Answer(box, "Yes");
        } else {
            EXPECT_EQ(setup.StyleOf(box), static_cast<UINT>(MB_ICONERROR | MB_OK)) << box.text;
            outcome.boxes.push_back(box.text);
            Answer(box, "OK");
        }
        for (int i = 0; i < 250 && IsWindow(box.window) && IsWindowVisible(box.window); i++) Sleep(20);
    }
    outcome.statusLine2 = setup.Texts(IDC_STATUS2);
    outcome.statusLine3 = setup.Texts(IDC_STATUS3);
    outcome.ddeCalls = setup.DdeCalls();
    outcome.exitCode = WaitExit(setup.process);
    return outcome;
}

// SETUP.EXE and its volume 0 in dir.
std::string PlaceKit(const std::string& dir, const std::string& volume)
{
    PlaceInstaller(dir);
    WriteFile(dir + "\\SETUP.E00", volume);
    return dir;
}

// What the destination field makes of a path: it shows it in upper case,
// and the installer takes destDir from it.
std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// Waits for a file that a started program writes.
bool WaitFile(const std::string& path, int timeoutMs = 30000)
{
    for (int waited = 0; waited <= timeoutMs; waited += 100) {
        if (Exists(path)) return true;
        Sleep(100);
    }
    return false;
}

// ---------------------------------------------------------------------------
// Against Wine's own Program Manager.

std::string ProgramsFolder()
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

struct Shortcut {
    std::string name;     // file name without .lnk
    std::string target;
};

std::vector<Shortcut> ReadShortcuts(const std::string& folder)
{
    std::vector<Shortcut> shortcuts;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*.lnk").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return shortcuts;
    do {
        std::string file = found.cFileName;
        Shortcut shortcut{file.substr(0, file.size() - 4), ""};
        IShellLinkA* link = nullptr;
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                       reinterpret_cast<void**>(&link))) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            std::wstring wide;
            for (char c : folder + "\\" + file) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
            char target[MAX_PATH] = "";
            if (SUCCEEDED(persist->Load(wide.c_str(), STGM_READ)))
                link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
            shortcut.target = target;
        }
        if (persist) persist->Release();
        if (link) link->Release();
        shortcuts.push_back(shortcut);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return shortcuts;
}

BOOL CALLBACK CloseWindowTitled(HWND window, LPARAM title)
{
    if (IsWindowVisible(window) && TextOf(window) == reinterpret_cast<const char*>(title))
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Wine hands every shortcut it saves to winemenubuilder, which under the
// test bed lingers and holds the test's output open: keep it from starting.
void DisableMenuBuilder()
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "winemenubuilder.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);
}

class WineProgman : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        DisableMenuBuilder();
        CoInitialize(nullptr);
    }
    static void TearDownTestSuite() { CoUninitialize(); }
    void SetUp() override { ASSERT_TRUE(standin::WaitForWineProgman()) << "Wine's Program Manager does not answer"; }
    // CreateGroup opens the group's folder in a window: close it again.
    void TearDown() override
    {
        Sleep(500);
        for (const std::string& group : groups_) EnumWindows(CloseWindowTitled, reinterpret_cast<LPARAM>(group.c_str()));
    }
    std::string GroupFolder(const std::string& group)
    {
        groups_.push_back(group);
        std::string folder = ProgramsFolder() + "\\" + group;
        RemoveTree(folder);
        return folder;
    }
    std::vector<std::string> groups_;
};

struct RealCase {
    const char* name;
    const char* group;
    bool driveRoot;                         // destination D:\ instead of a fresh directory
    std::vector<std::string> members;       // empty files: the items' programs
    std::vector<std::string> items;         // ITEMNAME values
    std::vector<Shortcut> expected;         // shortcut name, target below the destination
};

// What Wine makes of the commands:
// - a title names the shortcut; without one (the command ends in ",)") the
//   shortcut is named after the program file without its extension;
// - the title is not quoted, so "Edit, view" arrives as two arguments, the
//   title "Edit" and an icon path " view" that Wine ignores;
// - on a drive root the target path holds two backslashes in a row, and
//   Wine's path search folds them: the shortcut points at D:\EDIT.EXE.
const RealCase REAL_CASES[] = {
    {"TwoItems", "Tools", false, {"EDIT.EXE", "BIN\\VIEW.EXE"}, {"EDIT.EXE,Editor", "BIN\\VIEW.EXE,Viewer"},
     {{"Editor", "EDIT.EXE"}, {"Viewer", "BIN\\VIEW.EXE"}}},
    {"ItemWithoutTitle", "Untitled", false, {"EDIT.EXE"}, {"EDIT.EXE"}, {{"EDIT", "EDIT.EXE"}}},
    {"TitleWithComma", "Comma", false, {"EDIT.EXE"}, {"EDIT.EXE,Edit, view"}, {{"Edit", "EDIT.EXE"}}},
    {"DriveRoot", "Root", true, {"PMROOT.EXE"}, {"PMROOT.EXE,Root editor"}, {{"Root editor", "PMROOT.EXE"}}},
    {"GroupWithoutItems", "Empty", false, {}, {}, {}},
};

TEST_F(WineProgman, GroupFolderHoldsOneShortcutPerItem)
{
    for (const RealCase& c : REAL_CASES) {
        SCOPED_TRACE(c.name);
        std::string folder = GroupFolder(c.group);
        std::string dir = FreshDir(std::string("pm_real_") + c.name);
        std::string destination = c.driveRoot ? "D:\\" : dir + "\\APP";
        for (const std::string& member : c.members) DeleteFileA(("D:\\" + member).c_str());
        std::string script = "[GROUPNAME=" + std::string(c.group) + "]";
        for (const std::string& item : c.items) script += "[ITEMNAME=" + item + "]";
        script += "[TARNBOLT=END]";
        PlaceKit(dir, Volume(destination, c.members, script));

        Outcome outcome = Install(dir);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_TRUE(outcome.boxes.empty()) << outcome.boxes.front();
        EXPECT_TRUE(Exists(folder)) << folder;
        std::vector<Shortcut> shortcuts = ReadShortcuts(folder);
        ASSERT_EQ(shortcuts.size(), c.expected.size());
        for (const Shortcut& want : c.expected) {
            bool found = false;
            std::string base = c.driveRoot ? "D:\\" : destination + "\\";
            for (const Shortcut& have : shortcuts) {
                if (have.name != want.name) continue;
                found = true;
                EXPECT_EQ(have.target, Upper(base + want.target)) << want.name;
            }
            EXPECT_TRUE(found) << "no shortcut " << want.name;
        }
        for (const std::string& member : c.members) {
            if (c.driveRoot) DeleteFileA(("D:\\" + member).c_str());
        }
    }
}

// ---------------------------------------------------------------------------
// Against the stand-in server, Wine's own silenced.

class StandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        silenced_ = std::make_unique<standin::WineProgmanSilenced>();
        ASSERT_TRUE(silenced_->Silenced()) << "Wine's Program Manager not found";
        ASSERT_FALSE(standin::ProgmanAnswers()) << "Wine's Program Manager still answers";
    }
    void TearDown() override
    {
        silenced_.reset();
        EXPECT_TRUE(standin::WaitForWineProgman()) << "Wine's Program Manager not restored";
    }
    std::unique_ptr<standin::WineProgmanSilenced> silenced_;
};

std::string CreateGroup(const std::string& group)
{
    return "[CreateGroup(" + group + ")]" + std::string(1, '\0');
}

std::string AddItem(const std::string& path, const std::string& title)
{
    return "[AddItem(\"" + path + "\"," + title + ")]" + std::string(1, '\0');
}

std::string Printable(const std::vector<std::string>& commands)
{
    std::string text;
    for (std::string command : commands) {
        for (char& c : command) {
            if (c == '\0') c = '|';
        }
        text += command + "\n";
    }
    return text;
}

// SETUP.EXE's calls into the DDE library, as the hook library records them.
const char DDE_INITIALIZE[] = "DdeInitializeA instance=0 command=0x10";
const char DDE_STRING[] = "DdeCreateStringHandleA same \"PROGMAN\" codepage=1004";
const char DDE_CONNECT[] =
    "DdeConnect service=same topic=same context=cb=36 flags=0 country=0 codepage=0 language=0 security=0 qos=0,0,0,0";
const char DDE_DISCONNECT[] = "DdeDisconnect same";
const char DDE_FREE_STRING[] = "DdeFreeStringHandle same";
const char DDE_UNINITIALIZE[] = "DdeUninitialize same";

// The calls of a conversation that sends these commands: a CF_TEXT data
// handle for each, handed to an execute transaction that waits 10000 ms
// for CreateGroup and 1000 ms for each AddItem.
std::vector<std::string> DdeCallsSending(const std::vector<std::string>& commands)
{
    std::vector<std::string> calls = {DDE_INITIALIZE, DDE_STRING, DDE_CONNECT};
    for (const std::string& command : commands) {
        const bool createGroup = &command == &commands.front();
        calls.push_back("DdeCreateDataHandle length=" + std::to_string(command.size()) +
                        " offset=0 item=none format=1 flags=0x0");
        calls.push_back("DdeClientTransaction length=0xFFFFFFFF conversation=same item=none format=0 type=0x4050 "
                        "timeout=" + std::string(createGroup ? "10000" : "1000") + " result=none");
    }
    for (const char* call : {DDE_DISCONNECT, DDE_FREE_STRING, DDE_UNINITIALIZE}) calls.push_back(call);
    return calls;
}

TEST_F(StandIn, NoServerAnsweringShowsErrorOnceAndLaunchesNothing)
{
    std::string dir = PlaceKit(FreshDir("pm_noserver"), Volume("C:\\PMTEST", {}, "[GROUPNAME=Tools][ITEMNAME=EDIT.EXE,Editor]" +
                                                                          std::string(NO_LAUNCH)));
    Outcome outcome = Install(dir);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.boxes, std::vector<std::string>{GROUP_FAILED});
    EXPECT_EQ(outcome.ddeCalls,
              (std::vector<std::string>{DDE_INITIALIZE, DDE_STRING, DDE_CONNECT, DDE_FREE_STRING, DDE_UNINITIALIZE}));
}

struct CommandCase {
    const char* name;
    std::string destination;   // as the volume names it; an empty one: a fresh directory\APP
    std::string script;        // after the end-of-files record
    std::vector<std::string> expected;   // commands; "@" stands for the destination
    std::vector<standin::Answer> answers = {};   // accepted at once unless told
};

std::string Expand(const std::string& text, const std::string& destination)
{
    std::string out;
    for (char c : text) {
        if (c == '@') out += destination;
        else out += c;
    }
    return out;
}

const std::string LONG_GROUP(256, 'G');

// Every command is accepted: the texts SETUP.EXE sends, byte for byte.
const CommandCase COMMAND_CASES[] = {
    {"ItemsWithAndWithoutTitles", "",
     "[GROUPNAME=Tools][ITEMNAME=BIN\\EDIT.EXE,Editor][ITEMNAME=EDIT.EXE][ITEMNAME=EDIT.EXE,Edit, view]"
     "[TARNBOLT=END]" + std::string(NO_LAUNCH),
     {CreateGroup("Tools"), AddItem("@\\BIN\\EDIT.EXE", "Editor"), AddItem("@\\EDIT.EXE", ""),
      AddItem("@\\EDIT.EXE", "Edit, view")}},
    {"DriveRootGivesTwoBackslashes", "D:\\", "[GROUPNAME=Root][ITEMNAME=EDIT.EXE,Editor][TARNBOLT=END]",
     {CreateGroup("Root"), AddItem("D:\\\\EDIT.EXE", "Editor")}},
    {"GroupNameIsNeitherQuotedNorEscaped", "", "[GROUPNAME=My \"Tools\", (2)][TARNBOLT=END]",
     {CreateGroup("My \"Tools\", (2)")}},
    {"LongestGroupName", "", "[GROUPNAME=" + LONG_GROUP + "][TARNBOLT=END]", {CreateGroup(LONG_GROUP)}},
    {"GroupWithoutItemsStartsNothing", "", "[GROUPNAME=Tools][TARNBOLT=END]" + std::string(NO_LAUNCH),
     {CreateGroup("Tools")}},
    // Late answers within the waits: CreateGroup waits 10 s, AddItem 1 s.
    {"CreateGroupAnsweredAfterThreeSeconds", "", "[GROUPNAME=Tools][ITEMNAME=EDIT.EXE,Editor][TARNBOLT=END]",
     {CreateGroup("Tools"), AddItem("@\\EDIT.EXE", "Editor")}, {standin::Delay(3000)}},
    {"AddItemAnsweredAfterSevenTenthsOfASecond", "", "[GROUPNAME=Tools][ITEMNAME=EDIT.EXE,Editor][TARNBOLT=END]",
     {CreateGroup("Tools"), AddItem("@\\EDIT.EXE", "Editor")}, {standin::Accept(), standin::Delay(700)}},
};

TEST_F(StandIn, CommandTextsByteForByte)
{
    for (const CommandCase& c : COMMAND_CASES) {
        SCOPED_TRACE(c.name);
        std::string dir = FreshDir(std::string("pm_cmd_") + c.name);
        std::string destination = c.destination.empty() ? dir + "\\APP" : c.destination;
        PlaceKit(dir, Volume(destination, {}, c.script));
        std::vector<std::string> expected;
        for (const std::string& command : c.expected) expected.push_back(Expand(command, Upper(destination)));

        standin::StandInServer server(c.answers);
        ASSERT_TRUE(server.Serving());
        Outcome outcome = Install(dir);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_TRUE(outcome.boxes.empty()) << outcome.boxes.front();
        EXPECT_EQ(server.Connections(), 1);
        EXPECT_EQ(server.Commands(), expected) << Printable(server.Commands());
        EXPECT_EQ(outcome.ddeCalls, DdeCallsSending(expected));
    }
}

TEST_F(StandIn, GroupThenProgramSendsOnlyCreateGroupThenStartsTheProgram)
{
    std::string dir = FreshDir("pm_launch");
    std::string destination = dir + "\\APP";
    PlaceKit(dir, Volume(destination, {}, "[GROUPNAME=Tools][PRGEXEC=cmd.exe /c echo started>STARTED.TXT]" +
                                           std::string(UNREAD)));
    standin::StandInServer server;
    Outcome outcome = Install(dir);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.boxes.empty()) << outcome.boxes.front();
    EXPECT_EQ(server.Commands(), std::vector<std::string>{CreateGroup("Tools")});
    EXPECT_TRUE(WaitFile(destination + "\\STARTED.TXT")) << "the program did not start";
}

struct RefusalCase {
    const char* name;
    std::vector<standin::Answer> answers;
    std::string script;
    size_t commandsSent;
    std::vector<std::string> boxes;
};

const std::string THREE_ITEMS = "[ITEMNAME=ONE.EXE,One][ITEMNAME=TWO.EXE,Two][ITEMNAME=THREE.EXE,Three]";
using standin::Accept;
using standin::Delay;
using standin::Refuse;

// Every case ends its script with a launch, or with a record that would be
// reported if it were read: neither may happen.
const RefusalCase REFUSAL_CASES[] = {
    {"CreateGroupRefused", {Refuse()}, "[GROUPNAME=Tools]" + THREE_ITEMS + NO_LAUNCH, 1, {GROUP_FAILED}},
    {"FourthItemRefused", {Accept(), Accept(), Accept(), Accept(), Refuse()},
     "[GROUPNAME=Tools]" + THREE_ITEMS + "[ITEMNAME=FOUR.EXE,Four]" + UNREAD + NO_LAUNCH, 5, {GROUP_FAILED}},
    {"FourthItemTimesOut", {Accept(), Accept(), Accept(), Accept(), Delay(2500)},
     "[GROUPNAME=Tools]" + THREE_ITEMS + "[ITEMNAME=FOUR.EXE,Four]" + UNREAD + NO_LAUNCH, 5, {GROUP_FAILED}},
    {"SecondGroupName", {}, "[GROUPNAME=Tools][ITEMNAME=ONE.EXE,One][GROUPNAME=More]" + std::string(NO_LAUNCH), 2,
     {SOURCE_DAMAGED}},
    {"DamagedItemIsReportedByTheReaderOnly", {}, "[GROUPNAME=Tools][ITEMNAME=ONE.EXE,One][ITEMNAME=]" +
                                                     std::string(NO_LAUNCH), 2, {SOURCE_DAMAGED}},
};

TEST_F(StandIn, RefusalsEndTheListWithOneMessageAndNoLaunch)
{
    for (const RefusalCase& c : REFUSAL_CASES) {
        SCOPED_TRACE(c.name);
        std::string dir = PlaceKit(FreshDir(std::string("pm_refuse_") + c.name), Volume("C:\\PMTEST", {}, c.script));
        standin::StandInServer server(c.answers);
        ASSERT_TRUE(server.Serving());
        Outcome outcome = Install(dir);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.boxes, c.boxes);
        EXPECT_EQ(server.Commands().size(), c.commandsSent) << Printable(server.Commands());
        EXPECT_EQ(outcome.statusLine2, (std::vector<std::string>{"", "", CREATING_GROUP}));
        EXPECT_EQ(outcome.statusLine3, (std::vector<std::string>{"", "", "Tools"}));
    }
}

}  // namespace
