// Looks at an installed TuneGrin as the Windows shell and a player would, for the install tests.
//   install_probe shortcut NAME       the link NAME in the user's Start-menu programs, read by
//                                     the shell's own link object: prints "target=..." and
//                                     "folder=...", or "missing" with exit code 3
//   install_probe run PROGRAM FOLDER  starts PROGRAM in FOLDER, waits for its main window,
//                                     closes it and expects exit code 0
//   install_probe wait                waits for the game's main window of any process
//   install_probe close               closes it: exit code 0, or 3 when there is none (yet)
//   install_probe play                starts a game in it, as the menu's Start does, then closes it
//   install_probe answer MIDI         starts a game in it and answers the first note with MIDI,
//                                     as the on-screen keyboard does; the game goes on
//   install_probe keyboard            starts a game in it and opens the on-screen keyboard:
//                                     prints "client=X,Y" and middle C's key, "key=L,T,R,B", in
//                                     the game's own screen coordinates
//   install_probe place ID            where the control ID of the game's dialog that takes
//                                     input (a modal box over a disabled dialog is the one) is
//                                     on the screen: "X Y WIDTH HEIGHT" (ID 0: the dialog itself),
//                                     as Wine has it, then the dialog's "DIALOG-X DIALOG-Y X-WINDOW"
//                                     (its X window, 0 when Wine tells none), or exit code 3 at
//                                     once when there is none
//   install_probe cursor              where the pointer is as Wine has it: "X Y", and "down"
//                                     after them while its left button is held
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "scratch.h"
#include "resource.h"
#include "app/app.h"

static const DWORD WAIT_MS = 20000;    // far above a start-up under Wine (about a second)

static int readShortcut(const char* name)
{
    char path[MAX_PATH];
    if (SHGetFolderPathA(0, CSIDL_PROGRAMS, 0, SHGFP_TYPE_CURRENT, path) != S_OK) {
        printf("no Start-menu programs folder\n");
        return 1;
    }
    strcat(path, "\\");
    strcat(path, name);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        printf("missing\n");
        return 3;
    }
    WCHAR widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);
    CoInitialize(0);
    IShellLinkA* link = 0;
    IPersistFile* file = 0;
    char target[MAX_PATH] = "", folder[MAX_PATH] = "";
    if (FAILED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void**)&link))
        || FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file))
        || FAILED(file->Load(widePath, STGM_READ))
        || FAILED(link->GetPath(target, MAX_PATH, 0, SLGP_RAWPATH))
        || FAILED(link->GetWorkingDirectory(folder, MAX_PATH))) {
        printf("%s is not a readable shortcut\n", path);
        return 1;
    }
    printf("target=%s\nfolder=%s\n", target, folder);
    return 0;
}

// The game's main window of any process: of its class, titled "TuneGrin", visible.
static BOOL CALLBACK matchGameWindow(HWND window, LPARAM found)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (!IsWindowVisible(window) || strcmp(className, "TuneGrinWClass") != 0 || windowText(window) != "TuneGrin")
        return TRUE;
    *(HWND*)found = window;
    return FALSE;
}

