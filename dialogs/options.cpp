// The note filter dialog: each box enables one note at once; closing saves the choice.
#include "dialogs/dialogs.h"
#include "app/app.h"
#include "notes/notes.h"
#include "resources/resource.h"

// The row enabled again when the player closes with every box cleared: middle C.
#define FALLBACK_ROW 13

// The box is owned by the dialog, not by the main window that this modal dialog has
// disabled: an owned window stays in front of its owner, so no click can raise the dialog
// over it, and its owner, disabled while it shows (nothing there acts in the middle of this
// save), takes activation back when it goes. With the main window as its owner, Windows
// would hand activation to some other window instead: the on-screen keyboard, whose next
// Enter or Esc closes it, or another program.
static void showMessageOver(HWND dialog, const char* text)
{
    showMessage(text, dialog);
}

// The dialog is disabled while a box shows, so no click or key closes it then; a Close sent
// to it meanwhile (IDOK, IDCANCEL) still arrives through the box's modal loop, and is ignored.
static int saving;

static void saveAndClose(HWND dialog)
{
    if (saving) return;
    saving = 1;
    if (!anyNoteEnabled()) {
        showMessageOver(dialog, "At least ONE note must be checked!");
        if (!anyNoteEnabled()) {    // the flags as the box leaves them
            noteTable[FALLBACK_ROW].enabled = 1;
            CheckDlgButton(dialog, IDC_NOTE_BOX_FIRST + FALLBACK_ROW, BST_CHECKED);
        }
    }
    // A folder we may not write to must not pass silently; the choice still holds in
    // memory until the program ends.
    if (!saveNoteSettings())
        showMessageOver(dialog, "Your note choice could not be saved to tunegrin.ini. "
                                "It holds until TuneGrin is closed.");
    saving = 0;
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK optionsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        for (int row = 0; row < NOTE_COUNT; row++)
            CheckDlgButton(dialog, IDC_NOTE_BOX_FIRST + row,
                           noteTable[row].enabled ? BST_CHECKED : BST_UNCHECKED);
        return 1;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id >= IDC_NOTE_BOX_FIRST && id <= IDC_NOTE_BOX_LAST) {
            // The automatic box flips its own tick; the flag follows it at the click.
            NoteEntry* row = &noteTable[id - IDC_NOTE_BOX_FIRST];
            row->enabled = !row->enabled;
            return 1;
        }
        if (id != IDOK && id != IDCANCEL) return 0;
        saveAndClose(dialog);
        return 1;
    }
    }
    return 0;
}
