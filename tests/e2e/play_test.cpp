// The built game in a process of its own, played from outside with real clicks and keys, and
// judged only by what it shows, what it saves and how it ends. Needs a small desktop
// (640 x 480): a full score row then takes 30 right answers.
#include "screen.h"

class GameRun : public GameWatch {
protected:
    ScratchFolder folder{ "e2e" };
    int marks = 0;                  // marks the score row should show

    // An idle message loop need not mean its first paint is on the screen yet (under Wine
    // it can come a little later), so a test starts once the staff shows.
    void SetUp() override
    {
        ASSERT_TRUE(launchGame(game, folder.path()));
        ASSERT_TRUE(waitUntil([&] { return staffShown(look()); }, 10000)) << "the staff was never painted";
    }

    testing::AssertionResult openKeyboard()
    {
        postCommand(game, GAME_KEYBOARD);
        // It gets its caption, a random instrument name, right after it shows.
        if (!waitUntil([&] { return (keyboard = findKeyboard(game)) && !windowText(keyboard).empty(); }, 10000))
            return testing::AssertionFailure() << (keyboard ? "the keyboard has no caption" : "the keyboard did not open");
        // As a player would, drag it left, its unused low keys off the screen: more of the
        // staff's lower lines shows right of it, and so do the notes on them.
        RECT cover, lowB;
        GetWindowRect(keyboard, &cover);
        GetWindowRect(GetDlgItem(keyboard, KEY_B2), &lowB);
        int left = cover.left - lowB.left;
        SetWindowPos(keyboard, 0, left, cover.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (!waitUntil([&] { GetWindowRect(keyboard, &cover); return cover.left == left; }, 5000))
            return testing::AssertionFailure() << "the keyboard did not move";
        // It must leave the score row in sight.
        POINT bottom = { cover.left, cover.bottom };
        ScreenToClient(game.window, &bottom);
        if (bottom.y >= scoreRowY() - SCORE_SLOT)
            return testing::AssertionFailure() << "the keyboard covers the score row";
        return testing::AssertionSuccess();
    }

    testing::AssertionResult keyboardCloses()
    {
        if (!waitUntil([&] { return !IsWindow(keyboard); }, 5000))
            return testing::AssertionFailure() << "the keyboard is still open";
        keyboard = 0;
        return testing::AssertionSuccess();
    }

    // The next note, answered with its key: one more mark.
    testing::AssertionResult answerRight(NoteSeen* answered = 0)
    {
        NoteSeen note = waitForNote();
        if (note.row < 0) return testing::AssertionFailure() << "no note came (" << marks << " marks so far)";
        if (answered) *answered = note;
        clickWhiteKey(keyboard, keyForRow(note.row));
        marks++;
        testing::AssertionResult shown = waitForMarks(marks);
        if (!shown) return shown << " (after answering the note on staff row " << note.row << ")";
        return shown;
    }

    // A right answer's turn ends with the happy face for the pause; then the note goes.
    testing::AssertionResult turnEndsHappy()
    {
        testing::AssertionResult happy = waitForFace(FACE_HAPPY);
        if (!happy) return happy;
        return waitForFace(FACE_NONE, 15000);
    }
};

class ScreenKeyboardPlay : public GameRun {};

TEST_F(ScreenKeyboardPlay, RightKeysEarnMarksAndAWrongKeyBlanksTheLastOne)
{
    Picture first = look();
    EXPECT_EQ(findNote(first).row, -1) << "a note before the game started";
    EXPECT_EQ(faceOnStaff(first), FACE_NONE);
    EXPECT_TRUE(rowBandIsWhite(first));
    EXPECT_TRUE(gameMenuShows(game, true, false));

    postCommand(game, GAME_START);
    EXPECT_TRUE(gameMenuShows(game, false, true));
    // Opened after the menu: under Wine a click on the menu bar raises the game's window
    // over the keyboard.
    ASSERT_TRUE(openKeyboard());
    for (int turn = 0; turn < 3; turn++) {
        ASSERT_TRUE(answerRight());
        ASSERT_TRUE(turnEndsHappy());
    }

    // A wrong key blanks the last mark; the note goes on and its own key still counts.
    NoteSeen note = waitForNote();
    ASSERT_GE(note.row, 0) << "no fourth note came";
    clickWhiteKey(keyboard, keyForRow((note.row + 7) % NOTE_ROWS));
    ASSERT_TRUE(waitForMarks(2)) << "after a wrong key";
    clickWhiteKey(keyboard, keyForRow(note.row));
    ASSERT_TRUE(waitForMarks(3)) << "after the right key";
    EXPECT_TRUE(waitForFace(FACE_HAPPY));

    // Stop offers Start again; the row stays for the next game.
    postCommand(game, GAME_STOP);
    EXPECT_TRUE(gameMenuShows(game, true, false));
    EXPECT_TRUE(rowShowsMarks(look(), 3));

    postCloseBox(game.window);
    EXPECT_TRUE(exitsWith(game, 0));
}

class MissedNote : public GameRun {};

TEST_F(MissedNote, GetsAMadFaceAndThePauseAfterItWipesTheRow)
{
    ASSERT_TRUE(openKeyboard());
    postCommand(game, GAME_START);
    for (int turn = 0; turn < 2; turn++) {
        ASSERT_TRUE(answerRight());
        ASSERT_TRUE(turnEndsHappy());
    }

    // Esc closes the keyboard (it took the clicks, so it has the focus): now every row of
    // the staff is in sight, the clef end included.
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(keyboardCloses());
    ASSERT_GE(waitForNote().row, 0) << "no third note came";
    ASSERT_TRUE(waitForFace(FACE_MAD, 10000)) << "the unanswered note did not get mad";
    Picture mad = look();
    int faceLeft = 0;
    faceOnStaff(mad, &faceLeft);
    EXPECT_LT(faceLeft, 125) << "the note got mad before it reached the clef";
    EXPECT_TRUE(rowShowsMarks(mad, 2)) << "the row must last until the pause ends";

    ASSERT_TRUE(waitForMarks(0, 6000)) << "the pause did not wipe the row";
    EXPECT_TRUE(waitForFace(FACE_NONE, 1000));

    // Play goes on: the next right answer starts the row again at its first slot.
    ASSERT_TRUE(openKeyboard());
    marks = 0;
    ASSERT_TRUE(answerRight());

    postCommand(game, GAME_EXIT);
    EXPECT_TRUE(exitsWith(game, 0));
}

class FullRow : public GameRun {};

TEST_F(FullRow, TheLastMarkSendsTheWalkerThatClearsTheRowAndPlayGoesOn)
{
    // The row is full once the next free slot would pass the desktop's width less 30.
    int width = GetSystemMetrics(SM_CXSCREEN);
    int fullRow = (width - 30) / SCORE_SLOT;
    ASSERT_LE(fullRow, 40) << "a " << width << "-pixel desktop makes this game too long; use 640 x 480";

    ASSERT_TRUE(openKeyboard());
    postCommand(game, GAME_START);
    // Each turn gets a burst of presses of its note's key: every press that arrives before
    // the next scroll tick counts, so a burst split by a tick just ends its turn early.
    for (int turn = 1;; turn++) {
        ASSERT_LE(turn, fullRow) << "a turn took no mark";
        NoteSeen note = waitForNote();
        ASSERT_GE(note.row, 0) << "no note came (" << marks << " marks so far)";
        for (int press = marks; press < fullRow; press++) clickWhiteKey(keyboard, keyForRow(note.row));
        ASSERT_TRUE(waitForFace(FACE_HAPPY));
        // The face shows on the tick that closed the turn, so the row is final, unless
        // it filled and the walker is on its way from the right edge.
        Picture now = look();
        if (walkerShown(now) || rowShowsMarks(now, fullRow)) break;
        int shown = marks + 1;
        while (shown < fullRow && !rowShowsMarks(now, shown)) shown++;
        ASSERT_TRUE(rowShowsMarks(now, shown)) << "after turn " << turn;
        marks = shown;
        ASSERT_TRUE(waitForFace(FACE_NONE, 15000));
    }
    ASSERT_TRUE(waitUntil([&] { return walkerShown(look()); }, 5000)) << "no walker came";
    ASSERT_TRUE(waitUntil([&] {
        Picture now = look();
        return rowBandIsWhite(now) && !walkerShown(now);
    }, 20000)) << "the walker did not clear the row: " << rowBandIsWhite(look()).message();
    EXPECT_TRUE(waitForFace(FACE_NONE, 5000));

    marks = 0;
    ASSERT_TRUE(answerRight()) << "play after the walker";

    postCloseBox(game.window);
    EXPECT_TRUE(exitsWith(game, 0));
}

class NoteChoice : public GameRun {
protected:
    HWND openOptions()
    {
        postCommand(game, GAME_OPTIONS);
        HWND options = 0;
        waitUntil([&] { return (options = findOptions(game)) != 0; }, 10000);
        return options;
    }

