// The setup dialog: layout from the font metrics, the cyan banner, the
// Abort button and the switch to the extraction layout. The install
// messages it receives are run by the install pump (install_pump.cpp).
#include <string.h>

#include "archive/archive.h"
#include "archive/format_text.h"
#include "installer/shell.h"

namespace {

const COLORREF BANNER_COLOR = 0x00FFFF00;   // cyan
const COLORREF TITLE_COLOR = 0x000000FF;    // red
const COLORREF TEXT_COLOR = 0x00000000;
const UINT DIRECTORY_LIST_FLAGS = DDL_EXCLUSIVE | DDL_DRIVES | DDL_DIRECTORY;   // 0xC010
const int DEST_TEXT_LIMIT = 65;

HFONT DialogFont()
{
    return static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
}

// The light-grey background brush and its colour.
void TakeBackground()
{
    LOGBRUSH description = {};
    shell.backgroundBrush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    GetObjectA(shell.backgroundBrush, sizeof description, &description);
    shell.backgroundColor = description.lbColor;
}

// Only Restore, Move and Minimize remain: the dialog cannot be closed,
// sized or maximised from its system menu.
void TrimSystemMenu(HWND dialog)
{
    HMENU menu = GetSystemMenu(dialog, FALSE);
    DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_TASKLIST, MF_BYCOMMAND);
}

void ReadFontMetrics(HDC dc)
{
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    shell.charWidth = metrics.tmAveCharWidth;
    shell.lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
}

// Sizes the dialog from the font metrics and centres it on the desktop;
// clientRect ends as the dialog's client rectangle.
void SizeAndCentre(HWND dialog)
{
    HDC dc = GetDC(dialog);
    HGDIOBJ keptFont = SelectObject(dc, DialogFont());
    ReadFontMetrics(dc);
    GetWindowRect(GetDesktopWindow(), &shell.clientRect);
    int width = shell.charWidth * 60 + 45;
    int height = shell.lineHeight * 13 + 80;
    SetWindowPos(dialog, nullptr, (shell.clientRect.right - width) / 2, (shell.clientRect.bottom - height) / 2, width,
                 height, SWP_NOZORDER);
    GetClientRect(dialog, &shell.clientRect);
    SelectObject(dc, keptFont);
    ReleaseDC(dialog, dc);
}

HWND PlaceControl(HWND dialog, int id, int x, int y, int width, int height)
{
    HWND control = GetDlgItem(dialog, id);
    SetWindowPos(control, nullptr, x, y, width, height, SWP_NOZORDER);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    return control;
}

