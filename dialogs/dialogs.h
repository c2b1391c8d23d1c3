// The three dialogs: on-screen keyboard (modeless), note filter and About (modal).
#ifndef TUNEGRIN_DIALOGS_H
#define TUNEGRIN_DIALOGS_H

#include <windows.h>

extern HWND keyboardDialog;     // null while closed; main thread only

// The keyboard window's captions (dialogs/keyboard_titles.cpp); the count is the table's.
extern const char* const keyboardTitles[];
extern const int KEYBOARD_TITLE_COUNT;

void openKeyboard();
INT_PTR CALLBACK keyboardDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK optionsDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
