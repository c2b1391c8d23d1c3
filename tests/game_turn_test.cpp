// The game turn by turn: menu commands, timer ticks and answers sent to the real main window.
#include "one_note_game.h"
#include <initializer_list>
#include <utility>
#include <mmsystem.h>
#include <algorithm>

static void endPause() { SendMessageA(mainWindow, WM_TIMER, TIMER_PAUSE, 0); }

// Note-ons as the MIDI callback queues them (status 0x90), then the notice it posts,
// handled at once as the message loop would hand it over.
static void midiNoteOns(std::initializer_list<std::pair<int, int>> notesAndVelocities)
{
    for (const auto& played : notesAndVelocities) {
        MidiEvent event = { 0, 0, noteOn(played.first, played.second) };
        queuePut(eventQueue, &event);
    }
    SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0);
}

static bool queueEmpty()
{
    MidiEvent left;
    return !queueGet(eventQueue, &left);
}

// The next turn, started by the IDM_START that the end of the last one posted.
static testing::AssertionResult nextTurnStarts()
{
    if (!takePosted(WM_COMMAND, IDM_START)) return testing::AssertionFailure() << "no IDM_START was posted";
    command(IDM_START);
    return testing::AssertionSuccess();
}

// A turn answered right after ten ticks, through its pause; the next start is posted.
static void rightTurn()
{
    scrollTicks(10);
    screenKey(C3);
    scrollTicks(1);
    endPause();
}

// That many right turns, each followed by the next turn's start.
static testing::AssertionResult rightTurns(int count)
{
    for (int turn = 0; turn < count; turn++) {
        rightTurn();
        if (!nextTurnStarts()) return testing::AssertionFailure() << "no start posted after right turn " << turn;
    }
    return testing::AssertionSuccess();
}

class GameTurn : public OneNoteGame {};

TEST_F(GameTurn, FirstRepaintShowsTheStaffAloneWithStartOfferedAndStartRunsTheScrollTimer)
{
    EXPECT_FALSE(menuGrayed(IDM_START));
    EXPECT_TRUE(menuGrayed(IDM_STOP));
    repaintWindow();
    EXPECT_TRUE(staffAlone());
    EXPECT_TRUE(staffClean());
    EXPECT_TRUE(rowShows(0));
    EXPECT_TRUE(onlyTimer(0));

    // Start grays Start and runs the scroll timer without drawing the note.
    command(IDM_START);
    EXPECT_TRUE(menuGrayed(IDM_START));
    EXPECT_FALSE(menuGrayed(IDM_STOP));
    EXPECT_TRUE(onlyTimer(TIMER_SCROLL));
    EXPECT_EQ(timerId, TIMER_SCROLL);
    EXPECT_EQ(targetNote, C3);
    EXPECT_EQ(noteX, screenWidth);
    EXPECT_EQ(noteState, DRAW_NOTE);
    EXPECT_EQ(inputEnabled, 1);
    EXPECT_TRUE(staffClean());
}

TEST_F(GameTurn, NoteMovesThreePixelsLeftOnEveryTickWithoutATrail)
{
    ASSERT_EQ(screenWidth, 800);
    command(IDM_START);
    scrollTicks(1);
    EXPECT_EQ(noteX, 797);          // just beyond the client's right edge
    for (int tick = 2; tick <= 20; tick++) {
        scrollTicks(1);
        ASSERT_EQ(noteX, 800 - 3 * tick);
        if (tick < 10) continue;    // from here the whole head is inside the window
        EXPECT_TRUE(noteShown(noteX)) << tick;
        EXPECT_TRUE(staffClean(noteX, noteX + 78)) << tick;
    }
    // Timer ids the game does not own move nothing.
    SendMessageA(mainWindow, WM_TIMER, 0, 0);
    SendMessageA(mainWindow, WM_TIMER, 7, 0);
    EXPECT_EQ(noteX, 740);
    EXPECT_EQ(noteState, DRAW_NOTE);
}

