// Test helpers: temporary folders, the game window, pixels, menus, posted messages.
#include "support.h"
#include <stdio.h>

TempFolder::TempFolder()
{
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    previous = current;
    SetCurrentDirectoryA(path().c_str());
}

// Runs before the base removes the folder: the current directory must leave it first.
TempFolder::~TempFolder()
{
    SetCurrentDirectoryA(previous.c_str());
}

void writeSettingsFile(const char* value)
{
    DeleteFileA("tunegrin.ini");
    if (!value) return;
    FILE* file = fopen("tunegrin.ini", "wb");
    fprintf(file, "[initialize]\r\nnotes=%s\r\n", value);
    fclose(file);
}

std::string readSettingsFile()
{
    FILE* file = fopen("tunegrin.ini", "rb");
    if (!file) return "";
    std::string text;
    char buffer[512];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    fclose(file);
    return text;
}

bool settingsFileExists()
{
    return GetFileAttributesA("tunegrin.ini") != INVALID_FILE_ATTRIBUTES;
}

void resetGameState()
{
    noteState = DRAW_NOTE;
    noteX = 0;
    targetNote = 0;
    inputEnabled = 0;
    timerId = 0;
    scoreRowX = 20;
    scoreRowY = 0;
    walkerX = walkerY = 0;
    walkerSprite = 0;
    walkerEndX = 0;
    keyboardDialog = 0;
    for (int row = 0; row < NOTE_COUNT; row++) noteTable[row].enabled = 1;
}

void openGameWindow(const char* settings)
{
    HINSTANCE instance = GetModuleHandleA(0);
    WNDCLASSA known;
    if (!GetClassInfoA(instance, MAIN_CLASS_NAME, &known)) registerMainClass(instance);
    resetGameState();
    writeSettingsFile(settings);
    initInstance(instance, SW_SHOWNORMAL);
    pumpMessages();
    dropPosted();
}

void closeGameWindow()
{
    for (UINT_PTR id = TIMER_SCROLL; id <= TIMER_WALKER; id++) KillTimer(mainWindow, id);
    if (keyboardDialog) DestroyWindow(keyboardDialog);
    keyboardDialog = 0;
    DestroyWindow(mainWindow);
    mainWindow = 0;
    pumpMessages();
    dropPosted();
}

static std::vector<COLORREF> grabWindow(int x, int y, int width, int height)
{
    HDC window = GetDC(mainWindow);
    std::vector<COLORREF> pixels = grabPixels(window, x, y, width, height);
    ReleaseDC(mainWindow, window);
    return pixels;
}

