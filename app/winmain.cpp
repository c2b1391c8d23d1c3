// Process entry: window class, main window, message loop and orderly shutdown.
#include "app/app.h"
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "midi/midi.h"
#include "notes/notes.h"
#include <objbase.h>
#include <shobjidl.h>
#include <time.h>

HINSTANCE appInstance;
HWND mainWindow;
int screenWidth;
int screenHeight;
DLGPROC keyboardProc;

ATOM registerMainClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = mainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, APP_ICON_NAME);
    windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszMenuName = MAIN_MENU_NAME;
    windowClass.lpszClassName = MAIN_CLASS_NAME;
    return RegisterClassA(&windowClass);
}

// Windows keeps its taskbar above a desktop-sized window that has a caption and a menu bar,
// over the score row, unless the window says it is full screen. ole32 is imported, not
// loaded: Windows 95 has these three calls; before XP there is no ITaskbarList2, the call
// fails, and the taskbar stays as it was.
static void markFullscreen(HWND window)
{
    if (FAILED(CoInitialize(0))) return;            // an apartment on the window thread
    ITaskbarList2* taskbar = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, 0, CLSCTX_INPROC_SERVER, IID_ITaskbarList2,
                                   (void**)&taskbar))) {
        if (SUCCEEDED(taskbar->HrInit())) taskbar->MarkFullscreenWindow(window, TRUE);
        taskbar->Release();
    }
    CoUninitialize();
}

BOOL initInstance(HINSTANCE instance, int showCommand)
{
    keyboardProc = keyboardDlgProc;
    appInstance = instance;

    // The window procedure sets up the score-row geometry from these on its very first
    // message, which arrives during CreateWindowExA: they must be known before it.
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    screenWidth = desktop.right;
    screenHeight = desktop.bottom;

    mainWindow = CreateWindowExA(0, MAIN_CLASS_NAME, APP_TITLE, WS_OVERLAPPEDWINDOW,
                                 0, 0, screenWidth, screenHeight, 0, 0, instance, 0);
    if (!mainWindow) return 0;

    loadBitmaps();
    loadNoteSettings();
    ShowWindow(mainWindow, showCommand);
    UpdateWindow(mainWindow);           // the first paint, with sprites and settings in place
    markFullscreen(mainWindow);         // the taskbar's own record: the window stays as it is
    randomSeed((uint32_t)time(0));
    return 1;
}

int runMessageLoop()
{
    MSG msg;
    for (;;) {
        BOOL result = GetMessageA(&msg, 0, 0, 0);
        if (result == 0) break;
        // -1 is an error with no message filled in: dispatching it would act on garbage.
        if (result == -1) return 0;
        if (keyboardDialog && IsDialogMessageA(keyboardDialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    if (!registerMainClass(instance)) return 0;
    if (!initInstance(instance, showCommand)) return 0;
    int failure = midiStartup();
    if (failure) return failure;
    int exitCode = runMessageLoop();
    midiShutdown();
    return exitCode;
}
