// Plays a few scenes of the game in a real window and saves the screen after each, for
// the README: tools/screenshots.sh turns them into PNG files under docs/.
#include "app/app.h"
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "notes/notes.h"
#include "resources/resource.h"
#include <stdio.h>
#include <string>

static std::string outFolder = ".";

// Saves the whole screen as a 24-bit BMP: dialogs over the game are part of the picture.
static void saveScreen(const char* name)
{
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits;
    HBITMAP dib = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
    HDC screen = GetDC(0), memory = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    int stride = ((width * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * height;
    FILE* out = fopen((outFolder + "\\" + name + ".bmp").c_str(), "wb");
    fwrite(&file, sizeof file, 1, out);
    fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    fwrite(bits, stride * height, 1, out);
    fclose(out);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    DeleteObject(dib);
}

static void pump()
{
    MSG msg;
    for (int round = 0; round < 5; round++) {
        while (PeekMessageA(&msg, 0, 0, WM_TIMER - 1, PM_REMOVE) ||
               PeekMessageA(&msg, 0, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE)) {
            if (keyboardDialog && IsDialogMessageA(keyboardDialog, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(30);
    }
}

static void tick(UINT timer, int count)
{
    for (int i = 0; i < count; i++) SendMessageA(mainWindow, WM_TIMER, timer, 0);
}

// Scenes are played by sent ticks alone: the game's own timers and the posted start of
// the next turn are taken out of the way.
static void quiet()
{
    for (UINT t = TIMER_SCROLL; t <= TIMER_WALKER; t++) KillTimer(mainWindow, t);
    MSG msg;
    while (PeekMessageA(&msg, mainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {}
    while (PeekMessageA(&msg, mainWindow, WM_TIMER, WM_TIMER, PM_REMOVE)) {}
}

static void command(int id)
{
    SendMessageA(mainWindow, WM_COMMAND, id, 0);
    quiet();
}

static void answer(int note)
{
    SendMessageA(mainWindow, WM_SCREEN_KEY, note, 0);
    quiet();
}

// Shoots a modal dialog from inside its own loop, then closes it.
static const char* modalShot;
static void CALLBACK shootModal(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = GetActiveWindow();
    if (!dialog || dialog == mainWindow) return;
    KillTimer(0, id);
    saveScreen(modalShot);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

static void shootDialog(int id, const char* name)
{
    modalShot = name;
    SetTimer(0, 0, 300, shootModal);
    command(id);
    pump();
}

int main(int argc, char** argv)
{
    if (argc > 1) outFolder = argv[1];
    HINSTANCE instance = GetModuleHandleA(0);
    registerMainClass(instance);
    initInstance(instance, SW_SHOWNORMAL);
    for (UINT t = TIMER_SCROLL; t <= TIMER_WALKER; t++) KillTimer(mainWindow, t);
    pump();
    saveScreen("first-paint");

    randomSeed(11);
    for (int i = 0; i < 6; i++) {                  // a few right answers first
        command(IDM_START);
        tick(TIMER_SCROLL, 20 + i * 7);
        answer(targetNote);
        tick(TIMER_SCROLL, 1);
        tick(TIMER_PAUSE, 1);
        quiet();
    }
    command(IDM_START);
    tick(TIMER_SCROLL, 90);
    pump();
    saveScreen("turn");

    answer(targetNote);
    tick(TIMER_SCROLL, 1);
    pump();
    saveScreen("happy");
    tick(TIMER_PAUSE, 1);
    quiet();

    command(IDM_START);
    while (noteState != DRAW_MAD) tick(TIMER_SCROLL, 1);     // the note crosses x = 100
    quiet();
    pump();
    saveScreen("mad");
    tick(TIMER_PAUSE, 1);
    quiet();

    command(IDM_START);
    while (scoreRowX <= screenWidth - 30 - SCORE_SLOT) {
        drawScoreMark(scoreRowX, scoreRowY, 1);
        scoreRowX += SCORE_SLOT;
    }
    tick(TIMER_SCROLL, 60);
    answer(targetNote);                            // fills the row: the walker sets off
    tick(TIMER_WALKER, 150);
    pump();
    saveScreen("walker");
    while (walkerX != screenWidth) tick(TIMER_WALKER, 1);
    quiet();

    for (int i = 0; i < 3; i++) {
        command(IDM_START);
        tick(TIMER_SCROLL, 30);
        answer(targetNote);
        tick(TIMER_SCROLL, 1);
        tick(TIMER_PAUSE, 1);
        quiet();
    }
    command(IDM_START);
    tick(TIMER_SCROLL, 70);
    command(IDM_KEYBOARD);
    pump();
    saveScreen("keyboard");
    SendMessageA(keyboardDialog, WM_COMMAND, IDCANCEL, 0);
    pump();

    shootDialog(IDM_OPTIONS, "options");
    shootDialog(IDM_ABOUT, "about");
    return 0;
}
