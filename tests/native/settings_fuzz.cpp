// Fuzzes the note settings: any value read from the file leaves at least one note enabled,
// and exactly the notes that an independent reading of the format enables.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <array>
#include <sstream>
#include <string>
#include <vector>
#include "notes/notes.h"

// What the settings file holds for this run; served by the read below.
static const uint8_t* fileValue;
static size_t fileValueSize;

// Stands in for the platform's INI read: the value ends at its first NUL, and at most
// size - 1 characters of it reach the buffer, which is always terminated.
DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR, LPSTR buffer,
                                      DWORD size, LPCSTR file)
{
    if (strcmp(section, "initialize") || strcmp(key, "notes") || strcmp(file, ".\\tunegrin.ini"))
        __builtin_trap();
    size_t length = strnlen((const char*)fileValue, fileValueSize);
    if (size == 0) return 0;
    if (length > size - 1) length = size - 1;
    memcpy(buffer, fileValue, length);
    buffer[length] = 0;
    return (DWORD)length;
}

// The reference reading, kept apart from the table: the row names two bytes each,
// highest note first.
static const char rowNames[] = "B4A4G4F4E4D4C4B3A3G3F3E3D3C3B2";
static const int rowCount = 15;
static const size_t readLimit = 79;     // an 80-byte buffer with its terminator

static std::array<bool, rowCount> expectedNotes(const uint8_t* data, size_t size)
{
    std::string value((const char*)data, size);
    value = value.substr(0, value.find('\0'));
    if (value.size() > readLimit) value.resize(readLimit);

    std::vector<std::string> tokens;
    std::istringstream stream(value);
    for (std::string token; std::getline(stream, token, ',');)
        if (!token.empty()) tokens.push_back(token);

    // Each token looks for its name among the rows after the last one it matched; one
    // that finds none leaves every later row off.
    std::array<bool, rowCount> enabled{};
    bool any = false;
    int firstFree = 0;
    for (const std::string& token : tokens) {
        int row = firstFree;
        while (row < rowCount && token != std::string(rowNames + 2 * row, 2)) row++;
        if (row == rowCount) break;
        enabled[row] = true;
        any = true;
        firstFree = row + 1;
    }
    if (!any) enabled.fill(true);       // nothing usable: every note
    return enabled;
}

static void fail(const uint8_t* data, size_t size, const char* what, int row)
{
    fprintf(stderr, "settings value \"%.*s\" (%zu bytes): %s at row %d\n",
            (int)size, (const char*)data, size, what, row);
    __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Anything the read leaves unwritten keeps this value and shows up below.
    for (int row = 0; row < NOTE_COUNT; row++) noteTable[row].enabled = 7;
    fileValue = data;
    fileValueSize = size;
    loadNoteSettings();

    std::array<bool, rowCount> expected = expectedNotes(data, size);
    int enabledCount = 0;
    for (int row = 0; row < NOTE_COUNT; row++) {
        int32_t got = noteTable[row].enabled;
        if (got != (expected[row] ? 1 : 0)) fail(data, size, "enabled flag differs", row);
        enabledCount += got;
    }
    if (enabledCount == 0) fail(data, size, "no note enabled", -1);
    if (noteTable[NOTE_COUNT].enabled != 0) fail(data, size, "terminator touched", NOTE_COUNT);
    saveNoteSettings();         // the list the dialog would write, under the same sanitizers
    return 0;
}
