// The staff picture on a real window: pixels drawn by the drawing operations, read back.
#include "support.h"
#include <algorithm>

class Drawing : public testing::Test {
protected:
    TempFolder folder;
    void SetUp() override { openGameWindow(); }
    void TearDown() override { closeGameWindow(); }
};

TEST_F(Drawing, FirstPaintShowsTheStaffAloneWithLinesToTheDesktopWidthOverTheClefSegments)
{
    EXPECT_TRUE(staffAlone());
    EXPECT_EQ(screenWidth, GetSystemMetrics(SM_CXSCREEN));
    // The clef bitmap's own segments carry the lines: nothing is drawn twice.
    for (int line = 0; line < 5; line++) {
        int centre = STAFF_TOP_LINE + STAFF_LINE_SPACING * line;
        EXPECT_TRUE(areaIs(0, centre - 1, 101, 3, BLACK)) << line;
    }
    // drawStaff leaves what stands right of the clef.
    drawScoreMark(300, 100, 1);
    drawStaff(mainWindow);
    EXPECT_TRUE(windowShows(scoreMarkBitmap, 300, 100));
    // A repaint still due when a test drops what was posted: it stays, and the drop ends.
    Watchdog watchdog("dropPosted with a repaint due", 5000);
    InvalidateRect(mainWindow, 0, FALSE);
    dropPosted();
    MSG paint;
    EXPECT_TRUE(PeekMessageA(&paint, mainWindow, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(Drawing, EveryNoteMovesWithoutATrailAndKeepsTheLinesToItsRight)
{
    for (int row = 0; row < NOTE_COUNT; row++) {
        const NoteEntry& entry = noteTable[row];
        SCOPED_TRACE(entry.name);
        drawStaff(mainWindow);
        Snapshot before = snapshot(300, entry.y, 90, 43);
        for (int x = 312; x >= 300; x -= 3) EXPECT_EQ(drawNote(mainWindow, x, entry.midiNote, DRAW_NOTE), 1);
        EXPECT_TRUE(windowShows(entry.sprites->note, 300, entry.y));
        EXPECT_TRUE(staffLinesUnbroken(378, clientWidth()));
        // Right of the last copy the staff is exactly as it was before the note came.
        EXPECT_TRUE(windowMatches(before, 300, 378));
        // Erasing at the last position leaves exactly the staff (white for ledger notes).
        drawNote(mainWindow, 300, entry.midiNote, DRAW_ERASE);
        EXPECT_TRUE(windowMatches(before));
    }
}

TEST_F(Drawing, FacesCoverTheHeadOnlyForHappyAndMad)
{
    drawStaff(mainWindow);
    NoteEntry* g3 = findNoteEntry(67);
    drawNote(mainWindow, 400, 67, DRAW_HAPPY);
    EXPECT_TRUE(windowShows(happyFaceBitmap, 408, g3->y + 4));
    drawNote(mainWindow, 400, 67, DRAW_MAD);
    EXPECT_TRUE(windowShows(madFaceBitmap, 408, g3->y + 4));
    drawNote(mainWindow, 400, 67, DRAW_NOTE);
    EXPECT_TRUE(windowShows(g3->sprites->note, 400, g3->y));
    EXPECT_FALSE(windowShows(happyFaceBitmap, 408, g3->y + 4));
    // The columns of the note outside the face are the note sprite's.
    drawNote(mainWindow, 400, 67, DRAW_HAPPY);
    EXPECT_TRUE(areaIs(470, g3->y + 20, 8, 3, BLACK));      // the line beyond the face
}

TEST_F(Drawing, UnknownNoteDrawsNothing)
{
    Snapshot before = snapshot(200, 0, 100, 320);
    EXPECT_EQ(drawNote(mainWindow, 200, 61, DRAW_NOTE), 0);
    EXPECT_EQ(drawNote(mainWindow, 200, 0, DRAW_HAPPY), 0);
    EXPECT_EQ(drawNote(mainWindow, 200, 84, DRAW_ERASE), 0);
    EXPECT_TRUE(windowMatches(before));
}

TEST_F(Drawing, ScoreMarkAndItsBlankSlot)
{
    drawScoreMark(40, scoreRowY, 1);
    EXPECT_TRUE(windowShows(scoreMarkBitmap, 40, scoreRowY));
    EXPECT_FALSE(areaIs(40, scoreRowY, 20, 20, WHITE));
    drawScoreMark(40, scoreRowY, 0);
    EXPECT_TRUE(areaIs(40, scoreRowY, 20, 20, WHITE));
}

// Runs the walker from the right edge as the walker timer does; gives the number of copies.
static int runWalker(int startX)
{
    int x = startX, copies = 0;
    do {
        drawWalker(x, walkerY);
        copies++;
        x -= 2;
    } while (x > walkerEndX);
    return copies;
}

// From the desktop's right edge, and from an odd one (the last copy is then one further left).
TEST_F(Drawing, WalkerRunLeavesNothingBehindAndWipesTheRow)
{
    for (int sprite = 0; sprite < WALKER_COUNT; sprite++)
        for (int edge : { screenWidth, 701 }) {
            SCOPED_TRACE(testing::Message() << "sprite " << sprite << ", edge " << edge);
            walkerSprite = sprite;
            for (int x = 20; x < edge - 30; x += 20) drawScoreMark(x, scoreRowY, 1);
            int copies = runWalker(edge);
            BITMAP info;
            GetObjectA(walkerBitmaps[sprite], sizeof info, &info);
            EXPECT_EQ(walkerEndX, -info.bmWidth - 2);
            if (edge == screenWidth) { EXPECT_EQ(copies, (screenWidth + info.bmWidth + 2) / 2); }
            EXPECT_TRUE(areaIs(0, walkerY, std::min(clientWidth(), edge + 19), 40, WHITE));
        }
}

TEST_F(Drawing, AMissingSpriteIsSkippedAndTheRestStillDraws)
{
    NoteEntry* g3 = findNoteEntry(67);
    HBITMAP face = happyFaceBitmap, walker = walkerBitmaps[2];
    happyFaceBitmap = 0;
    walkerBitmaps[2] = 0;
    Snapshot row = snapshot(0, walkerY, clientWidth(), 40);
    EXPECT_EQ(drawNote(mainWindow, 400, 67, DRAW_HAPPY), 1);
    EXPECT_TRUE(windowShows(g3->sprites->note, 400, g3->y)) << "the note without its face";
    walkerSprite = 2;
    drawWalker(300, walkerY);
    EXPECT_TRUE(windowMatches(row)) << "no walker drawn";
    EXPECT_LT(walkerEndX, 0) << "a run with no sprite still ends";
    happyFaceBitmap = face;
    walkerBitmaps[2] = walker;
}