static std::string describe(COLORREF colour)
{
    char text[32];
    snprintf(text, sizeof text, "(%d,%d,%d)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

testing::AssertionResult windowShows(HBITMAP sprite, int x, int y)
{
    if (!sprite) return testing::AssertionFailure() << "no sprite loaded";
    BITMAP size;
    GetObjectA(sprite, sizeof size, &size);
    HDC memory = CreateCompatibleDC(0);
    HGDIOBJ previous = SelectObject(memory, sprite);
    std::vector<COLORREF> expected = grabPixels(memory, 0, 0, size.bmWidth, size.bmHeight);
    SelectObject(memory, previous);
    DeleteDC(memory);
    std::vector<COLORREF> shown = grabWindow(x, y, size.bmWidth, size.bmHeight);

    RECT client;
    GetClientRect(mainWindow, &client);
    int wrong = 0, compared = 0;
    std::string first;
    for (int row = 0; row < size.bmHeight; row++)
        for (int column = 0; column < size.bmWidth; column++) {
            int wx = x + column, wy = y + row;
            if (wx < 0 || wy < 0 || wx >= client.right || wy >= client.bottom) continue;
            compared++;
            int i = row * size.bmWidth + column;
            if (expected[i] == shown[i]) continue;
            if (wrong++ == 0)
                first = "at (" + std::to_string(wx) + "," + std::to_string(wy) + ") window has " +
                        describe(shown[i]) + ", sprite " + describe(expected[i]);
        }
    if (compared == 0) return testing::AssertionFailure() << "sprite lies outside the client area";
    if (wrong) return testing::AssertionFailure() << wrong << " of " << compared
                                                  << " pixels differ; first " << first;
    return testing::AssertionSuccess();
}

testing::AssertionResult areaIs(int x, int y, int width, int height, COLORREF colour)
{
    std::vector<COLORREF> shown = grabWindow(x, y, width, height);
    for (int row = 0; row < height; row++)
        for (int column = 0; column < width; column++) {
            COLORREF found = shown[row * width + column];
            if (found != colour)
                return testing::AssertionFailure()
                       << "at (" << x + column << "," << y + row << ") found " << describe(found)
                       << ", wanted " << describe(colour);
        }
    return testing::AssertionSuccess();
}

testing::AssertionResult staffLinesUnbroken(int fromX, int toX)
{
    for (int line = 0; line < 5; line++) {
        int centre = STAFF_TOP_LINE + STAFF_LINE_SPACING * line;
        testing::AssertionResult result = areaIs(fromX, centre - 1, toX - fromX, 3, RGB(0, 0, 0));
        if (!result) return testing::AssertionFailure() << "staff line " << line << ": " << result.message();
    }
    return testing::AssertionSuccess();
}

Snapshot snapshot(int x, int y, int width, int height)
{
    return Snapshot{ x, y, width, height, grabWindow(x, y, width, height) };
}

testing::AssertionResult windowMatches(const Snapshot& before)
{
    std::vector<COLORREF> now = grabWindow(before.x, before.y, before.width, before.height);
    int wrong = 0;
    std::string first;
    for (int i = 0; i < (int)now.size(); i++) {
        if (now[i] == before.pixels[i]) continue;
        if (wrong++ == 0)
            first = "(" + std::to_string(before.x + i % before.width) + "," +
                    std::to_string(before.y + i / before.width) + ") is " + describe(now[i]) +
                    ", was " + describe(before.pixels[i]);
    }
    if (wrong) return testing::AssertionFailure() << wrong << " pixels changed; first " << first;
    return testing::AssertionSuccess();
}

bool menuGrayed(int id)
{
    UINT state = GetMenuState(GetMenu(mainWindow), id, MF_BYCOMMAND);
    return state != (UINT)-1 && (state & MF_GRAYED);
}

int clientWidth()
{
    RECT client;
    GetClientRect(mainWindow, &client);
    return client.right;
}

bool clickAsPlayer(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    SetCursorPos(x, y);
    INPUT click[2] = {};
    for (INPUT& input : click) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    click[0].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    return SendInput(2, click, sizeof(INPUT)) == 2;
}

void command(WPARAM id) { SendMessageA(mainWindow, WM_COMMAND, id, 0); }
void screenKey(int note) { SendMessageA(mainWindow, WM_SCREEN_KEY, (WPARAM)note, 0); }

void ticks(UINT timer, int count)
{
    for (int i = 0; i < count; i++) SendMessageA(mainWindow, WM_TIMER, timer, 0);
}

bool takePosted(UINT msg, WPARAM wParam)
{
    std::vector<MSG> others;
    MSG found;
    bool taken = false;
    while (PeekMessageA(&found, 0, msg, msg, PM_REMOVE)) {
        if (!taken && (wParam == (WPARAM)-1 || found.wParam == wParam)) taken = true;
        else others.push_back(found);
    }
    for (const MSG& other : others) PostMessageA(other.hwnd, other.message, other.wParam, other.lParam);
    return taken;
}

void dropPosted()
{
    MSG msg;
    while (PeekMessageA(&msg, 0, 0, WM_TIMER - 1, PM_REMOVE | PM_NOYIELD)) {}
    while (PeekMessageA(&msg, 0, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE | PM_NOYIELD)) {}
}

void pumpMessages()
{
    // Real game timers may be running: their ticks are left in the queue, so a test
    // moves the game only by the ticks it sends itself.
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, 0, 0, WM_TIMER - 1, PM_REMOVE) ||
            PeekMessageA(&msg, 0, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE)) {
            if (msg.message == WM_QUIT) { PostQuitMessage((int)msg.wParam); return; }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        return;
    }
}

std::string windowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string dialogItemText(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
