// The game as a separate process: starting and ending it, finding its windows, real input.
#include "driver.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <vector>

// Unbuffered, so that a run cut off by ctest's timeout still shows how far it got.
static const int outputUnbuffered = setvbuf(stdout, 0, _IONBF, 0);

#ifndef TUNEGRIN_EXE
#error "TUNEGRIN_EXE must name the built game"
#endif

HWND findKeyboard(const Game& game)
{
    return findGameWindow(game, "#32770", [](HWND dialog) { return GetDlgItem(dialog, KEY_B2) != 0; });
}

int countKeyboards(const Game& game)
{
    int count = 0;
    findGameWindow(game, "#32770", [&](HWND dialog) {
        if (GetDlgItem(dialog, KEY_B2)) count++;
        return false;                       // go on through every window
    });
    return count;
}

HWND findOptions(const Game& game)
{
    return findGameWindow(game, "#32770", [](HWND dialog) { return windowText(dialog) == "Options"; });
}

testing::AssertionResult launchGame(Game& game, const std::string& folder, const std::string& exe)
{
    std::string path = exe.empty() ? windowsPath(TUNEGRIN_EXE) : exe;
    std::string commandLine = "\"" + path + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(path.c_str(), &commandLine[0], 0, 0, FALSE, 0, 0, folder.c_str(),
                        &startup, &game.process))
        return testing::AssertionFailure() << "cannot start " << path << ": error " << GetLastError();
    bool shown = waitUntil([&] { return (game.window = findMainWindow(game.process.dwThreadId)) != 0; }, 30000, 50);
    if (!shown) return testing::AssertionFailure() << "no TuneGrin window within 30 s";
    // Once its message loop waits for input, start-up is over, the first paint included.
    WaitForInputIdle(game.process.hProcess, 5000);
    return testing::AssertionSuccess();
}

testing::AssertionResult exitsWith(Game& game, DWORD expected, int timeoutMs)
{
    if (WaitForSingleObject(game.process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return testing::AssertionFailure() << "the game is still running after " << timeoutMs << " ms";
    DWORD code = 0;
    GetExitCodeProcess(game.process.hProcess, &code);
    if (code != expected) return testing::AssertionFailure() << "exit code " << code << ", expected " << expected;
    return testing::AssertionSuccess();
}

void closeGameProcess(Game& game)
{
    if (!game.process.hProcess) return;
    if (WaitForSingleObject(game.process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(game.process.hProcess, 99);
        WaitForSingleObject(game.process.hProcess, 10000);
    }
    CloseHandle(game.process.hThread);
    CloseHandle(game.process.hProcess);
    game.process = PROCESS_INFORMATION();
    game.window = 0;
}

int bellsRung()
{
    const char* log = getenv("TUNEGRIN_BELL_LOG");
    if (!log) return -1;
    std::string lines = readWholeFile(windowsPath(log));
    return (int)std::count(lines.begin(), lines.end(), '\n');
}

void postCommand(const Game& game, int id)
{
    PostMessageA(game.window, WM_COMMAND, id, 0);
}

void postCloseBox(HWND window)
{
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void pressKey(WORD virtualKey)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = virtualKey;
    input[0].ki.wScan = input[1].ki.wScan = (WORD)MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void clickWhiteKey(HWND keyboard, int controlId)
{
    RECT key;
    GetWindowRect(GetDlgItem(keyboard, controlId), &key);
    // The black keys cover the upper 34 of the key's 60 dialog units.
    clickAt((key.left + key.right) / 2, key.bottom - (key.bottom - key.top) / 6);
}

void clickControl(HWND dialog, int controlId)
{
    clickAsPlayer(GetDlgItem(dialog, controlId));
}

bool boxTicked(HWND dialog, int controlId)
{
    DWORD_PTR state = 0;                // a game that hangs gives "not ticked", not a hang
    SendMessageTimeoutA(GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0, SMTO_NORMAL, 10000, &state);
    return state == BST_CHECKED;
}
