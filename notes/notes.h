// The 15 playable notes, the settings that enable them, the note pick and the random generator.
#ifndef TUNEGRIN_NOTES_H
#define TUNEGRIN_NOTES_H

#include <windows.h>
#include <stdint.h>

struct NoteSprites {
    HBITMAP erase;      // restores the staff under the note
    HBITMAP note;       // the note itself
};

struct NoteEntry {
    int32_t midiNote;   // 0 only in the terminator row
    int32_t y;          // sprite top, client pixels
    NoteSprites* sprites;
    const char* name;   // "B4" ... "B2"
    int32_t enabled;
};

#define NOTE_COUNT 15

// The seven sprite pairs; handles filled by initInstance (app/bitmaps.cpp), main thread.
extern NoteSprites noteB4Sprites, ledgerNoteSprites, noteG4Sprites, lineNoteSprites,
                   spaceNoteSprites, noteD3Sprites, noteB2Sprites;

// 15 rows, highest first, then a zero row. Only `enabled` ever changes (main thread:
// loadNoteSettings at start-up, then the note filter dialog).
extern NoteEntry noteTable[NOTE_COUNT + 1];

// The settings file (notes/settings.cpp): its name, section, key and format are known there
// alone. saveNoteSettings writes the enabled rows and gives 0 when the write failed.
void loadNoteSettings();
void applyNoteSettings(const char* value);   // the parsing half of loadNoteSettings
int saveNoteSettings();

NoteEntry* findNoteEntry(int32_t midiNote);
int anyNoteEnabled();
int32_t pickNote();

void randomSeed(uint32_t seed);
int randomDraw();

#endif
