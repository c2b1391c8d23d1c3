// The score row filling up and the walker run that clears it, on the real main window.
#include "one_note_game.h"
#include <set>
#include <winternl.h>

static void walkerTicks(int count) { ticks(TIMER_WALKER, count); }

static bool nextTurnPosted()
{
    MSG posted;
    return PeekMessageA(&posted, mainWindow, WM_COMMAND, WM_COMMAND, PM_NOREMOVE) &&
           posted.wParam == IDM_START;
}

// Right answers until the row is full and the walker sets off; gives how many it took.
static int fillRow()
{
    int answers = 0;
    while (inputEnabled && answers < 100) {
        screenKey(C3);
        answers++;
    }
    return answers;
}

// Walker ticks until the run posts the next turn; gives their number.
static int runWalkerToTheEnd()
{
    int ticks = 0;
    do {
        walkerTicks(1);
        ticks++;
    } while (!nextTurnPosted() && ticks < 2000);
    return ticks;
}

static int spriteWidth(HBITMAP sprite)
{
    BITMAP info = {};
    GetObjectA(sprite, sizeof info, &info);
    return info.bmWidth;
}

// A seed whose next draw picks this walker.
static uint32_t seedForWalker(int sprite)
{
    uint32_t seed = 1;
    for (;; seed++) {
        randomSeed(seed);
        if (randomDraw() % WALKER_COUNT == sprite) return seed;
    }
}

// The GDI objects this process holds: GetGuiResources, or where that is a stub (Wine) the
// entries in use in the process's GDI handle table, which the process environment block
// points to. A 32-bit program under 64-bit Wine finds it in the 64-bit block: Wine keeps
// the 64-bit thread block's address in the 32-bit one's GdiBatchCount (offset 0xF70).
// (GCC takes the TEB's segment read for an array read: a false warning.)
#pragma GCC diagnostic ignored "-Warray-bounds"
static int gdiObjects()
{
    if (DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return (int)counted;
    struct Entry { UINT64 object; DWORD owner; USHORT unique; UCHAR type, flags; UINT64 user; };
    char* peb = (char*)NtCurrentTeb()->ProcessEnvironmentBlock;
    const Entry* table = *(Entry**)(peb + (sizeof(void*) == 8 ? 0xF8 : 0x94));
    if (!table && sizeof(void*) == 4) {
        if (UINT_PTR teb64 = *(DWORD*)((char*)NtCurrentTeb() + 0xF70))
            table = *(Entry**)(*(char**)(teb64 + 0x60) + 0xF8);
    }
    int used = 0;
    for (int i = 0; table && i < 16384; i++) used += table[i].type != 0;
    return used;
}

class ScoreRow : public OneNoteGame {
protected:
    void SetUp() override
    {
        OneNoteGame::SetUp();
        command(IDM_START);
    }
};

// The 38th mark, a key press or the first of a drain of four right notes, fills the row and
// sends the walker instead of the face; the rest of the drain is taken out and judged no more.
TEST_F(ScoreRow, ThirtyEighthMarkFillsTheRowAndSendsTheWalkerInsteadOfTheFace)
{
    ASSERT_EQ(screenWidth, 800);
    for (bool drain : { false, true }) {
        SCOPED_TRACE(drain ? "a drain" : "a key");
        scrollTicks(10);
        for (int answer = 0; answer < 37; answer++) screenKey(C3);
        EXPECT_EQ(scoreRowX, 760);
        EXPECT_EQ(inputEnabled, 1);
        EXPECT_TRUE(onlyTimer(TIMER_SCROLL));
        MidiEvent played = { 0, 0, noteOn(C3, 100) };
        for (int i = 0; drain && i < 4; i++) queuePut(eventQueue, &played);
        if (drain) SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);
        else screenKey(C3);
        EXPECT_TRUE(slots(20, 780, true));
        EXPECT_EQ(scoreRowX, 780);
        EXPECT_EQ(inputEnabled, 0);
        EXPECT_EQ(noteState, DRAW_HAPPY);
        EXPECT_EQ(eventQueue->count.load(), 0u);
        EXPECT_TRUE(onlyTimer(TIMER_WALKER));
        EXPECT_EQ(timerId, TIMER_WALKER);
        EXPECT_TRUE(noteShown(770));
        EXPECT_FALSE(noteShown(770, DRAW_HAPPY)) << "the face waits for the walker's first tick";
        walkerTicks(1);                 // the run's first tick, from the right edge
        EXPECT_EQ(walkerX, 798);
        EXPECT_EQ(scoreRowX, 808);
        EXPECT_TRUE(noteShown(767, DRAW_HAPPY));
        runWalkerToTheEnd();
        ASSERT_TRUE(takePosted(WM_COMMAND, IDM_START));
        command(IDM_START);
    }
}