// The right-hand column: the edit field and the list, with the hidden
// status lines over the edit field's place; the two buttons below.
void PlaceControls(HWND dialog)
{
    const int cw = shell.charWidth, ch = shell.lineHeight, w = shell.clientRect.right;
    const int column = w - 15 - cw * 30;
    HWND edit = PlaceControl(dialog, IDC_DEST_EDIT, column, 15, cw * 30, ch);
    if (!install.allowDestChange) EnableWindow(edit, FALSE);
    SendMessageA(edit, EM_LIMITTEXT, DEST_TEXT_LIMIT, 0);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    HWND list = PlaceControl(dialog, IDC_DIR_LIST, column, ch + 30, cw * 30, ch * 10);
    if (!install.allowDestChange) EnableWindow(list, FALSE);
    const int statusTops[3] = {15, ch * 2 + 15, ch * 3 + 15};
    for (int line = 0; line < 3; line++) {
        HWND status = PlaceControl(dialog, IDC_STATUS1 + line, column, statusTops[line], cw * 30, ch);
        SendMessageA(status, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    }
    PlaceControl(dialog, IDC_ABORT, w / 2 - 10 - cw * 12, ch * 11 + 45, cw * 12, ch * 2);
    PlaceControl(dialog, IDC_NEXT, w / 2 + 10, ch * 11 + 45, cw * 12, ch * 2);
}

// Lists the current directory's subdirectories and the drives. The listing
// may rewrite its pattern buffer, so the default destination is kept aside.
void ListCurrentDirectory(HWND dialog)
{
    strcpy(install.textBuffer, install.destDir);
    install.destDir[0] = '\0';
    DlgDirListA(dialog, install.destDir, IDC_DIR_LIST, IDC_DEST_EDIT, DIRECTORY_LIST_FLAGS);
    strcpy(install.destDir, install.textBuffer);
}

void InitDialog(HWND dialog)
{
    shell.dialogWindow = dialog;
    TakeBackground();
    TrimSystemMenu(dialog);
    SizeAndCentre(dialog);
    PlaceControls(dialog);
    ListCurrentDirectory(dialog);
    SetDlgItemTextA(dialog, IDC_DEST_EDIT, install.destDir);
}

// The banner title's font: the dialog font at 16 points, bold.
HFONT CreateTitleFont(HDC dc)
{
    LOGFONTA face = {};
    GetObjectA(DialogFont(), sizeof face, &face);
    face.lfHeight = -MulDiv(16, GetDeviceCaps(dc, LOGPIXELSY), 72);
    face.lfWeight = FW_BOLD;
    return CreateFontIndirectA(&face);
}

// Sunken frames around the right-hand column's controls.
void PaintColumnFrames(HDC dc)
{
    const int cw = shell.charWidth, ch = shell.lineHeight, w = shell.clientRect.right;
    const int left = w - 18 - cw * 30, right = w - 13;
    if (install.InstallPhase == PHASE_DESTINATION) {
        DrawSunkenFrame(dc, left, 13, right, ch + 16);
        DrawSunkenFrame(dc, left, ch + 27, right, ch * 11 + 32);
    } else {
        DrawSunkenFrame(dc, left, 13, right, ch * 11 + 32);
    }
}

// The cyan banner: product line, phase text and the red archive title.
void PaintBanner(HDC dc)
{
    const int cw = shell.charWidth, ch = shell.lineHeight;
    RECT banner = {15, 15, cw * 30 + 15, ch * 11 + 30};
    HBRUSH fill = CreateSolidBrush(BANNER_COLOR);
    FillRect(dc, &banner, fill);
    DeleteObject(fill);
    DrawSunkenFrame(dc, 13, 13, cw * 30 + 17, ch * 11 + 32);

    SetBkColor(dc, BANNER_COLOR);
    SetTextColor(dc, TEXT_COLOR);
    DrawTextA(dc, BANNER_TITLE, -1, &banner, DT_CENTER);
    banner.top = banner.bottom - ch * 2;
    DrawTextA(dc, install.InstallPhase == PHASE_DESTINATION ? BANNER_SELECT : BANNER_DECOMPRESS, -1, &banner, 0);

    char title[ARCHIVE_NAME_SIZE + 16];
    FormatText(title, sizeof title, BANNER_ARCHIVE_TITLE, install.archiveName);
    banner.top = ch * 3 + 15;
    HFONT titleFont = CreateTitleFont(dc);
    SelectObject(dc, titleFont);
    SetTextColor(dc, TITLE_COLOR);
    DrawTextA(dc, title, -1, &banner, DT_CENTER);
    SelectObject(dc, DialogFont());
    DeleteObject(titleFont);
}

void PaintDialog(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    HGDIOBJ keptFont = SelectObject(dc, DialogFont());
    PaintColumnFrames(dc);
    PaintBanner(dc);
    SelectObject(dc, keptFont);
    EndPaint(dialog, &paint);
}

void OnAbortCommand(HWND dialog)
{
    shell.askingAbort = 1;
    int answer = ShowBox(MSG_ABORT_QUESTION, MB_ICONQUESTION | MB_YESNO);
    shell.askingAbort = 0;
    if (answer == IDYES)
        EndDialog(dialog, 1);
    else
        ResumeDeferredInstallMessage(dialog);
}

INT_PTR OnCommand(HWND dialog, int id, int code)
{
    if (id == IDC_ABORT && code == BN_CLICKED) {
        OnAbortCommand(dialog);
    } else if (id == IDC_DIR_LIST && code == LBN_DBLCLK) {
        OnDirectoryListCommand(dialog);
    } else if (id == IDC_NEXT && code == BN_CLICKED) {
        OnNextCommand(dialog);
    } else {
        return FALSE;
    }
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDialog(dialog);
        return TRUE;
    case WM_PAINT:
        PaintDialog(dialog);
        return FALSE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), shell.backgroundColor);
        return reinterpret_cast<INT_PTR>(shell.backgroundBrush);
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_INSTALL_STEP:
    case WM_INSTALL_SCRIPT:
    case WM_INSTALL_LAUNCH:
        OnInstallMessage(dialog, message, wParam);
        return TRUE;
    }
    return FALSE;
}

// A two-pixel sunken border: dark grey and white outside, black and light
// grey inside. LineTo leaves out each line's end point.
void DrawSunkenFrame(HDC dc, int left, int top, int right, int bottom)
{
    HPEN white = CreatePen(PS_SOLID, 1, 0x00FFFFFF);
    HPEN darkGrey = CreatePen(PS_SOLID, 1, 0x00818181);
    HPEN lightGrey = CreatePen(PS_SOLID, 1, 0x00DDDDDD);
    HPEN black = CreatePen(PS_SOLID, 1, 0x00000000);

    MoveToEx(dc, left, bottom, nullptr);
    HGDIOBJ keptPen = SelectObject(dc, darkGrey);
    LineTo(dc, left, top);
    LineTo(dc, right, top);
    SelectObject(dc, white);
    LineTo(dc, right, bottom);
    LineTo(dc, left, bottom);

    MoveToEx(dc, left + 1, bottom - 1, nullptr);
    SelectObject(dc, black);
    LineTo(dc, left + 1, top + 1);
    LineTo(dc, right - 1, top + 1);
    SelectObject(dc, lightGrey);
    LineTo(dc, right - 1, bottom - 1);
    LineTo(dc, left + 1, bottom - 1);

    SelectObject(dc, keptPen);
    DeleteObject(white);
    DeleteObject(darkGrey);
    DeleteObject(lightGrey);
    DeleteObject(black);
}

// Status lines in place of the edit field and the list, Abort alone in the
// middle; repainted at once so the new look shows before the first step.
void SwitchToExtractionLayout(HWND dialog)
{
    const int cw = shell.charWidth, ch = shell.lineHeight, w = shell.clientRect.right;
    ShowWindow(GetDlgItem(dialog, IDC_NEXT), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_DIR_LIST), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_DEST_EDIT), SW_HIDE);
    for (int id = IDC_STATUS1; id <= IDC_STATUS3; id++) ShowWindow(GetDlgItem(dialog, id), SW_SHOW);
    SetWindowPos(GetDlgItem(dialog, IDC_ABORT), nullptr, w / 2 - cw * 6, ch * 11 + 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
}
