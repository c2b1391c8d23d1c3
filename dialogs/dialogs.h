// The three dialogs: on-screen keyboard (modeless), note filter and About (modal).
#ifndef TUNEGRIN_DIALOGS_H
#define TUNEGRIN_DIALOGS_H

#include <windows.h>

#define KEYBOARD_TITLE_COUNT 316

extern HWND keyboardDialog;     // null while closed; main thread only
extern const char* const keyboardTitles[KEYBOARD_TITLE_COUNT];

void openKeyboard();
int keyNoteForControl(int id);  // the key map; SCREEN_KEY_NONE for no answering key
INT_PTR CALLBACK keyboardDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK optionsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
