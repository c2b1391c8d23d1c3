// The About box: closes on its button, Enter, Esc or the close box.
#include "dialogs/dialogs.h"

INT_PTR CALLBACK aboutDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return 0;
        EndDialog(dialog, 1);
        return 1;
    }
    return 0;
}