TEST_F(ScoreRow, WalkerFirstTickMovesTheHappyNoteOnAndDrawsTheSprite)
{
    for (int sprite : { 0, WALKER_COUNT - 1 }) {
        SCOPED_TRACE(sprite);
        scrollTicks(10);
        ASSERT_EQ(fillRow(), 38);
        randomSeed(seedForWalker(sprite));
        walkerTicks(1);
        EXPECT_EQ(walkerSprite, sprite);
        EXPECT_EQ(noteX, 767);
        EXPECT_TRUE(noteShown(767, DRAW_HAPPY));
        EXPECT_EQ(walkerX, 798);
        EXPECT_EQ(scoreRowX, 808);
        EXPECT_FALSE(nextTurnPosted());
        if (sprite == 0) {          // on to the next full row
            runWalkerToTheEnd();
            ASSERT_TRUE(takePosted(WM_COMMAND, IDM_START));
            command(IDM_START);
        }
    }
    // Later ticks move only the walker and draw nothing from the random sequence.
    randomSeed(99);
    int nextDraw = randomDraw();
    randomSeed(99);
    walkerTicks(20);
    EXPECT_EQ(noteX, 767);
    EXPECT_EQ(walkerSprite, WALKER_COUNT - 1);
    EXPECT_EQ(walkerX, 758);
    EXPECT_EQ(scoreRowX, 768);
    EXPECT_TRUE(windowShows(walkerBitmaps[WALKER_COUNT - 1], 760, walkerTop()));
    EXPECT_EQ(randomDraw(), nextDraw);
}

TEST_F(ScoreRow, WalkerRunClearsTheRowThenTheNextTurnStartsOnAnEmptyRow)
{
    ASSERT_EQ(screenWidth, 800);
    std::set<int> widthsSeen;
    for (int sprite = 0; sprite < WALKER_COUNT; sprite++) {
        int width = spriteWidth(walkerBitmaps[sprite]);
        if (!widthsSeen.insert(width).second) continue;     // one run per sprite width
        SCOPED_TRACE(width);
        scrollTicks(10);
        ASSERT_EQ(fillRow(), 38);
        randomSeed(seedForWalker(sprite));

        walkerTicks(200);
        ASSERT_EQ(walkerX, 400);
        EXPECT_EQ(scoreRowX, 410);
        repaintWindow();            // mid-run: only the marks still left of the walker
        EXPECT_TRUE(slots(20, 420, true));
        EXPECT_TRUE(slots(420, 780, false));

        int ticks = 200 + runWalkerToTheEnd();
        EXPECT_EQ(ticks, (800 + width + 2) / 2);
        if (width == 66) {
            EXPECT_EQ(ticks, 434);
        } else if (width == 120) {
            EXPECT_EQ(ticks, 461);
        }
        EXPECT_TRUE(areaIs(0, walkerTop(), clientWidth(), 40, WHITE));
        EXPECT_EQ(scoreRowX, 20);
        EXPECT_EQ(walkerX, screenWidth);
        EXPECT_TRUE(staffClean()) << "the note is erased";
        EXPECT_TRUE(onlyTimer(0));
        EXPECT_TRUE(menuGrayed(IDM_START));

        ASSERT_TRUE(takePosted(WM_COMMAND, IDM_START));
        command(IDM_START);
        EXPECT_EQ(inputEnabled, 1);
        EXPECT_TRUE(onlyTimer(TIMER_SCROLL));
    }
    EXPECT_EQ(widthsSeen, (std::set<int>{ 66, 120 }));
}

TEST_F(ScoreRow, ALongGameOfTicksPaintsAndTurnsHoldsNoMoreGdiObjects)
{
    int before = gdiObjects();
    ASSERT_GT(before, 0) << "no count of GDI objects";
    for (int game = 0; game < 3; game++) {  // each: 38 marks, a walker run, a missed note, 40 paints
        ASSERT_EQ(fillRow(), 38);
        runWalkerToTheEnd();
        command(IDM_START);
        scrollTicks(234);
        ticks(TIMER_PAUSE, 1);
        command(IDM_START);
        for (int paint = 0; paint < 40; paint++) repaintWindow();
    }
    EXPECT_LE(gdiObjects(), before + 3) << "held before: " << before;
}

TEST_F(ScoreRow, RowFilledJustBeforeTheLineStillEndsHappyWithoutAPause)
{
    scrollTicks(233);
    ASSERT_EQ(noteX, 101);
    ASSERT_EQ(fillRow(), 38);
    walkerTicks(1);
    EXPECT_EQ(noteX, 98);
    EXPECT_EQ(noteState, DRAW_HAPPY);
    EXPECT_TRUE(noteShown(98, DRAW_HAPPY));
    EXPECT_TRUE(onlyTimer(TIMER_WALKER));
    runWalkerToTheEnd();
    EXPECT_TRUE(onlyTimer(0));
    EXPECT_TRUE(takePosted(WM_COMMAND, IDM_START));
}

