// The setup dialog of SETUP.EXE: its template, its layout from the font
// metrics, its system menu, the keys and commands it ignores, the locked
// destination, and the Abort button before and during the extraction.
#include "installer_fixture.h"
#include "installer_texts.h"

using namespace installer_test;

namespace {


bv::ArchiveInput SmallArchive(const std::string& dest, bool allowChange = true)
{
    bv::ArchiveInput input;
    input.defaultDest = dest;
    input.allowChange = allowChange;
    input.members.push_back(Member("README.TXT", Bytes("read me\r\n")));
    return input;
}

// Two members, the second big enough for many install steps: the tests
// hold the pump in its middle, so its size only has to give some slices.
const size_t BIG_SIZE = 400000;

bv::ArchiveInput SlowArchive(const std::string& dest)
{
    bv::ArchiveInput input;
    input.defaultDest = dest;
    input.members.push_back(Member("SMALL.DAT", Bytes("small")));
    input.members.push_back(Member("BIG.DAT", NoiseBytes(BIG_SIZE, 7)));
    return input;
}

struct FontMetrics {
    int cw, ch;
};

// The stock variable-pitch font on this display, as the dialog measures it.
FontMetrics DialogFontMetrics()
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ kept = SelectObject(dc, GetStockObject(ANSI_VAR_FONT));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, kept);
    ReleaseDC(nullptr, dc);
    return {metrics.tmAveCharWidth, metrics.tmHeight + metrics.tmExternalLeading};
}

std::string ToUpper(std::string text)
{
    return Upper(std::move(text));
}

// Reads a zero-terminated UTF-16 string or an ordinal from a dialog template.
std::string TemplateName(const WORD*& at)
{
    static const char* const ATOMS[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (*at == 0xFFFF) {
        WORD atom = at[1];
        at += 2;
        return atom >= 0x80 && atom <= 0x85 ? ATOMS[atom - 0x80] : "#" + std::to_string(atom);
    }
    std::string text;
    while (*at) text += static_cast<char>(*at++);
    ++at;
    return text;
}

struct TemplateItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::string className, text;
};

TEST(SetupDialog, TemplateIsExactlyAsTabled)
{
    HMODULE image = LoadLibraryExA(WinPath(BV_INSTALLER).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    HRSRC found = FindResourceA(image, "DIALOG_1", reinterpret_cast<LPCSTR>(RT_DIALOG));
    ASSERT_NE(found, nullptr);
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(image, found)));
    const DLGTEMPLATE* head = reinterpret_cast<const DLGTEMPLATE*>(bytes);
    EXPECT_EQ(head->style, 0x90CE0000u);
    EXPECT_EQ(head->dwExtendedStyle, 0u);
    EXPECT_EQ(head->x, 17);
    EXPECT_EQ(head->y, 21);
    EXPECT_EQ(head->cx, 204);
    EXPECT_EQ(head->cy, 148);
    ASSERT_EQ(head->cdit, 7);
    const WORD* at = reinterpret_cast<const WORD*>(head + 1);
    EXPECT_EQ(TemplateName(at), "");   // no menu
    EXPECT_EQ(TemplateName(at), "");   // standard dialog class
    EXPECT_EQ(TemplateName(at), "BREVANT");

    const TemplateItem expected[] = {
        {0x50010088, 115, 8, 77, 12, 1, "EDIT", "EDIT"},
        {0x50211103, 118, 33, 72, 72, 2, "LISTBOX", ""},
        {0x40000000, 9, 3, 16, 8, 5, "STATIC", "Text"},
        {0x40000000, 9, 16, 16, 8, 6, "STATIC", "Text"},
        {0x40000000, 9, 32, 16, 8, 7, "STATIC", "Text"},
        {0x50010000, 125, 126, 28, 14, 3, "BUTTON", "Abort"},
        {0x50010001, 165, 126, 26, 14, 4, "BUTTON", "Next"},
    };
    for (const TemplateItem& want : expected) {
        SCOPED_TRACE(want.id);
        at = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(at) + 3) & ~UINT_PTR(3));
        const DLGITEMTEMPLATE* item = reinterpret_cast<const DLGITEMTEMPLATE*>(at);
        EXPECT_EQ(item->style, want.style);
        EXPECT_EQ(item->dwExtendedStyle, 0u);
        EXPECT_EQ(item->x, want.x);
        EXPECT_EQ(item->y, want.y);
        EXPECT_EQ(item->cx, want.cx);
        EXPECT_EQ(item->cy, want.cy);
        EXPECT_EQ(item->id, want.id);
        at = reinterpret_cast<const WORD*>(item + 1);
        EXPECT_EQ(ToUpper(TemplateName(at)), want.className);
        EXPECT_EQ(TemplateName(at), want.text);
        at += 1 + *at / 2;   // creation data
    }
    EXPECT_NE(FindResourceA(image, "BV", reinterpret_cast<LPCSTR>(RT_GROUP_ICON)), nullptr);
    FreeLibrary(image);
}

