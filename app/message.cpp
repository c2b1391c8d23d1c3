// The one way a problem reaches the player: a beep and a modal box, owned by the main window
// or by the dialog that shows it.
#include "app/app.h"

void showMessage(const char* text, HWND owner)
{
    MessageBeep(0);
    MessageBoxA(owner ? owner : mainWindow, text, APP_TITLE, MB_OK);
}
