// Reads the game's picture as a player sees it: the note on the staff, the faces, the score
// row, the walker, and which items of the Game menu are grayed.
#ifndef TUNEGRIN_E2E_SCREEN_H
#define TUNEGRIN_E2E_SCREEN_H

#include "driver.h"
#include <vector>

#define NOTE_ROWS 15            // row 0 is B4 (MIDI 83), row 14 is B2 (MIDI 59)
#define SCORE_SLOT 20           // marks are 20 x 20, the first at x = 20

// A window's client area as it shows on the screen. Parts covered by other windows of the
// game (the keyboard) are marked hidden: a capture reads them as black.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    std::vector<RECT> hidden;
    COLORREF at(int x, int y) const { return pixels[y * width + x]; }
    bool visible(int x, int y) const;
};
Picture capture(HWND window, HWND above = 0);

// The y of the score row: 80 pixels above the desktop's bottom edge.
int scoreRowY();

// The note that asks for an answer, found by the black ring of its head; row -1 when no
// head is in sight (not yet in, under the keyboard, gone, or showing its result face).
struct NoteSeen {
    int row = -1;
    int left = 0;               // leftmost black pixel of the note
};
NoteSeen findNote(const Picture& picture);
bool staffShown(const Picture& picture);    // the five lines are painted: the first paint is in
int keyForRow(int row);         // the white key that plays the note of that staff row

enum Face { FACE_NONE, FACE_HAPPY, FACE_MAD };
// A face on the staff: yellow; the mad one has a dark red open mouth.
Face faceOnStaff(const Picture& picture, int* left = 0);
const char* faceName(Face face);

// The score row shows marks in slots 1..count and nothing right of them.
testing::AssertionResult rowShowsMarks(const Picture& picture, int count);
// The band of the walker and the row (40 pixels above the row's bottom) is plain white.
testing::AssertionResult rowBandIsWhite(const Picture& picture);
bool walkerShown(const Picture& picture);    // something drawn in the walker's upper half

// Opens the Game menu with a click on the menu bar, reads which of Start and Stop are
// grayed, and closes the menu again with Esc.
testing::AssertionResult gameMenuShows(const Game& game, bool startEnabled, bool stopEnabled);

// A test's view of the game it runs: the pictures it shows and waits for what they show.
// A failed test leaves the last picture in the temporary folder.
class GameWatch : public testing::Test {
protected:
    Game game;
    HWND keyboard = 0;          // the on-screen keyboard while it is open: hidden in captures

    void TearDown() override;
    Picture look() const { return capture(game.window, keyboard); }
    NoteSeen waitForNote(int timeoutMs = 20000) const;
    testing::AssertionResult waitForMarks(int count, int timeoutMs = 5000) const;
    testing::AssertionResult waitForFace(Face face, int timeoutMs = 5000) const;
};

#endif