TEST_F(GameTurn, RightAnswerMarksTheRowThenTheFacePausesAndTheNextTurnStarts)
{
    command(IDM_START);
    scrollTicks(10);
    screenKey(C3);
    EXPECT_TRUE(rowShows(1));
    EXPECT_EQ(scoreRowX, 40);
    EXPECT_EQ(noteState, DRAW_HAPPY);
    EXPECT_FALSE(noteShown(770, DRAW_HAPPY)) << "the face waits for the next tick";
    EXPECT_EQ(inputEnabled, 1);
    EXPECT_TRUE(onlyTimer(TIMER_SCROLL));

    scrollTicks(1);
    EXPECT_EQ(noteX, 767);
    EXPECT_TRUE(noteShown(767, DRAW_HAPPY));
    EXPECT_EQ(inputEnabled, 0);
    EXPECT_TRUE(onlyTimer(TIMER_PAUSE));
    EXPECT_EQ(timerId, TIMER_PAUSE);
    EXPECT_FALSE(takePosted(WM_COMMAND, IDM_START));

    endPause();
    EXPECT_TRUE(staffClean());
    EXPECT_TRUE(onlyTimer(0));
    EXPECT_TRUE(rowShows(1));
    EXPECT_TRUE(menuGrayed(IDM_START)) << "the game goes on between turns";
    ASSERT_TRUE(nextTurnStarts());
    EXPECT_EQ(noteX, screenWidth);
    EXPECT_EQ(noteState, DRAW_NOTE);
    EXPECT_EQ(inputEnabled, 1);
    EXPECT_TRUE(onlyTimer(TIMER_SCROLL));
    EXPECT_TRUE(rowShows(1));
    EXPECT_EQ(scoreRowX, 40);
}

// The game's timer against two of the test's own on this thread, set just before and after it
// at 3/5 and 3/2 of its period: Windows hands out the one due soonest first, so their order
// tells the period whatever the machine's speed (2/5 of a period to spare). Half or double pace swaps it.
// (Windows itself needs the finer timer resolution to tell 16 ms from 20.)
TEST_F(GameTurn, TheNoteStepsEvery20MsTheResultStays2SecondsTheWalkerStepsEvery15Ms)
{
    struct Pace { UINT_PTR timer; UINT ms; void (*before)(); void (*setsIt)(); };
    const Pace paces[] = {
        { TIMER_SCROLL, 20, [] {}, [] { command(IDM_START); } },
        { TIMER_PAUSE, 2000, [] { screenKey(C3); }, [] { scrollTicks(1); } },
        { TIMER_WALKER, 15, [] { endPause(); nextTurnStarts(); while (scoreRowX < 760) screenKey(C3); },
                            [] { screenKey(C3); } },
    };
    const UINT_PTR sooner = 11, later = 12;
    timeBeginPeriod(1);
    for (const Pace& pace : paces) {
        SCOPED_TRACE(pace.timer);
        pace.before();
        SetTimer(mainWindow, sooner, pace.ms * 3 / 5, 0);
        pace.setsIt();
        SetTimer(mainWindow, later, pace.ms * 3 / 2, 0);
        std::vector<UINT_PTR> order;
        auto seen = [&](UINT_PTR id) { return std::find(order.begin(), order.end(), id) - order.begin(); };
        waitUntil([&] {
            for (MSG tick; PeekMessageA(&tick, mainWindow, WM_TIMER, WM_TIMER, PM_REMOVE);) order.push_back(tick.wParam);
            return seen(later) < (int)order.size();
        }, 2 * pace.ms + 5000);
        KillTimer(mainWindow, sooner);
        KillTimer(mainWindow, later);
        EXPECT_LT(seen(sooner), seen(pace.timer));
        EXPECT_LT(seen(pace.timer), seen(later)) << "ticks seen: " << order.size();
    }
    timeEndPeriod(1);
}

