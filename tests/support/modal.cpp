// Driving modal windows from inside their own loops: message boxes, dialogs, WinMain.
#include "support.h"
#include <algorithm>

static ModalDriver* activeDriver;

ModalDriver* modalDriver() { return activeDriver; }

ModalDriver::ModalDriver(DWORD watchdogMs) : watchdogMs(watchdogMs)
{
    activeDriver = this;
    // A thread timer is dispatched by whichever message loop runs on this thread,
    // the modal loops of MessageBoxA and DialogBoxParamA included.
    timer = SetTimer(0, 0, 15, tick);
}

ModalDriver::~ModalDriver()
{
    KillTimer(0, timer);
    activeDriver = 0;
    MSG msg;
    while (PeekMessageA(&msg, (HWND)-1, WM_TIMER, WM_TIMER, PM_REMOVE)) {}
}

void ModalDriver::onDialog(const char* caption, std::function<void(HWND)> action)
{
    dialogCaption = caption;
    dialogAction = action;
    dialogDone = false;
}

void ModalDriver::closeWhen(HWND dialog, std::function<bool()> done)
{
    closing = dialog;
    closeCondition = done;
}

void ModalDriver::onMessageBox(std::function<void(HWND)> action)
{
    boxAction = action;
    boxActed = false;
}

void CALLBACK ModalDriver::tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (activeDriver) activeDriver->check();
}

static BOOL CALLBACK collect(HWND window, LPARAM list)
{
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && strcmp(className, "#32770") == 0)
        ((std::vector<HWND>*)list)->push_back(window);
    return TRUE;
}

// The modeless keyboard is left out: nothing waits for it to close.
static bool openLongerThan(HWND dialog, DWORD limit)
{
    if (dialog == keyboardDialog) return false;
    DWORD now = GetTickCount();
    if (!GetPropA(dialog, "since")) SetPropA(dialog, "since", (HANDLE)(UINT_PTR)(now | 1));
    return (LONG)(now - (DWORD)(UINT_PTR)GetPropA(dialog, "since")) > (LONG)limit;   // |1 made it late by one
}

void ModalDriver::check()
{
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), collect, (LPARAM)&dialogs);
    if (closing && IsWindow(closing) && closeCondition()) {
        HWND dialog = closing;
        closing = 0;
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    for (HWND dialog : dialogs) {
        if (openLongerThan(dialog, watchdogMs)) {
            ADD_FAILURE() << "\"" << windowText(dialog) << "\" still open after " << watchdogMs << " ms";
            EndDialog(dialog, 0);
            continue;
        }
        HWND text = GetDlgItem(dialog, 0xFFFF);     // a message box's text control
        if (text && windowText(dialog) != dialogCaption) {
            if (GetPropA(dialog, "seen")) continue;
            if (!GetPropA(dialog, "read")) {
                SetPropA(dialog, "read", (HANDLE)1);
                messageCaptions.push_back(windowText(dialog));
                messageTexts.push_back(windowText(text));
                if (boxAction && !boxActed) {
                    boxActed = true;
                    boxAction(dialog);
                    continue;           // dismissed on the next tick
                }
            }
            SetPropA(dialog, "seen", (HANDLE)1);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            continue;
        }
        if (!dialogDone && dialogAction && windowText(dialog) == dialogCaption) {
            dialogDone = true;
            dialogAction(dialog);
        }
    }
}

static std::function<void()> winMainAction;
static bool winMainActed;
static Watchdog* winMainWatchdog;

static void CALLBACK winMainTick(HWND, UINT, UINT_PTR, DWORD)
{
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), collect, (LPARAM)&dialogs);
    bool modal = std::count_if(dialogs.begin(), dialogs.end(), [](HWND d) { return d != keyboardDialog; }) > 0;
    if (winMainActed || modal || !mainWindow || !IsWindowVisible(mainWindow)) return;
    // Only inside the main loop: start-up is over once the device table is settled.
    winMainActed = true;
    winMainWatchdog->disarm();
    winMainAction();
}

int runWinMain(std::function<void()> whileRunning)
{
    HINSTANCE instance = GetModuleHandleA(0);
    UnregisterClassA(MAIN_CLASS_NAME, instance);
    resetGameState();
    mainWindow = 0;
    winMainAction = whileRunning;
    winMainActed = false;
    Watchdog watchdog("the main window shown, with no box over it, and its message loop running");
    winMainWatchdog = &watchdog;
    UINT_PTR timer = SetTimer(0, 0, 30, winMainTick);
    int exitCode = WinMain(instance, 0, (LPSTR) "", SW_SHOWNORMAL);
    KillTimer(0, timer);
    watchdog.disarm();          // start-up may end before the loop
    if (mainWindow) DestroyWindow(mainWindow);
    if (keyboardDialog) DestroyWindow(keyboardDialog);
    keyboardDialog = 0;
    mainWindow = 0;
    UnregisterClassA(MAIN_CLASS_NAME, instance);
    pumpMessages();
    dropPosted();
    return exitCode;
}