void ExpectRect(const RECT& rect, int x, int y, int width, int height)
{
    EXPECT_EQ(rect.left, x);
    EXPECT_EQ(rect.top, y);
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
}

COLORREF PixelOf(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

// Size, position and controls follow the font metrics; the banner is cyan
// inside its sunken frame; Abort moves to the middle after the switch.
TEST(SetupDialog, GeometryFollowsTheFontMetrics)
{
    std::string dir = FreshDir("geometry");
    std::string dest = dir + "\\DEST";   // missing: the create question follows Next
    WriteArchive(dir, SlowArchive(dest));
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    const FontMetrics font = DialogFontMetrics();
    const int cw = font.cw, ch = font.ch;

    RECT outer, desktop, client;
    GetWindowRect(setup.dialog, &outer);
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetClientRect(setup.dialog, &client);
    const int width = cw * 60 + 45, height = ch * 13 + 80, w = client.right;
    ExpectRect(outer, (desktop.right - width) / 2, (desktop.bottom - height) / 2, width, height);

    ExpectRect(ItemRect(setup.dialog, EDIT), w - 15 - cw * 30, 15, cw * 30, ch);
    ExpectRect(ItemRect(setup.dialog, LIST), w - 15 - cw * 30, ch + 30, cw * 30, ch * 10);
    ExpectRect(ItemRect(setup.dialog, ABORT), w / 2 - 10 - cw * 12, ch * 11 + 45, cw * 12, ch * 2);
    ExpectRect(ItemRect(setup.dialog, NEXT), w / 2 + 10, ch * 11 + 45, cw * 12, ch * 2);
    ExpectRect(ItemRect(setup.dialog, STATUS1), w - 15 - cw * 30, 15, cw * 30, ch);
    ExpectRect(ItemRect(setup.dialog, STATUS2), w - 15 - cw * 30, ch * 2 + 15, cw * 30, ch);
    ExpectRect(ItemRect(setup.dialog, STATUS3), w - 15 - cw * 30, ch * 3 + 15, cw * 30, ch);
    for (int id : {STATUS1, STATUS2, STATUS3}) {
        EXPECT_FALSE(IsItemVisible(setup.dialog, id));
        EXPECT_EQ(ItemText(setup.dialog, id), "");
    }
    EXPECT_EQ(ItemText(setup.dialog, EDIT), Upper(dest));

    // Banner: cyan from (15, 15) to (cw*30+15, ch*11+30), framed dark grey
    // and black at 13 and 14.
    EXPECT_EQ(PixelOf(setup.dialog, 16, ch * 11 + 29), 0x00FFFF00u);
    EXPECT_EQ(PixelOf(setup.dialog, cw * 30 + 14, ch * 11 + 29), 0x00FFFF00u);
    EXPECT_EQ(PixelOf(setup.dialog, 13, 40), 0x00818181u);
    EXPECT_EQ(PixelOf(setup.dialog, 14, 40), 0x00000000u);
    EXPECT_EQ(PixelOf(setup.dialog, cw * 30 + 17, 40), 0x00FFFFFFu);
    EXPECT_EQ(PixelOf(setup.dialog, cw * 30 + 16, 40), 0x00DDDDDDu);

    setup.watch.HoldSteps();
    Click(setup.dialog, NEXT);
    ExpectBox(setup, "The specified directory do not exist.\r\nDo you want create it?", QUESTION_BOX, "Yes");
    ASSERT_TRUE(setup.WaitExtracting());
    ASSERT_EQ(setup.watch.WaitHeld(), STEP_NEXT_MEMBER);   // the dialog stays while it is looked at
    RECT abort = ItemRect(setup.dialog, ABORT);
    ExpectRect(abort, w / 2 - cw * 6, ch * 11 + 45, cw * 12, ch * 2);
    for (int id : {EDIT, LIST, NEXT}) EXPECT_FALSE(IsItemVisible(setup.dialog, id)) << id;
    for (int id : {STATUS1, STATUS2, STATUS3}) EXPECT_TRUE(IsItemVisible(setup.dialog, id)) << id;
    setup.watch.Release();
    EXPECT_EQ(setup.WaitEnd(), 0);
}

// The system menu is read inside SETUP.EXE by a hook library, since menus
// of another process cannot be read from here.
std::vector<UINT> SystemMenuCommands(const Installer& setup)
{
    std::vector<UINT> commands;
    HMODULE hookLibrary = LoadLibraryA(WinPath(BV_MENU_HOOK).c_str());
    EXPECT_NE(hookLibrary, nullptr);
    if (!hookLibrary) return commands;
    FARPROC found = GetProcAddress(hookLibrary, "ListSystemMenuHook@12");
    if (!found) found = GetProcAddress(hookLibrary, "ListSystemMenuHook");
    auto hookProc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(found));
    EXPECT_NE(hookProc, nullptr);
    DWORD thread = GetWindowThreadProcessId(setup.dialog, nullptr);
    HHOOK hook = hookProc ? SetWindowsHookExA(WH_GETMESSAGE, hookProc, hookLibrary, thread) : nullptr;
    EXPECT_NE(hook, nullptr);
    std::string report = FreshDir("sysmenu_report") + "\\MENU.TXT";
    ATOM atom = GlobalAddAtomA(report.c_str());
    PostMessageA(setup.dialog, RegisterWindowMessageA("BvListSystemMenu"), atom, 0);
    std::string text;
    for (int waited = 0; waited < DEADLINE_MS && text.empty(); waited += 100) {
        Sleep(100);
        text = ReadFile(report);
    }
    if (hook) UnhookWindowsHookEx(hook);
    GlobalDeleteAtom(atom);
    FreeLibrary(hookLibrary);
    size_t start = 0;
    const UINT WINE_ABOUT = 0xF141;   // Wine adds "About Wine"; Windows has no such item
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        UINT id = static_cast<UINT>(std::stoul(text.substr(start, end - start)));
        if (id != WINE_ABOUT) commands.push_back(id);
    }
    return commands;
}

