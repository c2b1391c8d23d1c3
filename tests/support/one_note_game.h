// A game window whose settings enable C3 alone, so every turn asks the same note, with an
// event queue to play into and the staff as the first paint left it.
#ifndef TUNEGRIN_ONE_NOTE_GAME_H
#define TUNEGRIN_ONE_NOTE_GAME_H

#include "support.h"

static const int C3 = 60, D3 = 62;
static const int STAFF_AREA_HEIGHT = 320;   // the staff, every note and its face lie above this

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
};

#endif
