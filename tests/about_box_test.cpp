// The About box from the real resources: its texts, and every way of closing it.
#include "support.h"

class AboutBox : public testing::Test {
protected:
    TempFolder folder;
    void SetUp() override { openGameWindow(); }
    void TearDown() override { closeGameWindow(); }
    void openAbout(std::function<void(HWND)> action)
    {
        ModalDriver driver;
        driver.onDialog("About Tunegrin", action);
        SendMessageA(mainWindow, WM_COMMAND, IDM_ABOUT, 0);
    }
};

TEST_F(AboutBox, ShowsTheTitleIconAndHowToPlay)
{
    bool seen = false;
    openAbout([&](HWND dialog) {
        seen = true;
        EXPECT_EQ(dialogItemText(dialog, 101), "Tunegrin Music Instruction Software");
        EXPECT_EQ(dialogItemText(dialog, IDOK), "&I'll do it!");
        EXPECT_EQ(dialogItemText(dialog, 107),
                  "Tunegrin is a program that will help you learn to sight-read music. Just select \"Start ");
        EXPECT_EQ(dialogItemText(dialog, 108),
                  "Playing\" from the Game Menu and try to play the note that shows up on the staff. You");
        EXPECT_EQ(dialogItemText(dialog, 109),
                  "can either use a MIDI keyboard or select the keyboard under the Options menu.");
        EXPECT_EQ(dialogItemText(dialog, 110),
                  "When you press the right note you get a Happy Face! If you wait too long the note will");
        EXPECT_EQ(dialogItemText(dialog, 111),
                  "get mad at you! Just try to have fun and learn to read music at the same time. ");
        EXPECT_NE(SendDlgItemMessageA(dialog, 104, STM_GETICON, 0, 0), 0) << "the program's icon";
        EXPECT_NE(dialogItemText(dialog, IDC_ABOUT_VERSION).find("Windows 95"), std::string::npos);
        EXPECT_NE(dialogItemText(dialog, IDC_ABOUT_SYSREQ).find("32-bit"), std::string::npos);
        EXPECT_FALSE(dialogItemText(dialog, IDC_ABOUT_MAKER).empty());
        EXPECT_FALSE(dialogItemText(dialog, IDC_ABOUT_CONTACT).empty());
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_TRUE(seen);
}

TEST_F(AboutBox, ClosesOnTheButtonEnterEscapeAndTheCloseBox)
{
    std::vector<std::function<void(HWND)>> ways = {
        [](HWND dialog) { SendDlgItemMessageA(dialog, IDOK, BM_CLICK, 0, 0); },
        [](HWND dialog) { PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_RETURN, 0); },
        [](HWND dialog) { PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    // The real check is the driver's watchdog: it fails the test for a box left open.
    for (size_t i = 0; i < ways.size(); i++) {
        SCOPED_TRACE(i);
        bool opened = false;
        openAbout([&](HWND dialog) { opened = true; ways[i](dialog); });
        EXPECT_TRUE(opened);
    }
}

TEST_F(AboutBox, TheGameGoesOnBehindIt)
{
    SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
    noteX = MISS_X + 30;
    openAbout([](HWND dialog) {
        modalDriver()->closeWhen(dialog, [] { return noteState == DRAW_MAD; });
    });
    EXPECT_EQ(noteState, DRAW_MAD) << "the note timed out while the box was open; noteX " << noteX;
    EXPECT_TRUE(menuGrayed(IDM_START));
}

TEST_F(AboutBox, ARepaintInTheResultPauseAfterItOrOptionsClosesDrawsTheFaceAgain)
{
    const struct { WPARAM command; const char* caption; int face; } dialogs[] = {
        { IDM_ABOUT, "About Tunegrin", DRAW_HAPPY },
        { IDM_OPTIONS, "Options", DRAW_MAD },
    };
    for (const auto& dialog : dialogs) {
        SCOPED_TRACE(dialog.caption);
        command(IDM_START);
        ticks(TIMER_SCROLL, 10);
        if (dialog.face == DRAW_HAPPY) screenKey(targetNote);
        else noteX = MISS_X + 2;
        ticks(TIMER_SCROLL, 1);
        ASSERT_EQ(noteState, dialog.face);
        // The pause is ended by the test, not by its real timer while the dialog is open.
        KillTimer(mainWindow, TIMER_PAUSE);
        const NoteEntry* note = findNoteEntry(targetNote);
        HBITMAP face = dialog.face == DRAW_HAPPY ? happyFaceBitmap : madFaceBitmap;
        HDC window = GetDC(mainWindow);
        RECT sprite = { noteX, note->y, noteX + 78, note->y + 43 };
        FillRect(window, &sprite, (HBRUSH)GetStockObject(WHITE_BRUSH));
        ReleaseDC(mainWindow, window);
        ASSERT_FALSE(windowShows(face, noteX + 8, note->y + 4));
        {
            ModalDriver driver;
            driver.onDialog(dialog.caption, [](HWND opened) { SendMessageA(opened, WM_COMMAND, IDOK, 0); });
            SendMessageA(mainWindow, WM_COMMAND, dialog.command, 0);
        }
        EXPECT_TRUE(windowShows(face, noteX + 8, note->y + 4));
        command(IDM_STOP);
        dropPosted();
    }
}

// Static text controls (not frames, rectangles or icons) and whether they word-wrap.
static bool isStaticText(HWND control, bool* wraps)
{
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0) return false;
    LONG kind = GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK;
    *wraps = kind == SS_LEFT || kind == SS_CENTER || kind == SS_RIGHT;
    return *wraps || kind == SS_SIMPLE || kind == SS_LEFTNOWORDWRAP;
}

// What the control's text needs, laid out as the control lays it out, against its client
// area; one line per control whose text needs more room than it has.
static std::vector<std::string> textsThatDoNotFit(HWND dialog, int* measured)
{
    std::vector<std::string> tooBig;
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        bool wraps;
        std::string text = windowText(control);
        if (!isStaticText(control, &wraps) || text.empty()) continue;
        RECT client, needed;
        GetClientRect(control, &client);
        needed = { 0, 0, client.right, 0 };
        UINT format = DT_CALCRECT | DT_EXPANDTABS | (wraps ? DT_WORDBREAK : 0);
        if (GetWindowLongA(control, GWL_STYLE) & SS_NOPREFIX) format |= DT_NOPREFIX;
        HDC dc = GetDC(control);
        HGDIOBJ previous = SelectObject(dc, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0));
        DrawTextA(dc, text.c_str(), -1, &needed, format);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
        ++*measured;
        if (needed.right <= client.right && needed.bottom <= client.bottom) continue;
        tooBig.push_back(windowText(dialog) + " control " + std::to_string(GetDlgCtrlID(control)) +
                         " needs " + std::to_string(needed.right) + " x " + std::to_string(needed.bottom) +
                         " pixels, has " + std::to_string(client.right) + " x " +
                         std::to_string(client.bottom) + ": \"" + text + "\"");
    }
    return tooBig;
}

TEST_F(AboutBox, EveryStaticTextOfTheThreeDialogsFitsItsControl)
{
    std::vector<std::string> tooBig;
    int dialogsSeen = 0, measured = 0;
    auto measure = [&](HWND dialog) {
        dialogsSeen++;
        for (const std::string& line : textsThatDoNotFit(dialog, &measured)) tooBig.push_back(line);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
    openAbout(measure);
    {
        ModalDriver driver;
        driver.onDialog("Options", measure);
        SendMessageA(mainWindow, WM_COMMAND, IDM_OPTIONS, 0);
    }
    SendMessageA(mainWindow, WM_COMMAND, IDM_KEYBOARD, 0);
    ASSERT_TRUE(keyboardDialog);
    measure(keyboardDialog);
    EXPECT_EQ(dialogsSeen, 3);
    EXPECT_EQ(measured, 10) << "the About box's title, version, five given lines and three of ours";
    for (const std::string& line : tooBig) ADD_FAILURE() << line;
}
