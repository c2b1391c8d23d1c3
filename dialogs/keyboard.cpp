// The modeless on-screen keyboard: a press on a white key posts that key's note.
#include "dialogs/dialogs.h"
#include "app/app.h"
#include "notes/notes.h"
#include "resources/resource.h"

HWND keyboardDialog;

// White keys 207..221 are B2 up to B4, the notes the game asks. The six white keys below
// them and every black key post SCREEN_KEY_NONE, which is never the note asked: the game
// judges it a wrong answer and takes a mark away.
static const int whiteKeyNotes[] = { 59, 60, 62, 64, 65, 67, 69, 71, 72, 74, 76, 77, 79, 81, 83 };

// The key map: SCREEN_KEY_NONE for a control that is no answering key.
static int keyNoteForControl(int id)
{
    if (id < IDC_ANSWER_KEY_FIRST || id > IDC_WHITE_KEY_LAST) return SCREEN_KEY_NONE;
    return whiteKeyNotes[id - IDC_ANSWER_KEY_FIRST];
}

void openKeyboard()
{
    if (keyboardDialog) {           // already open: keep its caption and the random sequence
        SetActiveWindow(keyboardDialog);
        return;
    }
    keyboardDialog = CreateDialogParamA(appInstance, "KeyBoard", mainWindow, keyboardProc, 0);
    SetWindowTextA(keyboardDialog, keyboardTitles[randomDraw() % KEYBOARD_TITLE_COUNT]);
}

// The keys are plain statics without SS_NOTIFY, so presses land on the dialog itself;
// a black key lies above the white key it covers and wins.
static void pressKey(HWND dialog, LPARAM lParam)
{
    POINT point = { (LONG)LOWORD(lParam), (LONG)HIWORD(lParam) };
    HWND key = ChildWindowFromPoint(dialog, point);
    int note = SCREEN_KEY_NONE;
    if (key && key != dialog) note = keyNoteForControl(GetDlgCtrlID(key));
    PostMessageA(mainWindow, WM_SCREEN_KEY, (WPARAM)(note & 0xFFFF), 0);
}

INT_PTR CALLBACK keyboardDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return 1;
    case WM_LBUTTONDOWN:
        pressKey(dialog, lParam);   // posted, so it is judged in order with MIDI input
        return 0;
    case WM_COMMAND:                // Enter, Esc and the close box all close it
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return 0;
        DestroyWindow(dialog);      // modeless, so no EndDialog
        keyboardDialog = 0;
        return 1;
    }
    return 0;
}
