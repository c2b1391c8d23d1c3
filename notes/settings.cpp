// Reads which notes are enabled from the settings file; the file is only written by the
// note filter dialog.
#include "notes.h"
#include <string.h>

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