TEST_F(GameTurn, ThreeRightTurnsThenAWrongAnswerBlanksTheThirdMark)
{
    command(IDM_START);
    ASSERT_TRUE(rightTurns(3));
    EXPECT_TRUE(rowShows(3));
    EXPECT_EQ(scoreRowX, 80);

    scrollTicks(10);
    screenKey(D3);
    EXPECT_TRUE(rowShows(2));
    EXPECT_EQ(scoreRowX, 60);
    // The turn goes on: the note keeps moving plain and may still be answered.
    EXPECT_EQ(noteState, DRAW_NOTE);
    EXPECT_EQ(inputEnabled, 1);
    scrollTicks(1);
    EXPECT_TRUE(noteShown(767));
    EXPECT_TRUE(onlyTimer(TIMER_SCROLL));
    screenKey(C3);
    EXPECT_TRUE(rowShows(3));
}

TEST_F(GameTurn, WrongAnswerOnAnEmptyRowBlanksTheFirstSlotAndTheWholeScreenKeyIsTheAnswer)
{
    // Something on the first slot, so that the blanking shows.
    HDC window = GetDC(mainWindow);
    RECT slot = { 20, rowTop(), 40, rowTop() + 20 };
    FillRect(window, &slot, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ReleaseDC(mainWindow, window);

    command(IDM_START);
    scrollTicks(10);
    screenKey(D3);
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_TRUE(rowShows(0));
    screenKey(SCREEN_KEY_NONE);
    EXPECT_EQ(scoreRowX, 20);
    screenKey(C3);
    EXPECT_TRUE(rowShows(1));
    ASSERT_EQ(scoreRowX, 40);
    // A screen key with the right note in its low bits and more above them is wrong.
    EXPECT_EQ(SendMessageA(mainWindow, WM_SCREEN_KEY, C3 + 0x10000, 0), 0);
    EXPECT_EQ(scoreRowX, 20) << "the whole wParam is the answer";
    EXPECT_TRUE(rowShows(0));
    EXPECT_EQ(noteState, DRAW_HAPPY) << "the earlier hit still stands";
}

TEST_F(GameTurn, MissedNoteShowsTheMadFaceAndTheRowGoesWhenThePauseEnds)
{
    ASSERT_EQ(screenWidth, 800);
    command(IDM_START);
    ASSERT_TRUE(rightTurns(2));
    scrollTicks(233);
    EXPECT_EQ(noteX, 101);
    EXPECT_EQ(noteState, DRAW_NOTE);
    EXPECT_TRUE(onlyTimer(TIMER_SCROLL));

    scrollTicks(1);                 // tick 234, the first x below 100
    EXPECT_EQ(noteX, 98);
    EXPECT_EQ(noteState, DRAW_MAD);
    EXPECT_TRUE(noteShown(98, DRAW_MAD));
    EXPECT_EQ(inputEnabled, 0);
    EXPECT_TRUE(onlyTimer(TIMER_PAUSE));
    EXPECT_TRUE(rowShows(2)) << "the row stays through the pause";
    EXPECT_EQ(scoreRowX, 60);

    endPause();
    EXPECT_TRUE(rowShows(0));
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_TRUE(staffClean(98, 101)) << "the note is erased";
    EXPECT_TRUE(onlyTimer(0));
    ASSERT_TRUE(nextTurnStarts());
    scrollTicks(10);
    screenKey(C3);
    EXPECT_TRUE(rowShows(1));
}

TEST_F(GameTurn, RightAnswerOnTheLastTickBeforeTheLineStillEndsMadAndLosesTheRow)
{
    command(IDM_START);
    ASSERT_TRUE(rightTurns(1));
    scrollTicks(233);
    ASSERT_EQ(noteX, 101);
    screenKey(C3);
    EXPECT_TRUE(rowShows(2));
    scrollTicks(1);
    EXPECT_EQ(noteState, DRAW_MAD);
    EXPECT_TRUE(noteShown(98, DRAW_MAD));
    EXPECT_TRUE(onlyTimer(TIMER_PAUSE));
    endPause();
    EXPECT_TRUE(rowShows(0)) << "the new mark goes with the rest";
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_TRUE(takePosted(WM_COMMAND, IDM_START));
}

TEST_F(GameTurn, AnswersWhileInputIsClosedChangeNothingButMidiIsStillDrained)
{
    auto answerEverything = [] {
        screenKey(C3);
        screenKey(D3);
        screenKey(SCREEN_KEY_NONE);
        midiNoteOns({ { C3, 100 }, { D3, 100 }, { C3, 64 } });
    };
    // Idle, before any game.
    answerEverything();
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_TRUE(rowShows(0));
    EXPECT_TRUE(queueEmpty());

    command(IDM_START);
    rightTurn();                    // up to the posted start of the next turn
    answerEverything();             // between turns
    EXPECT_TRUE(queueEmpty());
    EXPECT_EQ(scoreRowX, 40);
    // Under a stream of notes their drain may be left to the drain timer, which comes after
    // the posted start: what came between turns must not answer the next one.
    MidiEvent right = { 0, 0, noteOn(C3, 100) };
    queuePut(eventQueue, &right);
    ASSERT_TRUE(nextTurnStarts());
    SendMessageA(mainWindow, WM_TIMER, TIMER_MIDI, 0);
    EXPECT_EQ(scoreRowX, 40) << "a note played between turns answered the next one";

    scrollTicks(10);
    screenKey(C3);
    scrollTicks(1);                 // the result pause
    answerEverything();
    EXPECT_TRUE(queueEmpty());
    EXPECT_EQ(scoreRowX, 60);
    EXPECT_TRUE(rowShows(2));
    EXPECT_TRUE(noteShown(767, DRAW_HAPPY));

    endPause();
    ASSERT_TRUE(nextTurnStarts());
    command(IDM_STOP);              // idle again after Stop
    answerEverything();
    EXPECT_TRUE(queueEmpty());
    EXPECT_EQ(scoreRowX, 60);
    EXPECT_TRUE(rowShows(2));
}

TEST_F(GameTurn, MidiNoteOnWithVelocityZeroIsAReleaseAndCountsAsNothing)
{
    command(IDM_START);
    scrollTicks(10);
    midiNoteOns({ { C3, 0 }, { D3, 0 } });
    EXPECT_TRUE(queueEmpty());
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_EQ(noteState, DRAW_NOTE);
    midiNoteOns({ { C3, 1 } });
    EXPECT_TRUE(rowShows(1));
    EXPECT_EQ(noteState, DRAW_HAPPY);
}

// Each note of one drain is judged: two right ones add two marks, a right then a wrong one add
// a mark and take it away. The hit stands for the turn: it ends with the happy face.
TEST_F(GameTurn, EveryNoteOfOneDrainIsJudgedAndAHitStandsForTheTurn)
{
    for (int second : { D3, C3 }) {         // the row is empty again after the first
        SCOPED_TRACE(second);
        command(IDM_START);
        scrollTicks(10);
        midiNoteOns({ { C3, 90 }, { second, 90 } });
        EXPECT_TRUE(queueEmpty());
        int marks = second == C3 ? 2 : 0;
        EXPECT_TRUE(rowShows(marks));
        EXPECT_EQ(scoreRowX, 20 + 20 * marks);
        scrollTicks(1);
        EXPECT_TRUE(noteShown(767, DRAW_HAPPY));
        EXPECT_TRUE(onlyTimer(TIMER_PAUSE));
        command(IDM_STOP);
    }
}

TEST_F(GameTurn, MidiNoticeWithoutAQueueIsHarmless)
{
    queueDestroy(eventQueue);
    eventQueue = 0;                 // no MIDI device was found at start-up
    command(IDM_START);
    scrollTicks(10);
    EXPECT_EQ(SendMessageA(mainWindow, WM_MIDI_INPUT, 0, 0), 0);
    EXPECT_EQ(scoreRowX, 20);
    EXPECT_EQ(noteState, DRAW_NOTE);
    EXPECT_EQ(inputEnabled, 1);
    screenKey(C3);                  // the on-screen keyboard still answers
    EXPECT_EQ(scoreRowX, 40);
}

// Stop erases the note, offers Start, kills the timer and takes no answer, whatever the turn's
// phase, and leaves the staff clean for the next game.
TEST_F(GameTurn, StopInEveryPhaseErasesTheNoteOffersStartAndLeavesTheStaffCleanForTheNextGame)
{
    struct Phase { const char* name; void (*reach)(); int shown; };
    const Phase phases[] = {
        { "note moving", [] { scrollTicks(30); }, DRAW_NOTE },
        { "hit pending", [] { scrollTicks(100); screenKey(C3); }, DRAW_NOTE },
        { "happy pause", [] { scrollTicks(100); screenKey(C3); scrollTicks(1); }, DRAW_HAPPY },
        { "mad pause",   [] { scrollTicks(234); }, DRAW_MAD },
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.name);
        command(IDM_START);
        phase.reach();
        ASSERT_TRUE(noteShown(noteX, phase.shown)) << "before Stop";
        command(IDM_STOP);
        bool atClef = noteX < 101;          // an erased note at x 98 also blanks clef columns
        EXPECT_TRUE(staffClean(atClef ? 90 : 0, atClef ? 101 : 0));
        EXPECT_FALSE(menuGrayed(IDM_START));
        EXPECT_TRUE(menuGrayed(IDM_STOP));
        EXPECT_TRUE(onlyTimer(0));
        EXPECT_EQ(inputEnabled, 0);
        EXPECT_FALSE(takePosted(WM_COMMAND, IDM_START));
        int rowX = scoreRowX;
        screenKey(C3);
        EXPECT_EQ(scoreRowX, rowX);
        repaintWindow();                    // any later repaint while idle
        EXPECT_TRUE(staffClean());

        command(IDM_START);
        EXPECT_EQ(noteState, DRAW_NOTE);
        scrollTicks(10);
        EXPECT_TRUE(noteShown(770));
        EXPECT_TRUE(staffClean(770, clientWidth())) << "nothing left where the last note stood";
        command(IDM_STOP);
    }
}

