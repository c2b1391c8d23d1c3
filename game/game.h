// The staff picture and the game played in the main window procedure.
#ifndef TUNEGRIN_GAME_H
#define TUNEGRIN_GAME_H

#include <windows.h>
#include <stdint.h>

#define DRAW_ERASE 0
#define DRAW_NOTE  1
#define DRAW_HAPPY 2
#define DRAW_MAD   3

#define TIMER_SCROLL 1
#define TIMER_PAUSE  2
#define TIMER_WALKER 3
#define TIMER_MIDI   4          // one-shot: the MIDI drain left for after input and paints
#define SCROLL_INTERVAL 20      // ms per 3-pixel note step
#define PAUSE_INTERVAL  2000    // ms a result stays on screen
#define WALKER_INTERVAL 15      // ms per 2-pixel walker step

#define STAFF_X 0
#define STAFF_Y 20
#define STAFF_TOP_LINE 86        // centre of the top staff line
#define STAFF_LINE_SPACING 38
#define MISS_X 100               // a note left of this is missed
#define SCORE_SLOT 20

// Drawing (game/draw.cpp); main thread only.
void drawStaff(HWND window);
int drawNote(HWND window, int x, int midiNote, int mode);
void drawScoreMark(int x, int y, int show);
void drawWalker(int x, int y);

// Game globals: read and written on the main thread only.
extern int32_t noteState, noteX, targetNote, inputEnabled;
extern int32_t timerId;
extern int32_t scoreRowX, scoreRowY, walkerX, walkerY, walkerSprite, walkerEndX;

// The turn's handlers (game/turn.cpp), called by mainWndProc.
void startTurn(HWND window);
void stopGame(HWND window);
void scrollTick(HWND window);
void pauseEnd(HWND window);
void walkerTick(HWND window);
void judgeAnswer(HWND window, WPARAM midiNote);
void drainMidiQueue(HWND window);

LRESULT CALLBACK mainWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
