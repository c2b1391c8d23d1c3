// The About box from the real resources: its texts, every way of closing it, and the game
// going on behind it and behind the Options dialog.
#include "support.h"
#include <utility>

static const struct Modal { WPARAM command; const char* caption; } modals[] = {
    { IDM_ABOUT, "About Tunegrin" },
    { IDM_OPTIONS, "Options" },
};

class AboutBox : public testing::Test {
protected:
    TempFolder folder;
    void SetUp() override { openGameWindow(); }
    void TearDown() override { closeGameWindow(); }
    // Opens the dialog as the menu does and hands it to `action` inside its modal loop.
    static void open(const Modal& modal, std::function<void(HWND)> action)
    {
        ModalDriver driver;
        driver.onDialog(modal.caption, action);
        command(modal.command);
    }
    static void openAbout(std::function<void(HWND)> action) { open(modals[0], action); }
};

TEST_F(AboutBox, ShowsTheTitleIconAndHowToPlay)
{
    bool seen = false;
    openAbout([&](HWND dialog) {
        seen = true;
        const std::pair<int, const char*> texts[] = {
            { 101, "Tunegrin Music Instruction Software" }, { IDOK, "&I'll do it!" },
            { 107, "Tunegrin is a program that will help you learn to sight-read music. Just select \"Start " },
            { 108, "Playing\" from the Game Menu and try to play the note that shows up on the staff. You" },
            { 109, "can either use a MIDI keyboard or select the keyboard under the Options menu." },
            { 110, "When you press the right note you get a Happy Face! If you wait too long the note will" },
            { 111, "get mad at you! Just try to have fun and learn to read music at the same time. " },
        };
        for (const auto& text : texts) EXPECT_EQ(dialogItemText(dialog, text.first), text.second) << text.first;
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

TEST_F(AboutBox, TheGameGoesOnBehindItOrOptionsAndATurnCanTimeOut)
{
    for (const Modal& modal : modals) {
        SCOPED_TRACE(modal.caption);
        command(IDM_START);
        noteX = MISS_X + 30;            // ten ticks from a miss: the game's real timers run
        open(modal, [](HWND dialog) { modalDriver()->closeWhen(dialog, [] { return noteState == DRAW_MAD; }); });
        EXPECT_EQ(noteState, DRAW_MAD) << "the note did not time out while the dialog was open";
        EXPECT_LT(noteX, MISS_X);
        EXPECT_EQ(inputEnabled, 0);
        EXPECT_TRUE(menuGrayed(IDM_START));
        command(IDM_STOP);
        dropPosted();
    }
}

TEST_F(AboutBox, ARepaintInTheResultPauseAfterItOrOptionsClosesDrawsTheFaceAgain)
{
    for (const Modal& modal : modals) {
        SCOPED_TRACE(modal.caption);
        int face = modal.command == IDM_ABOUT ? DRAW_HAPPY : DRAW_MAD;
        command(IDM_START);
        ticks(TIMER_SCROLL, 10);
        if (face == DRAW_HAPPY) screenKey(targetNote);
        else noteX = MISS_X + 2;
        ticks(TIMER_SCROLL, 1);
        ASSERT_EQ(noteState, face);
        // The pause is ended by the test, not by its real timer while the dialog is open.
        KillTimer(mainWindow, TIMER_PAUSE);
        const NoteEntry* note = findNoteEntry(targetNote);
        HBITMAP faceSprite = face == DRAW_HAPPY ? happyFaceBitmap : madFaceBitmap;
        HDC window = GetDC(mainWindow);
        RECT sprite = { noteX, note->y, noteX + 78, note->y + 43 };
        FillRect(window, &sprite, (HBRUSH)GetStockObject(WHITE_BRUSH));
        ReleaseDC(mainWindow, window);
        ASSERT_FALSE(windowShows(faceSprite, noteX + 8, note->y + 4));
        open(modal, [](HWND opened) { SendMessageA(opened, WM_COMMAND, IDOK, 0); });
        EXPECT_TRUE(windowShows(faceSprite, noteX + 8, note->y + 4));
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
    for (const Modal& modal : modals) open(modal, measure);
    SendMessageA(mainWindow, WM_COMMAND, IDM_KEYBOARD, 0);
    ASSERT_TRUE(keyboardDialog);
    measure(keyboardDialog);
    EXPECT_EQ(dialogsSeen, 3);
    EXPECT_EQ(measured, 10) << "the About box's title, version, five given lines and three of ours";
    for (const std::string& line : tooBig) ADD_FAILURE() << line;
}
