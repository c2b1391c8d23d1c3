// The settings file: which notes are enabled, read at start-up and written when the note
// filter dialog closes.
#include "notes/notes.h"
#include <string.h>

#define SETTINGS_FILE    ".\\tunegrin.ini"
#define SETTINGS_SECTION "initialize"
#define SETTINGS_KEY     "notes"
#define SETTINGS_DEFAULT "B4,A4,G4,F4,E4,D4,C4,B3,A3,G3,F3,E3,D3,C3,B2"
#define SETTINGS_BUFFER  80

// Matches the comma-separated names against the rows in table order. A token waits until
// its own row comes up, disabling the rows passed over, so names out of order, unknown
// names and names with blanks block every row after them. Gives the number enabled.
static int matchTokens(const char* value)
{
    int enabledCount = 0;
    const char* token = value;
    while (*token == ',') token++;
    for (int row = 0; row < NOTE_COUNT; row++) {
        size_t length = strcspn(token, ",");
        const char* name = noteTable[row].name;
        if (length > 0 && length == strlen(name) && memcmp(token, name, length) == 0) {
            noteTable[row].enabled = 1;
            enabledCount++;
            token += length;
            while (*token == ',') token++;
        } else {
            noteTable[row].enabled = 0;
        }
    }
    return enabledCount;
}

void applyNoteSettings(const char* value)
{
    if (matchTokens(value) == 0) matchTokens(SETTINGS_DEFAULT);
}

void loadNoteSettings()
{
    char value[SETTINGS_BUFFER];
    GetPrivateProfileStringA(SETTINGS_SECTION, SETTINGS_KEY, SETTINGS_DEFAULT,
                             value, sizeof value, SETTINGS_FILE);
    applyNoteSettings(value);
}

// Builds the comma list of enabled names in table order, the order the loader matches.
static void buildNoteList(char* list)
{
    list[0] = 0;
    for (int row = 0; row < NOTE_COUNT; row++) {
        if (!noteTable[row].enabled) continue;
        if (list[0]) strcat(list, ",");
        strcat(list, noteTable[row].name);
    }
}

int saveNoteSettings()
{
    char list[SETTINGS_BUFFER];
    buildNoteList(list);
    return WritePrivateProfileStringA(SETTINGS_SECTION, SETTINGS_KEY, list, SETTINGS_FILE) != 0;
}
