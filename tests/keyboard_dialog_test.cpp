// The on-screen keyboard: the real "KeyBoard" dialog, pressed where a player would press it.
// Its closing, real clicks and play behind it are the built program's, played from outside.
#include "support.h"
#include <set>
#include <string.h>

static const int BLACK_KEY_FIRST = 222, BLACK_KEY_LAST = 236;
static const int WHITE_KEY_FIRST = 201, WHITE_KEY_LAST = 221;
static const int FIRST_ANSWERING_KEY = 207;     // B2; the six white keys below it are wrong answers

// A key's rectangle in the dialog's client coordinates, from its real window.
static RECT keyRect(int id)
{
    RECT rect;
    GetWindowRect(GetDlgItem(keyboardDialog, id), &rect);
    MapWindowPoints(0, keyboardDialog, (POINT*)&rect, 2);
    return rect;
}

static POINT centreOf(const RECT& rect)
{
    return { (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2 };
}

// Middle of a white key's lower part, below the black keys' bottom edge.
static POINT lowerPartOf(int whiteKey)
{
    RECT white = keyRect(whiteKey), black = keyRect(BLACK_KEY_FIRST);
    return { (white.left + white.right) / 2, (black.bottom + white.bottom) / 2 };
}

// The answering white keys are the note table's rows from the bottom up.
static int noteOfWhiteKey(int key)
{
    if (key < FIRST_ANSWERING_KEY) return SCREEN_KEY_NONE;
    return noteTable[NOTE_COUNT - 1 - (key - FIRST_ANSWERING_KEY)].midiNote;
}

static void mouse(UINT msg, POINT at, WPARAM buttons = MK_LBUTTON)
{
    SendMessageA(keyboardDialog, msg, buttons, MAKELPARAM(at.x, at.y));
}

// Takes every WM_SCREEN_KEY posted to the main window; success when there was exactly
// one, with this wParam and lParam 0.
static testing::AssertionResult postedKey(int expected)
{
    MSG posted;
    std::string seen;
    int count = 0;
    bool right = false;
    while (PeekMessageA(&posted, mainWindow, WM_SCREEN_KEY, WM_SCREEN_KEY, PM_REMOVE)) {
        count++;
        right = posted.wParam == (WPARAM)expected && posted.lParam == 0;
        seen += " " + std::to_string(posted.wParam) + "/" + std::to_string(posted.lParam);
    }
    if (count == 1 && right) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "posted wParam/lParam:" << (seen.empty() ? " nothing" : seen)
                                       << "; wanted " << expected << "/0";
}

static testing::AssertionResult pressPosts(POINT at, int expected)
{
    mouse(WM_LBUTTONDOWN, at);
    testing::AssertionResult result = postedKey(expected);
    if (!result) return testing::AssertionFailure() << "press at (" << at.x << "," << at.y << "): "
                                                    << result.message();
    return result;
}

// The caption the next opening will draw from this seed.
static std::string captionFor(uint32_t seed, int drawsBefore = 0)
{
    randomSeed(seed);
    for (int i = 0; i < drawsBefore; i++) randomDraw();
    std::string caption = keyboardTitles[randomDraw() % KEYBOARD_TITLE_COUNT];
    randomSeed(seed);
    return caption;
}

class KeyboardDialog : public testing::Test {
protected:
    TempFolder folder;
    void SetUp() override { openGameWindow("C3"); }
    void TearDown() override { closeGameWindow(); }
};

// Opening it draws its caption and repaints the game; opening it again only activates it.
TEST_F(KeyboardDialog, OpensModelessWithADrawnCaptionAndOpeningAgainOnlyActivatesIt)
{
    std::string caption = captionFor(5);
    blankStaffStretch();
    command(IDM_KEYBOARD);
    HWND first = keyboardDialog;
    ASSERT_TRUE(first);
    EXPECT_TRUE(IsWindowVisible(first));
    EXPECT_EQ(GetWindow(first, GW_OWNER), mainWindow);
    EXPECT_EQ(windowText(first), caption);
    EXPECT_TRUE(staffLinesUnbroken(0, clientWidth())) << "the command repaints the game";
    EXPECT_FALSE(menuGrayed(IDM_START)) << "opening it starts no game";
    EXPECT_EQ(inputEnabled, 0);
    SetActiveWindow(mainWindow);
    ASSERT_EQ(GetActiveWindow(), mainWindow);

    blankStaffStretch();
    command(IDM_KEYBOARD);
    EXPECT_EQ(keyboardDialog, first);
    EXPECT_EQ(GetActiveWindow(), first);
    EXPECT_EQ(windowText(first), caption);
    EXPECT_TRUE(staffLinesUnbroken(0, clientWidth()));
    // The next draw is the second of the seed: the reopening drew nothing.
    int next = randomDraw();
    randomSeed(5);
    randomDraw();
    EXPECT_EQ(next, randomDraw());
}

TEST_F(KeyboardDialog, TemplateStacksFifteenBlackKeysOverTwentyOnePassiveWhiteKeys)
{
    command(IDM_KEYBOARD);
    HWND dialog = keyboardDialog;
    ASSERT_TRUE(dialog);
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_CAPTION | WS_SYSMENU);
    EXPECT_FALSE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);

    // Client area: 21 white keys of 16 units, 60 units high.
    RECT units = { 0, 0, 336, 60 }, client;
    MapDialogRect(dialog, &units);
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);

    // A piano's octave of black keys, C# D# and F# G# A#, three times over at 112 units.
    static const int octaveX[] = { 12, 29, 60, 77, 93 };
    std::vector<int> ids;
    for (HWND key = GetWindow(dialog, GW_CHILD); key; key = GetWindow(key, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(key);
        ids.push_back(id);
        SCOPED_TRACE(id);
        char className[32] = "";
        GetClassNameA(key, className, sizeof className);
        EXPECT_STREQ(className, "Static");
        EXPECT_EQ(windowText(key), "");
        LONG keyStyle = GetWindowLongA(key, GWL_STYLE);
        bool black = id >= BLACK_KEY_FIRST;
        EXPECT_EQ(keyStyle & SS_TYPEMASK, black ? SS_BLACKRECT : SS_BLACKFRAME);
        EXPECT_FALSE(keyStyle & SS_NOTIFY) << "a key must let presses through to the dialog";
        EXPECT_FALSE(keyStyle & WS_TABSTOP);
        EXPECT_TRUE(keyStyle & WS_VISIBLE);
        // Where the template puts it, in dialog units.
        int blackKey = id - BLACK_KEY_FIRST;
        RECT place = black ? RECT{ octaveX[blackKey % 5] + 112 * (blackKey / 5), 0, 7, 34 }
                           : RECT{ 16 * (id - WHITE_KEY_FIRST), 0, 16, 60 };
        MapDialogRect(dialog, &place);
        RECT shown = keyRect(id);
        EXPECT_EQ(shown.left, place.left);
        EXPECT_EQ(shown.top, place.top);
        EXPECT_EQ(shown.right - shown.left, place.right);
        EXPECT_EQ(shown.bottom - shown.top, place.bottom);
    }
    std::vector<int> expected;
    for (int id = BLACK_KEY_FIRST; id <= BLACK_KEY_LAST; id++) expected.push_back(id);   // on top
    for (int id = WHITE_KEY_FIRST; id <= WHITE_KEY_LAST; id++) expected.push_back(id);
    EXPECT_EQ(ids, expected);
}