TEST(SetupDialog, SystemMenuHoldsOnlyRestoreMoveAndMinimize)
{
    std::string dir = FreshDir("sysmenu");
    WriteArchive(dir, SmallArchive("C:\\SYSMENU"));
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    EXPECT_EQ(SystemMenuCommands(setup), (std::vector<UINT>{SC_RESTORE, SC_MOVE, SC_MINIMIZE}));
    Click(setup.dialog, ABORT);
    ExpectBox(setup, ABORT_QUESTION, QUESTION_BOX, "Yes");
    EXPECT_EQ(setup.WaitEnd(), 0);
}

// Escape and the close request give a cancel command that is ignored;
// Enter presses Next, the default button.
TEST(SetupDialog, EscapeAndCloseDoNothingEnterPressesNext)
{
    std::string dir = FreshDir("keys");
    std::string dest = dir + "\\DEST";
    WriteArchive(dir, SmallArchive(dest));
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    PressKey(setup.dialog, VK_ESCAPE);
    PostMessageA(setup.dialog, WM_CLOSE, 0, 0);
    PostMessageA(setup.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(setup.Settle());
    EXPECT_TRUE(setup.DialogOpen());
    EXPECT_EQ(CountBoxes(setup.process), 0);

    PressKey(setup.dialog, VK_RETURN);
    ExpectBox(setup, "The specified directory do not exist.\r\nDo you want create it?", QUESTION_BOX, "Yes");
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(ReadFile(dest + "\\README.TXT"), "read me\r\n");
}

TEST(SetupDialog, LockedDestinationInstallsToTheDefault)
{
    std::string dir = FreshDir("locked");
    std::string dest = Upper(dir) + "\\LOCKED";
    MakeDirs(dest);
    WriteArchive(dir, SmallArchive(dest, false));
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    EXPECT_FALSE(IsItemEnabled(setup.dialog, EDIT));
    EXPECT_FALSE(IsItemEnabled(setup.dialog, LIST));
    EXPECT_TRUE(IsItemEnabled(setup.dialog, NEXT));
    EXPECT_EQ(ItemText(setup.dialog, EDIT), dest);
    Click(setup.dialog, NEXT);
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(ReadFile(dest + "\\README.TXT"), "read me\r\n");
}

// No leaves the installation going on where it stopped; Yes ends it and
// keeps what was written. The pump is held in the middle of BIG.DAT
// whenever the test acts, and only the question holds it while it is open.
TEST(SetupDialog, AbortDuringExtraction)
{
    std::string dir = FreshDir("abort");
    std::string dest = dir + "\\DEST";
    MakeDirs(dest);
    bv::ArchiveInput input = SlowArchive(dest);
    WriteArchive(dir, input);
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    // A step that was posted just before the question opened (here posted
    // by hand) waits for the answer and runs after No.
    Click(setup.dialog, ABORT);
    Box first = WaitBoxOf(setup, ABORT_QUESTION, QUESTION_BOX);
    PostMessageA(setup.dialog, WM_USER + 51, STEP_ANNOUNCE, 0);
    ASSERT_TRUE(setup.Settle());   // the step has reached the dialog
    EXPECT_EQ(ItemText(setup.dialog, STATUS1), "");
    Answer(first, "No");
    EXPECT_TRUE(WaitItemText(setup.dialog, STATUS1, "Reading: SETUP.E00"));
    EXPECT_TRUE(setup.DialogOpen());

    setup.HoldInMember("BIG.DAT");
    Click(setup.dialog, NEXT);
    ASSERT_TRUE(setup.WaitHeldInMember("BIG.DAT"));
    Click(setup.dialog, ABORT);
    Box question = WaitBoxOf(setup, ABORT_QUESTION, QUESTION_BOX);
    const int stepsBefore = setup.watch.Steps(STEP_CONTINUE);
    const std::vector<int> percentBefore = Percentages(setup.watch.Texts(STATUS3));
    ASSERT_FALSE(percentBefore.empty());
    setup.watch.AllowSteps(2);   // from now on only the question holds the pump
    ASSERT_TRUE(setup.Settle());
    EXPECT_EQ(setup.watch.Steps(STEP_CONTINUE), stepsBefore) << "a step ran while the question was open";
    Answer(question, "No");
    // The extraction goes on where it stopped: two more slices of BIG.DAT.
    ASSERT_TRUE(setup.WaitHeldInMember("BIG.DAT"));
    EXPECT_EQ(setup.watch.Steps(STEP_CONTINUE), stepsBefore + 2);
    EXPECT_EQ(CountBoxes(setup.process), 0);

    Click(setup.dialog, ABORT);
    ExpectBox(setup, ABORT_QUESTION, QUESTION_BOX, "Yes");
    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(setup.watch.Texts(STATUS1), (std::vector<std::string>{"", "Reading: SETUP.E00", "Reading: SETUP.E00"}));
    EXPECT_EQ(setup.watch.Texts(STATUS2), (std::vector<std::string>{"", "Extracting: SMALL.DAT", "Extracting: BIG.DAT"}));
    // BIG.DAT's percentages rose on from where the question stopped them.
    std::vector<int> percent = Percentages(setup.watch.Texts(STATUS3));
    ASSERT_GT(percent.size(), percentBefore.size());
    EXPECT_GT(percent[percentBefore.size()], percentBefore.back());
    EXPECT_LT(percent.back(), 100);
    EXPECT_EQ(ReadFile(dest + "\\SMALL.DAT"), "small");
    std::string big = ReadFile(dest + "\\BIG.DAT");
    EXPECT_TRUE(Exists(dest + "\\BIG.DAT"));
    EXPECT_LT(big.size(), input.members[1].data.size());
    EXPECT_EQ(big, AsString(input.members[1].data).substr(0, big.size()));
}

// Enter presses Next, the default button, which stays hidden during the
// extraction: pressed before the first member and in the middle of one,
// it neither restarts nor disturbs the installation.
TEST(SetupDialog, EnterDuringExtractionDoesNotRestart)
{
    std::string dir = FreshDir("enter");
    std::string dest = dir + "\\DEST";
    MakeDirs(dest);
    bv::ArchiveInput input = SlowArchive(dest);
    WriteArchive(dir, input);
    Installer setup(dir);
    ASSERT_NE(setup.dialog, nullptr);
    setup.watch.HoldSteps();
    Click(setup.dialog, NEXT);
    ASSERT_EQ(setup.watch.WaitHeld(), STEP_NEXT_MEMBER);
    for (int n = 0; n < 3; n++) PressKey(setup.dialog, VK_RETURN);
    ASSERT_TRUE(setup.Settle());

    setup.HoldInMember("BIG.DAT");
    setup.watch.Release();
    ASSERT_TRUE(setup.WaitHeldInMember("BIG.DAT"));
    for (int n = 0; n < 3; n++) PressKey(setup.dialog, VK_RETURN);
    ASSERT_TRUE(setup.Settle());
    setup.watch.Release();

    EXPECT_EQ(setup.WaitEnd(), 0);
    EXPECT_EQ(CountBoxes(setup.process), 0);
    EXPECT_EQ(setup.watch.Steps(STEP_ANNOUNCE), 1);
    EXPECT_EQ(setup.watch.Texts(STATUS1), (std::vector<std::string>{"", "Reading: SETUP.E00", ""}));
    EXPECT_EQ(setup.watch.Texts(STATUS2),
              (std::vector<std::string>{"", "Extracting: SMALL.DAT", "Extracting: BIG.DAT", ""}));
    EXPECT_EQ(ReadFile(dest + "\\BIG.DAT"), AsString(input.members[1].data));
}

}  // namespace
