// The sprite bitmaps: loaded once from the program's resources, held until the process ends.
#include "app/app.h"
#include "notes/notes.h"
#include "resources/resource.h"

HBITMAP staffBitmap;
HBITMAP happyFaceBitmap, madFaceBitmap;
HBITMAP scoreMarkBitmap, scoreEraseBitmap;
HBITMAP walkerBitmaps[WALKER_COUNT];

static HBITMAP loadSprite(int id)
{
    return LoadBitmapA(appInstance, MAKEINTRESOURCEA(id));
}

// A missing resource leaves its slot null; the drawing code skips null sprites, so the
// game still runs with that picture absent instead of failing to start.
void loadBitmaps()
{
    staffBitmap = loadSprite(IDB_STAFF);
    lineNoteSprites.erase = loadSprite(IDB_ERASE_LINE);
    spaceNoteSprites.erase = loadSprite(IDB_ERASE_SPACE);
    noteG4Sprites.erase = loadSprite(IDB_ERASE_G4);
    noteD3Sprites.erase = loadSprite(IDB_ERASE_D3);
    HBITMAP blank = loadSprite(IDB_ERASE_LEDGER);     // one handle, three pairs
    noteB4Sprites.erase = blank;
    ledgerNoteSprites.erase = blank;
    noteB2Sprites.erase = blank;
    lineNoteSprites.note = loadSprite(IDB_NOTE_LINE);
    spaceNoteSprites.note = loadSprite(IDB_NOTE_SPACE);
    noteG4Sprites.note = loadSprite(IDB_NOTE_G4);
    noteD3Sprites.note = loadSprite(IDB_NOTE_D3);
    ledgerNoteSprites.note = loadSprite(IDB_NOTE_LEDGER);
    noteB4Sprites.note = loadSprite(IDB_NOTE_B4);
    noteB2Sprites.note = loadSprite(IDB_NOTE_B2);
    madFaceBitmap = loadSprite(IDB_MAD_FACE);
    happyFaceBitmap = loadSprite(IDB_HAPPY_FACE);
    scoreMarkBitmap = loadSprite(IDB_SCORE_MARK);
    scoreEraseBitmap = loadSprite(IDB_SCORE_ERASE);
    walkerBitmaps[0] = loadSprite(IDB_WALKER_DOZER);
    walkerBitmaps[1] = loadSprite(IDB_WALKER_TANK_BLUE);
    walkerBitmaps[2] = loadSprite(IDB_WALKER_TANK_GREEN);
    walkerBitmaps[3] = loadSprite(IDB_WALKER_TANK_YELLOW);
    walkerBitmaps[4] = loadSprite(IDB_WALKER_LOCO_RED);
    walkerBitmaps[5] = loadSprite(IDB_WALKER_LOCO_BLUE);
}
