// Process-wide values of the application shell: instance, main window, desktop size,
// its private messages, the sprite bitmaps, and the one way problems reach the player.
#ifndef TUNEGRIN_APP_H
#define TUNEGRIN_APP_H

#include <windows.h>

#define MAIN_CLASS_NAME "TuneGrinWClass"
#define MAIN_MENU_NAME  "TuneGrinMenu"
#define APP_ICON_NAME   "TuneGrin"
#define APP_TITLE       "TuneGrin"
#define WALKER_COUNT 6

// The main window's private messages; every WM_USER number the program uses is here.
#define WM_MIDI_INPUT   (WM_USER + 0)   // posted by the MIDI callback; carries no data
#define WM_SCREEN_KEY   (WM_USER + 1)   // posted by the on-screen keyboard; wParam is a MIDI
                                        // note number, or SCREEN_KEY_NONE for no answering key
#define SCREEN_KEY_NONE 0xFFFF

// Set once by initInstance on the main thread, read everywhere after.
extern HINSTANCE appInstance;
extern HWND mainWindow;
extern int screenWidth;          // desktop size at start-up; never updated
extern int screenHeight;
extern DLGPROC keyboardProc;     // the keyboard dialog procedure, recorded by initInstance

// Sprite bitmaps, loaded once by loadBitmaps (a slot stays null if its resource is missing,
// and the drawing code then draws nothing for it).
extern HBITMAP staffBitmap;
extern HBITMAP happyFaceBitmap, madFaceBitmap;
extern HBITMAP scoreMarkBitmap, scoreEraseBitmap;
extern HBITMAP walkerBitmaps[WALKER_COUNT];

ATOM registerMainClass(HINSTANCE instance);
BOOL initInstance(HINSTANCE instance, int showCommand);
void loadBitmaps();
int runMessageLoop();
// A beep, then a modal box owned by the main window, or by the dialog that shows it over
// itself: the owner is disabled while the box shows and stays behind it.
void showMessage(const char* text, HWND owner = 0);

#endif
