// Test helpers that look at the game as a player would: the window's pixels, its menu,
// posted messages, message boxes, dialogs, and settings files in a temporary folder.
#ifndef TUNEGRIN_TEST_SUPPORT_H
#define TUNEGRIN_TEST_SUPPORT_H

#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "dialogs/dialogs.h"
#include "game/game.h"
#include "midi/midi.h"
#include "notes/notes.h"
#include "resources/resource.h"
#include "scratch.h"

// A fresh temporary folder made the current directory; removed again on destruction.
class TempFolder : public ScratchFolder {
public:
    TempFolder();
    ~TempFolder();
private:
    std::string previous;
};

// Writes tunegrin.ini in the current folder with notes=value (raw bytes, as a player's
// editor would leave them); a null value writes no file at all.
void writeSettingsFile(const char* value);
bool settingsFileExists();

// The main window as initInstance makes it, with the game globals back at their values
// at process start. `settings` is written first (null: no file).
void openGameWindow(const char* settings = 0);
void closeGameWindow();
void resetGameState();

static const int C3 = 60, D3 = 62;

// A channel-1 note-on as a MIDI keyboard packs it.
inline DWORD noteOn(int note, int velocity) { return 0x90 | (DWORD)note << 8 | (DWORD)velocity << 16; }

// Whites out a stretch across the staff lines, right of where the keyboard opens, so that a
// repaint shows by putting them back.
void blankStaffStretch();

// The sprite's pixels at (x, y) of the main window's client area, clipped to it.
testing::AssertionResult windowShows(HBITMAP sprite, int x, int y);
// Every pixel of the rectangle has this colour.
testing::AssertionResult areaIs(int x, int y, int width, int height, COLORREF colour);
// The staff lines' rows are black from x to right (exclusive).
testing::AssertionResult staffLinesUnbroken(int fromX, int toX);
// The staff and its clef and nothing else, down to the score row's bottom: no note, no mark.
testing::AssertionResult staffAlone();

// A copy of part of the client area, to compare with what is there later.
struct Snapshot {
    int x, y, width, height;
    std::vector<COLORREF> pixels;
};
Snapshot snapshot(int x, int y, int width, int height);
// The window shows those pixels again, columns skipFrom..skipTo-1 and what lies outside the
// client area left out.
testing::AssertionResult windowMatches(const Snapshot& wanted, int skipFrom = 0, int skipTo = 0);

bool menuGrayed(int id);
int clientWidth();

// What the platform would send the main window: a menu command, an on-screen key, ticks.
void command(WPARAM id);
void screenKey(int note);
void ticks(UINT timer, int count);

// Removes the first posted message of this kind (and wParam, unless -1) from the thread's
// queue; true when there was one.
bool takePosted(UINT msg, WPARAM wParam = (WPARAM)-1);
void dropPosted();                    // empties the thread's posted-message queue
// Dispatches posted and sent messages until none are left (timers are never waited for).
void pumpMessages();

// Watches for modal windows on this thread while it lives: message boxes are read and
// dismissed with OK; a dialog with the given caption is handed to `action` once, after
// its WM_INITDIALOG, from inside its own modal loop. A watchdog fails the test and ends
// any dialog or box still open after `watchdogMs`, so a dialog that never closes costs
// seconds, not the runner's timeout.
class ModalDriver {
public:
    explicit ModalDriver(DWORD watchdogMs = 10000);
    ~ModalDriver();
    void onDialog(const char* caption, std::function<void(HWND)> action);
    // Sends `dialog` IDCANCEL once `done` holds, checked from inside its modal loop.
    void closeWhen(HWND dialog, std::function<bool()> done);
    // The first message box is handed to `action` before it is dismissed, from inside its
    // own modal loop; it is dismissed on a later tick, once the input the action made
    // has been handled (timers come only when no input waits).
    void onMessageBox(std::function<void(HWND)> action);
    std::vector<std::string> messageTexts;   // texts of the message boxes seen
    std::vector<std::string> messageCaptions;
private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
    void check();
    UINT_PTR timer;
    DWORD watchdogMs;
    HWND closing = 0;
    std::function<bool()> closeCondition;
    std::string dialogCaption;
    std::function<void(HWND)> dialogAction;
    bool dialogDone = false;
    std::function<void(HWND)> boxAction;
    bool boxActed = false;
};

std::string dialogItemText(HWND dialog, int id);

// The ModalDriver alive on this thread, if any: dialog actions reach it through this.
ModalDriver* modalDriver();

// Ends the test program, naming the test and what never came, unless disarmed within `ms`.
// A wait for a window can hang inside the platform (a PeekMessageA that never returns), where
// nothing on the waiting thread runs again, so the watch is a thread of its own.
class Watchdog {
public:
    explicit Watchdog(const char* what, DWORD ms = 10000);
    ~Watchdog();
    void disarm();
private:
    static DWORD WINAPI watch(LPVOID self);
    std::string what;
    DWORD ms;
    HANDLE disarmed, thread;
};

// Runs WinMain on this thread; `whileRunning` is called from inside its message loop once
// the window is shown (or never, when start-up ends before the loop). A window that never
// shows ends the test program after seconds (a Watchdog).
int runWinMain(std::function<void()> whileRunning);

#endif
