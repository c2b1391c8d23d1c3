// The four drawing operations: each copies bitmaps straight onto the main window.
// Nothing is invalidated during play; moving sprites wipe their own trail.
#include "game.h"
#include "app.h"
#include "notes.h"

int32_t walkerEndX;     // written here alone, by drawWalker

// One copy of a bitmap at its own size onto a window context the caller holds.
// A sprite whose resource failed to load is simply not drawn.
static void blitSprite(HDC window, HDC memory, HBITMAP sprite, int x, int y)
{
    if (!sprite) return;
    BITMAP info;
    GetObjectA(sprite, sizeof info, &info);
    SelectObject(memory, sprite);
    BitBlt(window, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
}

// The whole device-context dance for one sprite on the main window.
static void copySprite(HWND target, HBITMAP sprite, int x, int y)
{
    HDC window = GetDC(target);
    HDC memory = CreateCompatibleDC(window);
    HGDIOBJ previous = GetCurrentObject(memory, OBJ_BITMAP);
    blitSprite(window, memory, sprite, x, y);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(target, window);
}

void drawStaff(HWND target)
{
    HDC window = GetDC(target);
    HDC memory = CreateCompatibleDC(window);
    HGDIOBJ previous = GetCurrentObject(memory, OBJ_BITMAP);
    blitSprite(window, memory, staffBitmap, STAFF_X, STAFF_Y);
    SelectObject(memory, previous);
    DeleteDC(memory);

    // Drawn to the desktop's width, not the client's: the window covers the desktop.
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    HGDIOBJ previousPen = SelectObject(window, pen);
    for (int i = 0; i < 5; i++) {
        int y = STAFF_TOP_LINE + STAFF_LINE_SPACING * i;
        MoveToEx(window, 0, y, 0);
        LineTo(window, screenWidth, y);
    }
    SelectObject(window, previousPen);
    DeleteObject(pen);
    ReleaseDC(target, window);
}

int drawNote(HWND target, int x, int midiNote, int mode)
{
    NoteEntry* entry = findNoteEntry(midiNote);
    if (!entry) return 0;
    HBITMAP sprite = mode == DRAW_ERASE ? entry->sprites->erase : entry->sprites->note;
    HDC window = GetDC(target);
    HDC memory = CreateCompatibleDC(window);
    HGDIOBJ previous = GetCurrentObject(memory, OBJ_BITMAP);
    blitSprite(window, memory, sprite, x, entry->y);
    if (mode > DRAW_NOTE) {
        // The face covers the head: columns 8-67, rows 4-38 of the note sprite.
        HBITMAP face = mode == DRAW_HAPPY ? happyFaceBitmap : madFaceBitmap;
        blitSprite(window, memory, face, x + 8, entry->y + 4);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(target, window);
    return 1;
}

void drawScoreMark(int x, int y, int show)
{
    copySprite(mainWindow, show ? scoreMarkBitmap : scoreEraseBitmap, x, y);
}

void drawWalker(int x, int y)
{
    HBITMAP sprite = walkerBitmaps[walkerSprite];
    BITMAP info = {};
    if (sprite) GetObjectA(sprite, sizeof info, &info);
    // The run ends once the sprite and its white trail columns have left the window.
    walkerEndX = -info.bmWidth - 2;
    copySprite(mainWindow, sprite, x, y);
}
