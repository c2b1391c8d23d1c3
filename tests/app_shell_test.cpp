// The application shell as started by WinMain: the window, its menus, the message loop,
// showMessage and the exit codes.
#include "support.h"
#include "fake_midi.h"
#include <time.h>
#include <utility>

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
    // Each menu's items with their command ids; 0 stands for a separator.
    static const struct { const char* title; std::vector<std::pair<std::string, int>> items; } menus[] = {
        { "&Game", { { "&Start Playing Game", IDM_START }, { "S&top Playing Game", IDM_STOP }, { "", 0 },
                     { "E&xit", IDM_EXIT } } },
        { "&Options", { { "&Preferences...", IDM_OPTIONS }, { "&Keyboard...", IDM_KEYBOARD } } },
        { "&Help", { { "&About TuneGrin...", IDM_ABOUT } } },
    };
    runWinMain([] {
        HMENU bar = GetMenu(mainWindow);
        ASSERT_EQ(GetMenuItemCount(bar), 3);
        for (int position = 0; position < 3; position++) {
            SCOPED_TRACE(menus[position].title);
            EXPECT_EQ(menuText(bar, position), menus[position].title);
            HMENU menu = GetSubMenu(bar, position);
            ASSERT_EQ(GetMenuItemCount(menu), (int)menus[position].items.size());
            for (int item = 0; item < GetMenuItemCount(menu); item++) {
                int id = menus[position].items[item].second;
                if (!id) {
                    EXPECT_TRUE(GetMenuState(menu, item, MF_BYPOSITION) & MF_SEPARATOR);
                    continue;
                }
                EXPECT_EQ(menuText(menu, item), menus[position].items[item].first);
                EXPECT_EQ(GetMenuItemID(menu, item), (UINT)id);
                EXPECT_EQ(menuGrayed(id), id == IDM_STOP) << "only Stop is grayed at start-up";
                EXPECT_FALSE(GetMenuState(bar, id, MF_BYCOMMAND) & MF_CHECKED) << id;
            }
        }
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    });
}

TEST_F(AppShell, FirstPaintShowsTheStaffAloneWithSettingsRead)
{
    writeSettingsFile("C3");
    runWinMain([] {
        EXPECT_TRUE(staffAlone());
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

TEST_F(AppShell, ShowMessageIsAModalBoxOwnedByTheMainWindow)
{
    openGameWindow();
    HWND owner = 0;
    bool ok = false, other = true;
    {
        ModalDriver driver;
        driver.onMessageBox([&](HWND box) {     // read inside the box's own loop, before it goes
            owner = GetWindow(box, GW_OWNER);
            ok = GetDlgItem(box, IDOK) != 0;
            other = GetDlgItem(box, IDCANCEL) || GetDlgItem(box, IDYES) || GetDlgItem(box, IDRETRY);
        });
        showMessage("Something to read.");
        EXPECT_EQ(driver.messageTexts, std::vector<std::string>{ "Something to read." });
        EXPECT_EQ(driver.messageCaptions, std::vector<std::string>{ "TuneGrin" });
    }
    EXPECT_EQ(owner, mainWindow);
    EXPECT_TRUE(ok && !other) << "one OK button and nothing else";
    closeGameWindow();
}