    testing::AssertionResult ticksAre(HWND options, std::function<bool(int)> ticked)
    {
        std::string wrong;
        for (int box = BOX_B4; box <= BOX_B2; box++)
            if (boxTicked(options, box) != ticked(box)) wrong += " " + std::to_string(box);
        if (wrong.empty()) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "boxes not as expected:" << wrong;
    }
};

TEST_F(NoteChoice, OnlyC3TickedIsSavedAndIsTheOnlyNoteAskedAfterARestart)
{
    HWND options = openOptions();
    ASSERT_TRUE(options) << "the Options dialog did not open";
    EXPECT_TRUE(ticksAre(options, [](int) { return true; })) << "with no settings file";
    for (int box = BOX_B4; box <= BOX_B2; box++)
        if (box != BOX_C3) clickControl(options, box);
    EXPECT_TRUE(waitUntil([&] { return (bool)ticksAre(options, [](int box) { return box == BOX_C3; }); }, 5000))
        << ticksAre(options, [](int box) { return box == BOX_C3; }).message();
    clickControl(options, IDOK);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(options); }, 5000)) << "Close did not close the dialog";
    EXPECT_EQ(savedNotes(folder.path()), "C3");
    postCloseBox(game.window);
    ASSERT_TRUE(exitsWith(game, 0));
    closeGameProcess(game);

    ASSERT_TRUE(launchGame(game, folder.path()));
    options = openOptions();
    ASSERT_TRUE(options) << "the Options dialog did not open after the restart";
    EXPECT_TRUE(ticksAre(options, [](int box) { return box == BOX_C3; })) << "after the restart";
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(options); }, 5000)) << "Esc did not close the dialog";
    EXPECT_EQ(savedNotes(folder.path()), "C3");

    ASSERT_TRUE(openKeyboard());
    postCommand(game, GAME_START);
    for (int turn = 0; turn < 4; turn++) {
        NoteSeen note;
        ASSERT_TRUE(answerRight(&note));
        EXPECT_EQ(note.row, 13) << "turn " << turn << " asked staff row " << note.row << ", not C3";
        ASSERT_TRUE(turnEndsHappy());
    }

    postCommand(game, GAME_EXIT);
    EXPECT_TRUE(exitsWith(game, 0));
}

