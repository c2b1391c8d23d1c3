// The fixed table of the 15 playable notes, the look-up by MIDI number and the note pick.
#include "notes/notes.h"

NoteSprites noteB4Sprites, ledgerNoteSprites, noteG4Sprites, lineNoteSprites,
            spaceNoteSprites, noteD3Sprites, noteB2Sprites;

// y = 8 + 19 * row: each row is half a staff-line spacing below the one above.
NoteEntry noteTable[NOTE_COUNT + 1] = {
    { 83,   8, &noteB4Sprites,     "B4", 1 },
    { 81,  27, &ledgerNoteSprites, "A4", 1 },
    { 79,  46, &noteG4Sprites,     "G4", 1 },
    { 77,  65, &lineNoteSprites,   "F4", 1 },
    { 76,  84, &spaceNoteSprites,  "E4", 1 },
    { 74, 103, &lineNoteSprites,   "D4", 1 },
    { 72, 122, &spaceNoteSprites,  "C4", 1 },
    { 71, 141, &lineNoteSprites,   "B3", 1 },
    { 69, 160, &spaceNoteSprites,  "A3", 1 },
    { 67, 179, &lineNoteSprites,   "G3", 1 },
    { 65, 198, &spaceNoteSprites,  "F3", 1 },
    { 64, 217, &lineNoteSprites,   "E3", 1 },
    { 62, 236, &noteD3Sprites,     "D3", 1 },
    { 60, 255, &ledgerNoteSprites, "C3", 1 },
    { 59, 274, &noteB2Sprites,     "B2", 1 },
    {  0,   0, 0,                  0,    0 },
};

// The scroll timer asks for the same note on every tick, so one remembered answer spares
// the scan. Rows never move, so the cache never goes stale.
static int32_t cachedMidiNote = 0;
static NoteEntry* cachedEntry = 0;

NoteEntry* findNoteEntry(int32_t midiNote)
{
    if (midiNote == cachedMidiNote) return cachedEntry;
    NoteEntry* entry = noteTable;
    while (entry->midiNote != 0 && entry->midiNote != midiNote) entry++;
    cachedMidiNote = midiNote;
    cachedEntry = entry->midiNote != 0 ? entry : 0;
    return cachedEntry;
}

int anyNoteEnabled()
{
    int anyEnabled = 0;
    for (int i = 0; i < NOTE_COUNT; i++) anyEnabled |= noteTable[i].enabled;
    return anyEnabled;
}

int32_t pickNote()
{
    // Only while the note filter dialog has every box cleared can no row be enabled; a
    // turn that starts then picks as if all were, rather than drawing for ever.
    int anyEnabled = anyNoteEnabled();
    for (;;) {
        int i = randomDraw() % NOTE_COUNT;
        if (noteTable[i].enabled || !anyEnabled) return noteTable[i].midiNote;
    }
}
