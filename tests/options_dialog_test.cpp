// The note filter dialog from the real resources: ticks, what it saves, and the game's
// next turns.
#include "support.h"

class NoteFilterDialog : public testing::Test {
protected:
    TempFolder folder;
    void SetUp() override { openGameWindow(); }
    void TearDown() override { closeGameWindow(); }

    // Opens the dialog as the menu does and hands it to `action` inside its modal loop, and
    // its first message box, with the dialog, to `whileBoxShows`; gives the boxes' texts.
    std::vector<std::string> withOptions(std::function<void(HWND)> action,
                                         std::function<void(HWND, HWND)> whileBoxShows = nullptr)
    {
        ModalDriver driver;
        HWND opened = 0;
        driver.onDialog("Options", [&](HWND dialog) { opened = dialog; action(dialog); });
        if (whileBoxShows) driver.onMessageBox([&](HWND box) { whileBoxShows(opened, box); });
        command(IDM_OPTIONS);
        return driver.messageTexts;
    }
    // Ticks these boxes alone, in this order, and closes the dialog.
    std::vector<std::string> tickOnly(std::vector<int> boxes)
    {
        return withOptions([&](HWND dialog) {
            clearAll(dialog);
            for (int id : boxes) click(dialog, id);
            SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
    }
    static void click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }
    static void clearAll(HWND dialog)
    {
        for (int id = IDC_NOTE_BOX_FIRST; id <= IDC_NOTE_BOX_LAST; id++)
            if (IsDlgButtonChecked(dialog, id)) click(dialog, id);
    }
    static int enabledCount()
    {
        int count = 0;
        for (int row = 0; row < NOTE_COUNT; row++) count += noteTable[row].enabled;
        return count;
    }
};

// With no settings file every box starts ticked, and Close saves the full list.
TEST_F(NoteFilterDialog, TemplateHasTheGroupTheFifteenBoxesTickedAndClose)
{
    ASSERT_FALSE(settingsFileExists());
    withOptions([&](HWND dialog) {
        EXPECT_EQ(windowText(dialog), "Options");
        EXPECT_EQ(dialogItemText(dialog, IDC_NOTE_GROUP), "Note Filter");
        EXPECT_EQ(dialogItemText(dialog, IDOK), "&Close");
        EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
        for (int row = 0; row < NOTE_COUNT; row++) {       // B-4 down to B-2, a natural a box
            HWND box = GetDlgItem(dialog, IDC_NOTE_BOX_FIRST + row);
            ASSERT_NE(box, nullptr) << row;
            EXPECT_EQ(windowText(box), "BAGFEDC"[row % 7] + std::string("-") + std::to_string(4 - row / 7));
            EXPECT_EQ(GetWindowLongA(box, GWL_STYLE) & 0xF, BS_AUTOCHECKBOX);
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_NOTE_BOX_FIRST + row), BST_CHECKED) << row;
        }
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDC_NOTE_BOX_FIRST) << "the first box has the focus";
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(savedNotes(), "B4,A4,G4,F4,E4,D4,C4,B3,A3,G3,F3,E3,D3,C3,B2");
}

TEST_F(NoteFilterDialog, TicksFollowTheFlagsWhenOpened)
{
    for (int row = 0; row < NOTE_COUNT; row++) noteTable[row].enabled = row % 3 == 0;
    withOptions([](HWND dialog) {
        for (int row = 0; row < NOTE_COUNT; row++)
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_NOTE_BOX_FIRST + row), row % 3 == 0 ? 1u : 0u) << row;
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(savedNotes(), "B4,F4,C4,G3,D3");
}