TEST_F(GameTurn, StopDuringTheMissPauseKeepsTheRowAndTheNextStartContinuesIt)
{
    command(IDM_START);
    ASSERT_TRUE(rightTurns(2));
    scrollTicks(234);
    ASSERT_EQ(noteState, DRAW_MAD);
    command(IDM_STOP);
    EXPECT_TRUE(rowShows(2));
    EXPECT_EQ(scoreRowX, 60);
    repaintWindow();
    EXPECT_TRUE(rowShows(2));

    command(IDM_START);
    scrollTicks(10);
    screenKey(C3);
    EXPECT_TRUE(rowShows(3));
    EXPECT_EQ(scoreRowX, 80);
}

// The window stays in place until the process ends; Exit, a menu command, repaints too.
TEST_F(GameTurn, CloseAndExitPostQuitAndLeaveTheWindow)
{
    for (WPARAM viaMenu : { 0, IDM_EXIT }) {
        SCOPED_TRACE(viaMenu ? "Exit" : "WM_CLOSE");
        blankStaffStretch();
        ASSERT_FALSE(staffLinesUnbroken(0, clientWidth()));
        EXPECT_EQ(SendMessageA(mainWindow, viaMenu ? WM_COMMAND : WM_CLOSE, viaMenu, 0), 0);
        if (viaMenu) { EXPECT_TRUE(staffLinesUnbroken(0, clientWidth())) << "the command's repaint"; }
        EXPECT_TRUE(IsWindow(mainWindow));
        EXPECT_TRUE(IsWindowVisible(mainWindow));
        MSG quit;
        ASSERT_TRUE(PeekMessageA(&quit, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(quit.wParam, 0u);
        repaintWindow();
    }
}

TEST_F(GameTurn, CommandWeDoNotOwnGoesToTheDefaultProcedureAndRepaintsNothing)
{
    command(IDM_START);
    scrollTicks(10);
    blankStaffStretch();
    EXPECT_EQ(SendMessageA(mainWindow, WM_COMMAND, 999, 0), 0);
    EXPECT_EQ(SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_STOP, 1), 0), 0);   // whole wParam
    EXPECT_FALSE(staffLinesUnbroken(0, clientWidth())) << "a repaint happened";
    EXPECT_TRUE(menuGrayed(IDM_START));
    EXPECT_TRUE(onlyTimer(TIMER_SCROLL));
    EXPECT_EQ(inputEnabled, 1);
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
}