TEST_F(ScoreRow, AnswersDuringTheWalkerRunChangeNothing)
{
    scrollTicks(10);
    fillRow();
    walkerTicks(5);
    int rowX = scoreRowX;
    screenKey(C3);
    screenKey(D3);
    screenKey(SCREEN_KEY_NONE);
    MidiEvent played[] = { { 0, 0, noteOn(C3, 100) }, { 1, 0, noteOn(D3, 100) } };
    for (const MidiEvent& event : played) queuePut(eventQueue, &event);
    SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);
    MidiEvent left;
    EXPECT_FALSE(queueGet(eventQueue, &left)) << "the events are drained all the same";
    EXPECT_EQ(scoreRowX, rowX);
    EXPECT_EQ(scoreRowX, walkerX + 10);
    EXPECT_TRUE(slots(20, 780, true));
    EXPECT_TRUE(onlyTimer(TIMER_WALKER));
}

TEST_F(ScoreRow, StopMidRunThenStartContinuesTheRowAndResumesTheSameRun)
{
    scrollTicks(10);
    ASSERT_EQ(fillRow(), 38);
    randomSeed(seedForWalker(2));
    walkerTicks(100);
    ASSERT_EQ(walkerX, 600);
    command(IDM_STOP);
    EXPECT_TRUE(onlyTimer(0));
    EXPECT_TRUE(staffClean()) << "neither the note nor its face is left";
    repaintWindow();
    EXPECT_TRUE(staffClean());
    EXPECT_EQ(walkerX, 600);
    EXPECT_EQ(scoreRowX, 610);
    EXPECT_TRUE(slots(20, 620, true));

    command(IDM_START);
    EXPECT_EQ(scoreRowX, 610);
    scrollTicks(10);
    EXPECT_EQ(fillRow(), 9) << "marks go on from the walker's place: 610 ... 770";
    EXPECT_TRUE(slots(20, 600, true));
    EXPECT_TRUE(slots(610, 790, true));
    EXPECT_TRUE(onlyTimer(TIMER_WALKER));

    // The run resumes: the same sprite, no happy-face step and no draw from the sequence.
    randomSeed(7);
    int nextDraw = randomDraw();
    randomSeed(7);
    walkerTicks(1);
    EXPECT_EQ(walkerSprite, 2);
    EXPECT_EQ(noteX, 770);
    EXPECT_TRUE(noteShown(770));
    EXPECT_FALSE(noteShown(770, DRAW_HAPPY));
    EXPECT_EQ(walkerX, 598);
    EXPECT_EQ(randomDraw(), nextDraw);

    int width = spriteWidth(walkerBitmaps[2]);
    EXPECT_EQ(1 + runWalkerToTheEnd(), (600 + width + 2) / 2);
    EXPECT_TRUE(staffClean());
    EXPECT_TRUE(areaIs(0, walkerTop(), 600 + width, 40, WHITE));
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_EQ(walkerX, screenWidth);
    EXPECT_TRUE(takePosted(WM_COMMAND, IDM_START));
    // The marks the resumed run never reached go at the next repaint.
    repaintWindow();
    EXPECT_TRUE(slots(20, 780, false));
}

// Stop in a walker run leaves the free slot off the 20-pixel grid, and a wrong answer that
// clamps to the first slot puts it back on. One drain of wrong, wrong, right must leave the
// row as a drain for each answer does: the slot at 30 blanked, no half mark at 40.
TEST_F(ScoreRow, OneDrainLeavesTheRowAsADrainForEachAnswerDoesAlsoOffTheGrid)
{
    Snapshot row[2];
    for (bool oneDrain : { false, true }) {
        SCOPED_TRACE(oneDrain ? "one drain" : "a drain each");
        if (oneDrain) {             // the same game again, in a fresh window
            closeGameWindow();
            openGameWindow("C3");
            command(IDM_START);
        }
        randomSeed(1);              // the same walker both times
        scrollTicks(10);
        ASSERT_EQ(fillRow(), 38);
        walkerTicks(380);
        command(IDM_STOP);
        ASSERT_EQ(scoreRowX, 50);
        command(IDM_START);
        for (int note : { D3, D3, C3 }) {
            MidiEvent played = { 0, 0, noteOn(note, 100) };
            queuePut(eventQueue, &played);
            if (!oneDrain) SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);
        }
        if (oneDrain) SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);
        EXPECT_EQ(scoreRowX, 40);
        row[oneDrain] = snapshot(0, rowTop(), clientWidth(), 20);
    }
    EXPECT_TRUE(windowMatches(row[0]));
}
