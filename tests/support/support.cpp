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

Watchdog::Watchdog(const char* what, DWORD ms)
    : what(what), ms(ms), disarmed(CreateEventA(0, TRUE, FALSE, 0))
{
    thread = CreateThread(0, 0, watch, this, 0, 0);
}

Watchdog::~Watchdog()
{
    disarm();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(disarmed);
}

void Watchdog::disarm() { SetEvent(disarmed); }

DWORD WINAPI Watchdog::watch(LPVOID self)
{
    Watchdog* dog = (Watchdog*)self;
    if (WaitForSingleObject(dog->disarmed, dog->ms) != WAIT_TIMEOUT) return 0;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    fprintf(stderr, "[  FAILED  ] %s.%s: %s: not within %lu ms\n", test ? test->test_suite_name() : "?",
            test ? test->name() : "?", dog->what.c_str(), (unsigned long)dog->ms);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 1);     // the waiting thread may never run again
    return 0;
}

void openGameWindow(const char* settings)
{
    HINSTANCE instance = GetModuleHandleA(0);
    WNDCLASSA known;
    if (!GetClassInfoA(instance, MAIN_CLASS_NAME, &known)) registerMainClass(instance);
    resetGameState();
    writeSettingsFile(settings);
    Watchdog watchdog("the game window shown, painted and its messages handled");
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
    Snapshot wanted = { x, y, size.bmWidth, size.bmHeight, grabPixels(memory, 0, 0, size.bmWidth, size.bmHeight) };
    SelectObject(memory, previous);
    DeleteDC(memory);
    return windowMatches(wanted);
}

testing::AssertionResult areaIs(int x, int y, int width, int height, COLORREF colour)
{
    return windowMatches(Snapshot{ x, y, width, height, std::vector<COLORREF>((size_t)width * height, colour) });
}

testing::AssertionResult staffLinesUnbroken(int fromX, int toX)
{
    for (int line = 0; line < 5; line++) {
        int centre = STAFF_TOP_LINE + STAFF_LINE_SPACING * line;
        testing::AssertionResult result = areaIs(fromX, centre - 1, toX - fromX, 3, BLACK);
        if (!result) return testing::AssertionFailure() << "staff line " << line << ": " << result.message();
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult staffAlone()
{
    int width = clientWidth();
    testing::AssertionResult shown = windowShows(staffBitmap, 0, 20);
    if (shown) shown = staffLinesUnbroken(0, width);
    for (int line = 0; line < 4 && shown; line++)      // white between the lines, right of the clef
        shown = areaIs(101, STAFF_TOP_LINE + STAFF_LINE_SPACING * line + 2, width - 101, STAFF_LINE_SPACING - 3, WHITE);
    if (shown) shown = areaIs(101, 0, width - 101, 85, WHITE);
    if (shown) shown = areaIs(0, 305, width, scoreRowY + 20 - 305, WHITE);
    return shown;
}

Snapshot snapshot(int x, int y, int width, int height)
{
    return Snapshot{ x, y, width, height, grabWindow(x, y, width, height) };
}

testing::AssertionResult windowMatches(const Snapshot& wanted, int skipFrom, int skipTo)
{
    std::vector<COLORREF> now = grabWindow(wanted.x, wanted.y, wanted.width, wanted.height);
    RECT client;
    GetClientRect(mainWindow, &client);
    int wrong = 0, compared = 0;
    std::string first;
    for (int i = 0; i < (int)now.size(); i++) {
        int x = wanted.x + i % wanted.width, y = wanted.y + i / wanted.width;
        if ((x >= skipFrom && x < skipTo) || x < 0 || y < 0 || x >= client.right || y >= client.bottom) continue;
        compared++;
        if (now[i] != wanted.pixels[i] && wrong++ == 0)
            first = "(" + std::to_string(x) + "," + std::to_string(y) + ") shows " + describe(now[i]) +
                    ", wanted " + describe(wanted.pixels[i]);
    }
    if (!compared) return testing::AssertionFailure() << "it lies outside the client area";
    if (wrong) return testing::AssertionFailure() << wrong << " of " << compared << " pixels differ; first " << first;
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

void blankStaffStretch()
{
    HDC window = GetDC(mainWindow);
    RECT stretch = { 600, 70, 700, 250 };
    FillRect(window, &stretch, (HBRUSH)GetStockObject(WHITE_BRUSH));
    ReleaseDC(mainWindow, window);
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

// WM_PAINT is left alone: it stays in the queue until the window is painted, so a loop that
// took it would never end (a late expose from a closed dialog made one under load).
void dropPosted()
{
    static const UINT ranges[][2] = { { 0, WM_PAINT - 1 }, { WM_PAINT + 1, WM_TIMER - 1 },
                                      { WM_TIMER + 1, 0xFFFFFFFF } };
    MSG msg;
    for (const auto& range : ranges)
        while (PeekMessageA(&msg, 0, range[0], range[1], PM_REMOVE | PM_NOYIELD)) {}
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

std::string dialogItemText(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}
