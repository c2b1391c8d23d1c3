// Drives a separate tunegrin.exe from outside, as a player or an accessibility tool would:
// its process, its windows and dialogs, real mouse and keyboard input, and polling.
#ifndef TUNEGRIN_E2E_DRIVER_H
#define TUNEGRIN_E2E_DRIVER_H

#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "scratch.h"

// The game's menu commands and control ids as a window spy shows them. This program links
// nothing of the game, so they are written out here.
#define GAME_EXIT        2
#define GAME_START     200
#define GAME_STOP      201
#define GAME_KEYBOARD  400
#define GAME_OPTIONS   401
#define KEY_B2         207      // keyboard white keys 207..221 play B2 (MIDI 59) up to B4 (83)
#define KEY_C3         208
#define KEY_B4         221
#define BOX_B4         300      // note filter boxes 300..314 hold B4 down to B2
#define BOX_C3         313
#define BOX_B2         314

struct Game {
    PROCESS_INFORMATION process = {};
    HWND window = 0;
};

// Starts tunegrin.exe (or the copy `exe`) in `folder` (its working directory) and waits for
// its main window.
testing::AssertionResult launchGame(Game& game, const std::string& folder, const std::string& exe = "");
// Waits for the process to end by itself, then checks its exit code.
testing::AssertionResult exitsWith(Game& game, DWORD expected, int timeoutMs = 20000);
// Ends a game that a failed test left running, and lets go of the handles.
void closeGameProcess(Game& game);

// The X server's bells rung on the test's display since the run began, as tests/e2e/bell_watch
// counts them around the test program (Wine's MessageBeep rings that bell); -1 when no one counts.
int bellsRung();

void postCommand(const Game& game, int id);         // as if chosen from the menu
void postCloseBox(HWND window);                     // WM_SYSCOMMAND SC_CLOSE

// Visible top-level windows of the game's thread: dialogs ("#32770") and popup menus.
inline HWND findGameWindow(const Game& game, const char* className, std::function<bool(HWND)> match)
{
    return findThreadWindow(game.process.dwThreadId, className, match);
}
HWND findKeyboard(const Game& game);                // the dialog that has white key 207
int countKeyboards(const Game& game);
HWND findOptions(const Game& game);                 // the dialog captioned "Options"

// Real input through the system's input queue (clickAt for the mouse): the window under the
// pointer, or the one with the focus, gets it.
void pressKey(WORD virtualKey);
// The lower part of a white key, below the black keys that cover its upper part.
void clickWhiteKey(HWND keyboard, int controlId);
void clickControl(HWND dialog, int controlId);     // the centre of a checkbox or button
bool boxTicked(HWND dialog, int controlId);

#endif