// White keys B2 to B4 post their notes, on their lower part and at their centre; the low
// white keys and every black key post no key, and a black key wins over the upper part of
// each white key beneath it.
TEST_F(KeyboardDialog, EveryKeyPostsItsNoteOrNoKeyAndABlackKeyWinsOverTheWhiteBeneath)
{
    command(IDM_KEYBOARD);
    HWND dialog = keyboardDialog;
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(pressPosts(lowerPartOf(207), 59));
    EXPECT_TRUE(pressPosts(lowerPartOf(208), C3));
    EXPECT_TRUE(pressPosts(lowerPartOf(221), 83));
    int covered = 0;
    for (int key = WHITE_KEY_FIRST; key <= BLACK_KEY_LAST; key++) {
        bool white = key <= WHITE_KEY_LAST;
        int note = white ? noteOfWhiteKey(key) : SCREEN_KEY_NONE;
        if (white) { EXPECT_TRUE(pressPosts(lowerPartOf(key), note)) << key; }
        if (!white || note != SCREEN_KEY_NONE) { EXPECT_TRUE(pressPosts(centreOf(keyRect(key)), note)) << key; }
        for (int under = WHITE_KEY_FIRST; !white && under <= WHITE_KEY_LAST; under++) {
            RECT blackRect = keyRect(key), whiteRect = keyRect(under), overlap;
            if (!IntersectRect(&overlap, &blackRect, &whiteRect)) continue;
            covered++;
            SCOPED_TRACE(std::to_string(key) + " over " + std::to_string(under));
            EXPECT_EQ(ChildWindowFromPoint(dialog, centreOf(overlap)), GetDlgItem(dialog, key));
            EXPECT_TRUE(pressPosts(centreOf(overlap), SCREEN_KEY_NONE));
        }
    }
    EXPECT_EQ(covered, 30) << "each black key lies over two white keys";
}

