// A game window whose settings enable C3 alone, so every turn asks the same note, with an
// event queue to play into and the staff as the first paint left it.
#ifndef TUNEGRIN_ONE_NOTE_GAME_H
#define TUNEGRIN_ONE_NOTE_GAME_H

#include "support.h"

static const int STAFF_AREA_HEIGHT = 320;   // the staff, every note and its face lie above this

// The score row's top and the walker's band, hung from the bottom of the desktop.
inline int rowTop() { return screenHeight - 80; }
inline int walkerTop() { return screenHeight - 100; }

inline void scrollTicks(int count) { ticks(TIMER_SCROLL, count); }

inline void repaintWindow()
{
    InvalidateRect(mainWindow, 0, TRUE);
    UpdateWindow(mainWindow);
}

// Which of the three game timers exist: KillTimer fails for a timer that is not set, and
// one that is gets set again with its own interval.
inline testing::AssertionResult onlyTimer(UINT_PTR wanted)
{
    static const UINT intervals[] = { 0, SCROLL_INTERVAL, PAUSE_INTERVAL, WALKER_INTERVAL };
    std::string running, expected = wanted ? " " + std::to_string(wanted) : "";
    for (UINT_PTR id = TIMER_SCROLL; id <= TIMER_WALKER; id++) {
        if (!KillTimer(mainWindow, id)) continue;
        SetTimer(mainWindow, id, intervals[id], 0);
        running += " " + std::to_string(id);
    }
    if (running == expected) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "timers running:" << (running.empty() ? " none" : running)
                                       << "; wanted" << (expected.empty() ? " none" : expected);
}

// Slots from..to-20 show the mark, or are white when `marked` is false.
inline testing::AssertionResult slots(int from, int to, bool marked)
{
    for (int x = from; x < to; x += 20) {
        testing::AssertionResult slot = marked ? windowShows(scoreMarkBitmap, x, rowTop())
                                               : areaIs(x, rowTop(), 20, 20, WHITE);
        if (!slot) return testing::AssertionFailure() << "slot " << x << (marked ? " marked: " : " blank: ")
                                                      << slot.message();
    }
    return testing::AssertionSuccess();
}

// The row shows `marks` marks from its first slot on, and white everywhere else.
inline testing::AssertionResult rowShows(int marks)
{
    testing::AssertionResult shown = areaIs(0, rowTop(), 20, 20, WHITE);
    if (shown) shown = slots(20, 20 + 20 * marks, true);
    if (shown) shown = slots(20 + 20 * marks, clientWidth() - 19, false);
    return shown;
}

class OneNoteGame : public testing::Test {
protected:
    TempFolder folder;
    Snapshot cleanStaff;
    NoteEntry* c3 = 0;
    void SetUp() override
    {
        openGameWindow("C3");
        eventQueue = queueCreate(MIDI_QUEUE_CAPACITY);
        cleanStaff = snapshot(0, 0, clientWidth(), STAFF_AREA_HEIGHT);
        c3 = findNoteEntry(C3);
    }
    void TearDown() override
    {
        if (eventQueue) queueDestroy(eventQueue);
        eventQueue = 0;
        MSG quit;
        while (PeekMessageA(&quit, 0, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
        closeGameWindow();
    }
    // The plain note, or the face that covers its head.
    testing::AssertionResult noteShown(int x, int face = DRAW_NOTE)
    {
        if (face == DRAW_NOTE) return windowShows(c3->sprites->note, x, c3->y);
        return windowShows(face == DRAW_HAPPY ? happyFaceBitmap : madFaceBitmap, x + 8, c3->y + 4);
    }
    // The staff area as the first paint left it, apart from columns skipFrom..skipTo-1.
    testing::AssertionResult staffClean(int skipFrom = 0, int skipTo = 0)
    {
        return windowMatches(cleanStaff, skipFrom, skipTo);
    }
};

#endif
