// The four drawing operations: each copies bitmaps straight onto the main window.
// Nothing is invalidated during play; moving sprites wipe their own trail.
#include "game/game.h"
#include "app/app.h"
#include "notes/notes.h"

int32_t walkerEndX;     // written here alone, by drawWalker

struct SpriteCopy {         // one bitmap and where its top-left corner goes
    HBITMAP sprite;
    int x, y;
};

// One copy of a bitmap at its own size onto a window context the caller holds.
// A sprite whose resource failed to load is simply not drawn.
static void blitSprite(HDC window, HDC memory, const SpriteCopy& copy)
{
    if (!copy.sprite) return;
    BITMAP info;
    GetObjectA(copy.sprite, sizeof info, &info);
    SelectObject(memory, copy.sprite);
    BitBlt(window, copy.x, copy.y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
}

// The whole device-context dance, held here alone: a window context taken for this call,
// the sprites copied in order through one memory context, then `over` (if given) drawn
// with that same window context before it is released.
static void copySprites(HWND target, const SpriteCopy* copies, int count,
                        void (*over)(HDC window) = 0)
{
    HDC window = GetDC(target);
    HDC memory = CreateCompatibleDC(window);
    HGDIOBJ previous = GetCurrentObject(memory, OBJ_BITMAP);
    for (int i = 0; i < count; i++) blitSprite(window, memory, copies[i]);
    SelectObject(memory, previous);
    DeleteDC(memory);
    if (over) over(window);
    ReleaseDC(target, window);
}

static void copySprite(HWND target, HBITMAP sprite, int x, int y)
{
    SpriteCopy copy = { sprite, x, y };
    copySprites(target, &copy, 1);
}

// Drawn to the desktop's width, not the client's: the window covers the desktop.
static void drawStaffLines(HDC window)
{
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    HGDIOBJ previousPen = SelectObject(window, pen);
    for (int i = 0; i < 5; i++) {
        int y = STAFF_TOP_LINE + STAFF_LINE_SPACING * i;
        MoveToEx(window, 0, y, 0);
        LineTo(window, screenWidth, y);
    }
    SelectObject(window, previousPen);
    DeleteObject(pen);
}

void drawStaff(HWND target)
{
    SpriteCopy staff = { staffBitmap, STAFF_X, STAFF_Y };
    copySprites(target, &staff, 1, drawStaffLines);
}

int drawNote(HWND target, int x, int midiNote, int mode)
{
    NoteEntry* entry = findNoteEntry(midiNote);
    if (!entry) return 0;
    SpriteCopy copies[2] = {
        { mode == DRAW_ERASE ? entry->sprites->erase : entry->sprites->note, x, entry->y },
        // The face covers the head: columns 8-67, rows 4-38 of the note sprite.
        { mode == DRAW_HAPPY ? happyFaceBitmap : madFaceBitmap, x + 8, entry->y + 4 },
    };
    copySprites(target, copies, mode > DRAW_NOTE ? 2 : 1);
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