TEST_F(KeyboardDialog, OtherMouseMessagesPostNothingAndOtherCommandsLeaveItOpen)
{
    command(IDM_KEYBOARD);
    HWND dialog = keyboardDialog;
    ASSERT_TRUE(dialog);
    SendMessageA(dialog, WM_COMMAND, 222, 0);
    SendMessageA(dialog, WM_COMMAND, 3, 0);
    EXPECT_EQ(keyboardDialog, dialog);
    EXPECT_TRUE(IsWindowVisible(dialog));
    POINT key = lowerPartOf(208);
    mouse(WM_RBUTTONDOWN, key, MK_RBUTTON);
    mouse(WM_RBUTTONUP, key, 0);
    mouse(WM_LBUTTONUP, key, 0);
    mouse(WM_LBUTTONDBLCLK, key);
    mouse(WM_MBUTTONDOWN, key, MK_MBUTTON);
    mouse(WM_MOUSEMOVE, key, MK_LBUTTON);
    MSG posted;
    EXPECT_FALSE(PeekMessageA(&posted, mainWindow, WM_SCREEN_KEY, WM_SCREEN_KEY, PM_NOREMOVE));
    EXPECT_TRUE(pressPosts(key, C3)) << "while a left press still does";
}

TEST_F(KeyboardDialog, PressesAreJudgedOnlyWhileATurnTakesAnswers)
{
    command(IDM_KEYBOARD);
    HWND dialog = keyboardDialog;
    ASSERT_TRUE(dialog);
    mouse(WM_LBUTTONDOWN, lowerPartOf(208));
    pumpMessages();                 // no game yet: posted all the same, and ignored
    EXPECT_EQ(scoreRowX, 20);

    command(IDM_START);
    EXPECT_EQ(keyboardDialog, dialog) << "starting a game leaves the keyboard open";
    mouse(WM_LBUTTONDOWN, lowerPartOf(208));
    pumpMessages();
    EXPECT_EQ(scoreRowX, 40);
    EXPECT_TRUE(windowShows(scoreMarkBitmap, 20, scoreRowY));
    EXPECT_EQ(noteState, DRAW_HAPPY);

    mouse(WM_LBUTTONDOWN, centreOf(keyRect(BLACK_KEY_FIRST)));   // no key: a wrong answer
    pumpMessages();
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_TRUE(areaIs(20, scoreRowY, 20, 20, WHITE));
    mouse(WM_LBUTTONDOWN, lowerPartOf(201));
    pumpMessages();
    EXPECT_EQ(scoreRowX, 20);

    SendMessageA(mainWindow, WM_TIMER, TIMER_SCROLL, 0);   // the happy face; input closes
    mouse(WM_LBUTTONDOWN, lowerPartOf(208));
    pumpMessages();
    EXPECT_EQ(scoreRowX, 20);
    command(IDM_STOP);
    EXPECT_EQ(keyboardDialog, dialog) << "stopping leaves it open too";
}

TEST(KeyboardTitles, ThreeHundredSixteenDistinctNamesThatFitACaption)
{
    std::set<std::string> names;
    for (int i = 0; i < KEYBOARD_TITLE_COUNT; i++) {
        ASSERT_TRUE(keyboardTitles[i]) << i;
        size_t length = strlen(keyboardTitles[i]);
        EXPECT_GT(length, 0u) << i;
        EXPECT_LE(length, 30u) << i << " " << keyboardTitles[i];
        names.insert(keyboardTitles[i]);
    }
    EXPECT_EQ(names.size(), 316u);
}