class KeyboardWindow : public GameRun {};

TEST_F(KeyboardWindow, ClosesWithEscEnterOrItsCloseBoxAndOpensOnlyOnce)
{
    ASSERT_TRUE(openKeyboard());
    // With no game running, presses are ignored. They also make the keyboard the active
    // window, so the keys typed next go to it.
    clickWhiteKey(keyboard, KEY_C3);
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(keyboardCloses());

    ASSERT_TRUE(openKeyboard());
    clickWhiteKey(keyboard, KEY_B4);
    pressKey(VK_RETURN);
    ASSERT_TRUE(keyboardCloses());

    ASSERT_TRUE(openKeyboard());
    postCloseBox(keyboard);
    ASSERT_TRUE(keyboardCloses());

    // The Keyboard command with the keyboard open keeps that one, caption and all. The
    // command after it starts a game: once its note shows, both have been handled.
    ASSERT_TRUE(openKeyboard());
    HWND first = keyboard;
    std::string caption = windowText(keyboard);
    postCommand(game, GAME_KEYBOARD);
    postCommand(game, GAME_START);
    ASSERT_GE(waitForNote().row, 0) << "no note came";
    EXPECT_EQ(countKeyboards(game), 1);
    EXPECT_EQ(findKeyboard(game), first);
    EXPECT_EQ(windowText(first), caption);
    EXPECT_TRUE(rowBandIsWhite(look())) << "an idle press counted";

    postCommand(game, GAME_EXIT);
    EXPECT_TRUE(exitsWith(game, 0));
}
