// The application shell as started by WinMain: the window, its menus, the message loop,
// showMessage and the exit codes.
#include "support.h"
#include "fake_midi.h"
#include <time.h>

static const COLORREF BLACK = RGB(0, 0, 0), WHITE = RGB(255, 255, 255);

class AppShell : public testing::Test {
protected:
    TempFolder folder;
};

static std::string menuText(HMENU menu, int position)
{
    char text[64] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST_F(AppShell, MainWindowCoversTheDesktopWithTheGameClassAndTitle)
{
    time_t started = time(0);
    int firstDraw = -1;
    int exitCode = runWinMain([&] {
        firstDraw = randomDraw();
        RECT window, desktop;
        GetWindowRect(mainWindow, &window);
        GetWindowRect(GetDesktopWindow(), &desktop);
        EXPECT_EQ(window.left, 0);
        EXPECT_EQ(window.top, 0);
        EXPECT_EQ(window.right, desktop.right);
        EXPECT_EQ(window.bottom, desktop.bottom);
        EXPECT_EQ(screenWidth, desktop.right);
        EXPECT_EQ(screenHeight, desktop.bottom);
        char className[64];
        GetClassNameA(mainWindow, className, sizeof className);
        EXPECT_STREQ(className, "TuneGrinWClass");
        EXPECT_EQ(windowText(mainWindow), "TuneGrin");
        EXPECT_TRUE(IsWindowVisible(mainWindow));
        LONG style = GetWindowLongA(mainWindow, GWL_STYLE);
        EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
        EXPECT_EQ(GetWindowLongA(mainWindow, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
        EXPECT_EQ(GetClassLongPtrA(mainWindow, GCLP_HBRBACKGROUND), (LONG_PTR)GetStockObject(WHITE_BRUSH));
        EXPECT_NE(GetClassLongPtrA(mainWindow, GCLP_HICON), 0);
        EXPECT_EQ(GetClassLongA(mainWindow, GCL_STYLE), 0);
        // The desktop size is taken once: moving the window changes neither.
        MoveWindow(mainWindow, 10, 10, 300, 200, TRUE);
        EXPECT_EQ(screenWidth, desktop.right);
        EXPECT_EQ(screenHeight, desktop.bottom);
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(exitCode, 0);
    // Each start seeds the generator from the clock, so no two games ask the same notes.
    bool seeded = false;
    for (time_t second = started; second <= time(0); second++, seeded |= randomDraw() == firstDraw)
        randomSeed((uint32_t)second);
    EXPECT_TRUE(seeded) << "the first draw, " << firstDraw << ", follows no second of the start";
}

TEST_F(AppShell, MenusHaveTheirCaptionsAndInitialStates)
{
    runWinMain([] {
        HMENU bar = GetMenu(mainWindow);
        ASSERT_EQ(GetMenuItemCount(bar), 3);
        EXPECT_EQ(menuText(bar, 0), "&Game");
        EXPECT_EQ(menuText(bar, 1), "&Options");
        EXPECT_EQ(menuText(bar, 2), "&Help");
        HMENU game = GetSubMenu(bar, 0), options = GetSubMenu(bar, 1), help = GetSubMenu(bar, 2);
        ASSERT_EQ(GetMenuItemCount(game), 4);
        EXPECT_EQ(menuText(game, 0), "&Start Playing Game");
        EXPECT_EQ(GetMenuItemID(game, 0), (UINT)IDM_START);
        EXPECT_EQ(menuText(game, 1), "S&top Playing Game");
        EXPECT_EQ(GetMenuItemID(game, 1), (UINT)IDM_STOP);
        EXPECT_TRUE(GetMenuState(game, 2, MF_BYPOSITION) & MF_SEPARATOR);
        EXPECT_EQ(menuText(game, 3), "E&xit");
        EXPECT_EQ(GetMenuItemID(game, 3), (UINT)IDM_EXIT);
        ASSERT_EQ(GetMenuItemCount(options), 2);
        EXPECT_EQ(menuText(options, 0), "&Preferences...");
        EXPECT_EQ(GetMenuItemID(options, 0), (UINT)IDM_OPTIONS);
        EXPECT_EQ(menuText(options, 1), "&Keyboard...");
        EXPECT_EQ(GetMenuItemID(options, 1), (UINT)IDM_KEYBOARD);
        ASSERT_EQ(GetMenuItemCount(help), 1);
        EXPECT_EQ(menuText(help, 0), "&About TuneGrin...");
        EXPECT_EQ(GetMenuItemID(help, 0), (UINT)IDM_ABOUT);

        EXPECT_FALSE(menuGrayed(IDM_START));
        EXPECT_TRUE(menuGrayed(IDM_STOP));
        for (int id : { IDM_EXIT, IDM_OPTIONS, IDM_KEYBOARD, IDM_ABOUT }) EXPECT_FALSE(menuGrayed(id)) << id;
        for (int id : { IDM_START, IDM_STOP, IDM_EXIT, IDM_OPTIONS, IDM_KEYBOARD, IDM_ABOUT })
            EXPECT_FALSE(GetMenuState(bar, id, MF_BYCOMMAND) & MF_CHECKED) << id;
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    });
}

TEST_F(AppShell, FirstPaintShowsTheStaffAloneWithSettingsRead)
{
    writeSettingsFile("C3");
    runWinMain([] {
        EXPECT_TRUE(windowShows(staffBitmap, 0, 20));
        RECT client;
        GetClientRect(mainWindow, &client);
        EXPECT_TRUE(staffLinesUnbroken(0, client.right));
        EXPECT_TRUE(areaIs(101, 0, client.right - 101, 84, WHITE));
        EXPECT_TRUE(areaIs(0, scoreRowY, client.right, 20, WHITE));
        EXPECT_EQ(noteTable[13].enabled, 1);     // the settings were read at start-up
        EXPECT_EQ(noteTable[0].enabled, 0);
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    });
}

TEST_F(AppShell, CloseBoxAltF4AndExitAllEndWithCodeZero)
{
    EXPECT_EQ(runWinMain([] { PostMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0); }), 0);
    EXPECT_EQ(runWinMain([] { PostMessageA(mainWindow, WM_COMMAND, IDM_EXIT, 0); }), 0);
    EXPECT_EQ(runWinMain([] { PostMessageA(mainWindow, WM_CLOSE, 0, 0); }), 0);
    // The quit message's code is the exit code.
    EXPECT_EQ(runWinMain([] { PostQuitMessage(7); }), 7);
}

TEST_F(AppShell, CloseLeavesTheWindowInPlaceUntilTheProcessEnds)
{
    runWinMain([] {
        EXPECT_EQ(SendMessageA(mainWindow, WM_CLOSE, 0, 0), 0);
        EXPECT_TRUE(IsWindow(mainWindow));
        EXPECT_TRUE(IsWindowVisible(mainWindow));
    });
}

TEST_F(AppShell, AClassThatCannotBeRegisteredEndsStartUpWithCodeZero)
{
    HINSTANCE instance = GetModuleHandleA(0);
    UnregisterClassA(MAIN_CLASS_NAME, instance);
    ASSERT_NE(registerMainClass(instance), 0);
    EXPECT_EQ(registerMainClass(instance), 0);        // already registered
    mainWindow = 0;
    EXPECT_EQ(WinMain(instance, 0, (LPSTR) "", SW_SHOWNORMAL), 0);
    EXPECT_EQ(mainWindow, nullptr) << "no window after a failed registration";
    UnregisterClassA(MAIN_CLASS_NAME, instance);
}

// Refuses the creation of any window of the game's class.
static LRESULT CALLBACK refuseMainWindow(int code, WPARAM window, LPARAM lParam)
{
    char className[64] = "";
    if (code == HCBT_CREATEWND) GetClassNameA((HWND)window, className, sizeof className);
    if (strcmp(className, MAIN_CLASS_NAME) == 0) return 1;
    return CallNextHookEx(0, code, window, lParam);
}

static void CALLBACK endMessageLoop(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); }

TEST_F(AppShell, AWindowThatCannotBeCreatedEndsStartUpWithCodeZeroBeforeAnythingIsLoaded)
{
    HINSTANCE instance = GetModuleHandleA(0);
    UnregisterClassA(MAIN_CLASS_NAME, instance);
    writeSettingsFile("C3");
    for (int row = 0; row < NOTE_COUNT; row++) noteTable[row].enabled = 1;
    staffBitmap = happyFaceBitmap = madFaceBitmap = scoreMarkBitmap = scoreEraseBitmap = 0;
    for (HBITMAP& walker : walkerBitmaps) walker = 0;
    fakeMidiInstall(1);
    HHOOK hook = SetWindowsHookExA(WH_CBT, refuseMainWindow, 0, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    // Should start-up go on into the message loop, this ends it instead of hanging.
    UINT_PTR watchdog = SetTimer(0, 0, 5000, endMessageLoop);
    int exitCode = WinMain(instance, 0, (LPSTR) "", SW_SHOWNORMAL);
    KillTimer(0, watchdog);
    UnhookWindowsHookEx(hook);

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(staffBitmap, nullptr) << "a bitmap was loaded";
    EXPECT_EQ(scoreMarkBitmap, nullptr) << "a bitmap was loaded";
    EXPECT_EQ(walkerBitmaps[WALKER_COUNT - 1], nullptr) << "a bitmap was loaded";
    for (int row = 0; row < NOTE_COUNT; row++) EXPECT_EQ(noteTable[row].enabled, 1) << "settings read";
    EXPECT_TRUE(fakeMidiCallTexts().empty()) << "MIDI start-up ran";
    fakeMidiUninstall();
    if (mainWindow) DestroyWindow(mainWindow);
    mainWindow = 0;
    UnregisterClassA(MAIN_CLASS_NAME, instance);
    dropPosted();
}

// A second watcher step reads the box's owner and buttons before the driver closes it.
struct SeenBox { HWND owner; LONG style; };
static SeenBox seenBox;

static void CALLBACK peekAtBox(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = FindWindowA("#32770", "TuneGrin");
    if (box && !seenBox.owner) {
        seenBox.owner = GetWindow(box, GW_OWNER);
        seenBox.style = GetDlgItem(box, IDOK) ? 1 : 0;
        seenBox.style |= GetDlgItem(box, IDCANCEL) ? 2 : 0;
    }
}

TEST_F(AppShell, ShowMessageIsAModalBoxOwnedByTheMainWindow)
{
    openGameWindow();
    ModalDriver driver;
    driver.onDialog("never", [](HWND) {});
    seenBox = {};
    UINT_PTR peek = SetTimer(0, 0, 5, peekAtBox);
    showMessage("Something to read.");
    KillTimer(0, peek);
    ASSERT_EQ(driver.messageTexts.size(), 1u);
    EXPECT_EQ(driver.messageTexts[0], "Something to read.");
    EXPECT_EQ(driver.messageCaptions[0], "TuneGrin");
    EXPECT_EQ(seenBox.owner, mainWindow);
    EXPECT_EQ(seenBox.style, 1) << "one OK button and nothing else";
    closeGameWindow();
}