TEST_F(NoteFilterDialog, SavesTheTickedNotesInTableOrderWhateverTheClickOrder)
{
    withOptions([](HWND dialog) {
        clearAll(dialog);
        click(dialog, 313);
        click(dialog, 314);
        EXPECT_EQ(noteTable[13].enabled, 1) << "the flag changes at the click";
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(savedNotes(), "C3,B2");
    for (auto order : { std::vector<int>{ 301, 311 }, std::vector<int>{ 311, 301 } }) {
        tickOnly(order);
        EXPECT_EQ(savedNotes(), "A4,E3");
    }
    tickOnly({ 300 });
    EXPECT_EQ(savedNotes(), "B4");
}

TEST_F(NoteFilterDialog, EscapeSavesJustAsCloseDoes)
{
    withOptions([](HWND dialog) {
        click(dialog, 300);
        click(dialog, 305);
        // Through the dialog's own loop, as the key would arrive.
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(savedNotes(), "A4,G4,F4,E4,C4,B3,A3,G3,F3,E3,D3,C3,B2");
    withOptions([](HWND dialog) {
        click(dialog, 301);
        SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);     // the close box
    });
    EXPECT_EQ(savedNotes(), "G4,F4,E4,C4,B3,A3,G3,F3,E3,D3,C3,B2");
}

TEST_F(NoteFilterDialog, ClickingABoxTwiceLeavesFlagAndTickAsTheyWere)
{
    withOptions([](HWND dialog) {
        click(dialog, 307);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 307), 0u);
        EXPECT_EQ(noteTable[7].enabled, 0);
        click(dialog, 307);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 307), 1u);
        EXPECT_EQ(noteTable[7].enabled, 1);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(enabledCount(), 15);
}

TEST_F(NoteFilterDialog, WhatIsSavedIsWhatTheNextStartReads)
{
    tickOnly({ 300, 302, 306, 309, 312, 314 });
    std::vector<int> before;
    for (int row = 0; row < NOTE_COUNT; row++) before.push_back(noteTable[row].enabled);
    for (int row = 0; row < NOTE_COUNT; row++) noteTable[row].enabled = 1;
    loadNoteSettings();
    for (int row = 0; row < NOTE_COUNT; row++) EXPECT_EQ(noteTable[row].enabled, before[row]) << row;
    EXPECT_EQ(enabledCount(), 6);
}

TEST_F(NoteFilterDialog, AChoiceMadeDuringAGameHoldsFromTheNextTurn)
{
    randomSeed(5);
    command(IDM_START);
    int asked = targetNote;
    tickOnly({ 313 });
    EXPECT_EQ(targetNote, asked) << "the note on the staff is not affected";
    for (int turn = 0; turn < 20; turn++) {
        command(IDM_START);
        ASSERT_EQ(targetNote, 60);
    }
}

// A player clicks the dialog behind its box: B-4's box, Close, then the close box. The box
// is moved aside first, so that the clicks fall on the dialog and not on the box.
static void tickAndCloseBehind(HWND dialog, HWND box)
{
    RECT boxRect;
    GetWindowRect(box, &boxRect);
    SetWindowPos(box, 0, GetSystemMetrics(SM_CXSCREEN) - (boxRect.right - boxRect.left),
                 GetSystemMetrics(SM_CYSCREEN) - (boxRect.bottom - boxRect.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(clickAsPlayer(GetDlgItem(dialog, IDC_NOTE_BOX_FIRST)));
    EXPECT_TRUE(clickAsPlayer(GetDlgItem(dialog, IDOK)));
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);      // its close box
}

// Every box cleared: one warning, then exactly one note, ticked, saved alone and written
// once. A file that cannot be written: one report, and the choice holds in memory.
TEST_F(NoteFilterDialog, ClearingEveryBoxOrAFileThatCannotBeWrittenWarnsOnceAndNothingActsUnderTheBox)
{
    unsigned ticked = 0;
    std::vector<std::string> messages = withOptions([&](HWND dialog) {
        clearAll(dialog);
        EXPECT_EQ(enabledCount(), 0);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        for (int id = IDC_NOTE_BOX_FIRST; id <= IDC_NOTE_BOX_LAST; id++)
            ticked += IsDlgButtonChecked(dialog, id);
    }, tickAndCloseBehind);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "At least ONE note must be checked!");
    EXPECT_EQ(noteTable[0].enabled, 0) << "B-4 was ticked under the box";
    EXPECT_EQ(enabledCount(), 1);
    EXPECT_EQ(ticked, 1u) << "the kept note's box is ticked again";
    int row = 0;
    while (row < NOTE_COUNT - 1 && !noteTable[row].enabled) row++;
    EXPECT_EQ(savedNotes(), noteTable[row].name);

    DeleteFileA("tunegrin.ini");
    ASSERT_TRUE(CreateDirectoryA("tunegrin.ini", 0));
    messages = withOptions([](HWND dialog) {
        clearAll(dialog);
        click(dialog, 313);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    }, tickAndCloseBehind);
    ASSERT_EQ(messages.size(), 1u) << "a second Close wrote again";
    EXPECT_NE(messages[0].find("could not be saved"), std::string::npos) << messages[0];
    EXPECT_EQ(noteTable[0].enabled, 0) << "B-4 was ticked under the box";
    EXPECT_EQ(enabledCount(), 1);
    EXPECT_EQ(noteTable[13].enabled, 1);
    for (int turn = 0; turn < 10; turn++) {
        command(IDM_START);
        ASSERT_EQ(targetNote, 60);
    }
}

// Windows activated on this thread, in order, and their captions, from a CBT hook.
static std::vector<HWND> activations;
static std::string activated;
static LRESULT CALLBACK recordActivation(int code, WPARAM window, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) activations.push_back((HWND)window), activated += " \"" + windowText((HWND)window) + "\"";
    return CallNextHookEx(0, code, window, lParam);
}

// Whichever window Windows activates when the box goes takes the player's next keys: the
// on-screen keyboard, whose Enter or Esc closes it, or another program. It must be the
// dialog, and after Close the game. Nor may the dialog come in front of its box.
TEST_F(NoteFilterDialog, AfterItsBoxTheDialogIsActiveAndAfterCloseTheGame)
{
    for (bool keyboardOpen : { false, true }) {
        SCOPED_TRACE(keyboardOpen ? "keyboard open" : "keyboard closed");
        if (keyboardOpen) command(IDM_KEYBOARD);
        HWND options = 0;
        size_t boxShown = 0;
        bool boxInFront = false;
        activations.clear();
        activated.clear();
        HHOOK hook = SetWindowsHookExA(WH_CBT, recordActivation, 0, GetCurrentThreadId());
        withOptions([](HWND dialog) {
            clearAll(dialog);
            SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        }, [&](HWND dialog, HWND box) {
            options = dialog, boxShown = activations.size();
            // Whatever raises the dialog, a click or the window manager, raises the box with it.
            SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            for (HWND below = GetWindow(box, GW_HWNDNEXT); below && !boxInFront; below = GetWindow(below, GW_HWNDNEXT))
                boxInFront = below == dialog;
        });
        UnhookWindowsHookEx(hook);
        EXPECT_TRUE(boxInFront) << "the dialog came in front of its box";
        // Whatever Windows activates as the box goes, the dialog takes it back before Close.
        ASSERT_GE(activations.size(), boxShown + 2) << "activated:" << activated;
        EXPECT_EQ(activations[activations.size() - 2], options) << "activated:" << activated;
        EXPECT_EQ(activations.back(), mainWindow) << "activated:" << activated;
        EXPECT_EQ(GetActiveWindow(), mainWindow);
        EXPECT_EQ(GetForegroundWindow(), mainWindow);
    }
}
