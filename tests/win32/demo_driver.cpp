// Drives the demo installation when no one watches: starts SETUP.EXE in the
// kit folder, accepts the default destination, holds back the second
// volume so that the disk prompt shows the extraction phase, then answers
// the sample program's greeting. Saves a screenshot of each phase as BMP.
//   demo_driver KIT_DIR SHOT_DIR
#include <cstdio>
#include <string>

#include "driver.h"

using namespace driver;

namespace {

// The whole screen as a 24-bit BMP file.
bool SaveScreen(const std::string& path)
{
    HDC screen = GetDC(nullptr);
    int width = GetDeviceCaps(screen, HORZRES), height = GetDeviceCaps(screen, VERTRES);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    int stride = (width * 3 + 3) & ~3;
    std::string pixels(static_cast<size_t>(stride) * height, '\0');
    GetDIBits(memory, bitmap, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    return std::fclose(out) == 0;
}

// Closes the top-level windows titled like the greeting that are not
// boxes; false when there was none.
bool CloseFolderWindows(HWND greeting)
{
    bool closed = false;
    for (HWND window : TopWindows(0)) {
        if (window == greeting || !IsWindowVisible(window) || ClassOf(window) == "#32770") continue;
        if (TextOf(window) != TextOf(greeting)) continue;
        PostMessageA(window, WM_CLOSE, 0, 0);
        closed = true;
    }
    return closed;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "demo: %s\n%s", what, DescribeScreen().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return Fail("usage: demo_driver KIT_DIR SHOT_DIR");
    std::string kit = argv[1], shots = argv[2];
    std::string second = kit + "\\SETUP.E01", held = kit + "\\SETUP.E01.HELD";
    bool holding = MoveFileA(second.c_str(), held.c_str()) != FALSE;

    Process setup = Start(kit + "\\SETUP.EXE", kit);
    HWND dialog = WaitWindow(setup, "#32770", "BREVANT", 60000);
    if (!dialog) return Fail("no setup dialog");
    Sleep(500);
    SaveScreen(shots + "\\phase0-destination.bmp");
    std::printf("demo: destination %s\n", ItemText(dialog, 1).c_str());
    Click(dialog, 4);

    Box box = WaitBox(setup, "Brevant", 60000);
    if (box.text.rfind("The specified directory", 0) == 0) {
        Answer(box, "Yes");
        if (holding) box = WaitBox(setup, "Brevant", 60000);
    }
    if (holding) {
        Sleep(300);
        SaveScreen(shots + "\\phase1-extracting.bmp");
        std::printf("demo: asked \"%s\"\n", box.text.c_str());
        MoveFileA(held.c_str(), second.c_str());
        Answer(box, "Retry");
    }
    // The sample program, started by the install script, greets the user.
    Process anyone;
    Box greeting = WaitBox(anyone, "Brevant Sample", 60000);
    if (!greeting.window) return Fail("the sample program did not start");
    // Wine's Program Manager shows the new group in a folder window of the
    // same title, which opens over the greeting: close it once it is there.
    for (int waited = 0; waited < 5000 && !CloseFolderWindows(greeting.window); waited += 100) Sleep(100);
    Sleep(700);
    SaveScreen(shots + "\\phase2-launched.bmp");
    std::printf("demo: the sample program says \"%s\"\n", greeting.text.c_str());
    Answer(greeting, "OK");
    return WaitExit(setup) == 0 ? 0 : Fail("SETUP.EXE did not end");
}
