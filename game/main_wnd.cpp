// The main window procedure: menu commands, timers and answers drive the game.
#include "game/game.h"
#include "app/app.h"
#include "dialogs/dialogs.h"
#include "midi/midi.h"
#include "resources/resource.h"

// The score row and the walker hang from the bottom of the desktop-sized window. Runs on
// every message; the first one arrives during window creation.
static void initGeometry()
{
    if (scoreRowY != 0) return;
    walkerX = screenWidth;
    scoreRowY = screenHeight - 80;
    walkerY = screenHeight - 100;
}

// Drawing goes through the drawing operations' own contexts; BeginPaint and EndPaint are
// here for the background erase and to validate the window.
static LRESULT paintGame(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    drawStaff(window);
    if (noteState >= DRAW_HAPPY) drawNote(window, noteX, targetNote, noteState);
    for (int x = SCORE_SLOT; x < scoreRowX; x += SCORE_SLOT) drawScoreMark(x, scoreRowY, 1);
    EndPaint(window, &paint);
    return 0;
}

static void onTimer(HWND window, WPARAM id)
{
    switch (id) {
    case TIMER_SCROLL: scrollTick(window); break;
    case TIMER_PAUSE:  pauseEnd(window);   break;
    case TIMER_WALKER: walkerTick(window); break;
    case TIMER_MIDI:   KillTimer(window, TIMER_MIDI);
                       drainMidiQueue(window);
                       break;
    }
}

// Gives 1 when the command is ours: every one of ours ends with a full repaint.
static int onCommand(HWND window, WPARAM command)
{
    switch (command) {
    case IDM_EXIT:     PostQuitMessage(0); break;
    case IDM_ABOUT:    DialogBoxParamA(appInstance, "AboutBox", mainWindow, aboutDlgProc, 0); break;
    case IDM_START:    startTurn(window);  break;
    case IDM_STOP:     stopGame(window);   break;
    case IDM_KEYBOARD: openKeyboard();     break;
    case IDM_OPTIONS:  DialogBoxParamA(appInstance, "Options", mainWindow, optionsDlgProc, 0); break;
    default:           return 0;
    }
    paintGame(window);
    return 1;
}

LRESULT CALLBACK mainWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    initGeometry();
    switch (msg) {
    case WM_PAINT:      return paintGame(window);
    case WM_CLOSE:      PostQuitMessage(0);             return 0;  // the window stays
    case WM_TIMER:      onTimer(window, wParam);        return 0;
    case WM_MIDI_INPUT: drainMidiQueue(window);         return 0;  // the post carries no data
    case WM_SCREEN_KEY: if (inputEnabled) judgeAnswer(window, wParam);   // the whole wParam
                        return 0;
    case WM_COMMAND:    if (onCommand(window, wParam))  return 0;
                        break;                                     // an id we do not own
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}