static int runGame(const char* program, const char* folder)
{
    char commandLine[MAX_PATH + 2];
    snprintf(commandLine, sizeof commandLine, "\"%s\"", program);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program, commandLine, 0, 0, FALSE, 0, 0, folder, &startup, &process)) {
        printf("could not start %s in %s (error %lu)\n", program, folder, GetLastError());
        return 1;
    }
    HWND found = 0;
    for (DWORD waited = 0; !found && waited < WAIT_MS; waited += 50) {
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
        found = findMainWindow(process.dwThreadId);
    }
    if (!found) {
        printf("%s showed no visible window \"TuneGrin\" of class TuneGrinWClass\n", program);
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    PostMessageA(found, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    if (WaitForSingleObject(process.hProcess, WAIT_MS) != WAIT_OBJECT_0) {
        printf("%s did not end after WM_CLOSE\n", program);
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (exitCode != 0) {
        printf("%s ended with exit code %lu\n", program, exitCode);
        return 1;
    }
    return 0;
}

// Finds the game's window (waiting for it unless only closing); "play" starts a game in it
// first, as the menu's Start does, and then closes it.
static int findGame(bool close, bool play = false, int answer = -1)
{
    HWND found = 0;
    for (DWORD waited = 0; !found && waited < WAIT_MS; waited += 50) {
        EnumWindows(matchGameWindow, (LPARAM)&found);
        if (close && !play) break;
        Sleep(50);
    }
    if (!found) return 3;
    if (play) SendMessageA(found, WM_COMMAND, IDM_START, 0);
    if (answer >= 0) {
        PostMessageA(found, WM_SCREEN_KEY, answer, 0);   // the note waits from the start
        POINT client = {0, 0};
        ClientToScreen(found, &client);
        printf("client=%ld,%ld\n", client.x, client.y);
    }
    if (close) {
        PostMessageA(found, WM_CLOSE, 0, 0);
        printf("closed\n");    // said before Wine tears down: its exit code can lose the race
        fflush(stdout);
    }
    return 0;
}

// The on-screen keyboard: the game thread's visible dialog owned by the game's window.
static BOOL CALLBACK matchKeyboard(HWND window, LPARAM found)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (!IsWindowVisible(window) || strcmp(className, "#32770") != 0 || !GetDlgItem(window, IDC_ANSWER_KEY_FIRST + 1))
        return TRUE;
    *(HWND*)found = window;
    return FALSE;
}

static int openKeyboard()
{
    HWND game = 0, keyboard = 0;
    for (DWORD waited = 0; !game && waited < WAIT_MS; waited += 50) {
        EnumWindows(matchGameWindow, (LPARAM)&game);
        Sleep(50);
    }
    if (!game) return 3;
    SendMessageA(game, WM_COMMAND, IDM_START, 0);
    SendMessageA(game, WM_COMMAND, IDM_KEYBOARD, 0);
    DWORD thread = GetWindowThreadProcessId(game, 0);
    for (DWORD waited = 0; !keyboard && waited < WAIT_MS; waited += 50) {
        EnumThreadWindows(thread, matchKeyboard, (LPARAM)&keyboard);
        if (!keyboard) Sleep(50);
    }
    if (!keyboard) {
        printf("the on-screen keyboard did not open\n");
        return 1;
    }
    POINT client = {0, 0};
    ClientToScreen(game, &client);
    RECT key;
    GetWindowRect(GetDlgItem(keyboard, IDC_ANSWER_KEY_FIRST + 1), &key);     // middle C, MIDI 60
    printf("client=%ld,%ld\nkey=%ld,%ld,%ld,%ld\n", client.x, client.y, key.left, key.top, key.right, key.bottom);
    return 0;
}

// The game's visible, enabled dialog (window class #32770) that has the control ID.
struct DialogSearch { DWORD process; int id; HWND found; };
static BOOL CALLBACK matchDialog(HWND window, LPARAM lParam)
{
    DialogSearch* search = (DialogSearch*)lParam;
    char className[16] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, className, sizeof className);
    if (process != search->process || strcmp(className, "#32770") != 0 || !IsWindowVisible(window)
        || !IsWindowEnabled(window) || (search->id != 0 && !GetDlgItem(window, search->id)))
        return TRUE;
    search->found = search->id ? GetDlgItem(window, search->id) : window;
    return FALSE;
}

static int placeControl(int id)
{
    HWND game = 0;
    DialogSearch search = { 0, id, 0 };
    EnumWindows(matchGameWindow, (LPARAM)&game);
    if (game) GetWindowThreadProcessId(game, &search.process);
    if (game) EnumWindows(matchDialog, (LPARAM)&search);
    if (!search.found) {
        printf("no dialog of the game with control %d\n", id);
        return 3;
    }
    RECT place, dialog;
    GetWindowRect(search.found, &place);
    HWND box = search.id ? GetParent(search.found) : search.found;
    GetWindowRect(box, &dialog);
    // Wine's X11 driver names each window's X window in this property: a window manager may
    // place a box where Wine does not know it, and the screen shows it there.
    HANDLE window = GetPropA(box, "__wine_x11_whole_window");
    printf("%ld %ld %ld %ld %ld %ld %lu\n", place.left, place.top, place.right - place.left,
           place.bottom - place.top, dialog.left, dialog.top, (unsigned long)(ULONG_PTR)window);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "wait") == 0) return findGame(false);
    if (argc == 2 && strcmp(argv[1], "close") == 0) return findGame(true);
    if (argc == 2 && strcmp(argv[1], "play") == 0) return findGame(true, true);
    if (argc == 3 && strcmp(argv[1], "answer") == 0) return findGame(false, true, atoi(argv[2]));
    if (argc == 2 && strcmp(argv[1], "keyboard") == 0) return openKeyboard();
    if (argc == 2 && strcmp(argv[1], "cursor") == 0) {
        POINT cursor;
        GetCursorPos(&cursor);
        printf("%ld %ld%s\n", cursor.x, cursor.y, GetAsyncKeyState(VK_LBUTTON) & 0x8000 ? " down" : "");
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "place") == 0) return placeControl(atoi(argv[2]));
    if (argc == 3 && strcmp(argv[1], "shortcut") == 0) return readShortcut(argv[2]);
    if (argc == 4 && strcmp(argv[1], "run") == 0) return runGame(argv[2], argv[3]);
    printf("usage: install_probe shortcut NAME | run PROGRAM FOLDER | wait | close | play | answer MIDI | keyboard | place ID | cursor\n");
    return 2;
}
