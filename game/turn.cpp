// One turn of the game: the moving note, the answers, the result pause and the walker run.
// No variable holds the phase: the running timer, noteState and inputEnabled tell it.
#include "game/game.h"
#include "app/app.h"
#include "midi/midi.h"
#include "notes/notes.h"
#include "resources/resource.h"

// Game globals, main thread only.
int32_t noteState = DRAW_NOTE;
int32_t noteX = 0;
int32_t targetNote = 0;
int32_t inputEnabled = 0;
int32_t timerId = 0;            // the one game timer running, killed before the next is set
int32_t scoreRowX = SCORE_SLOT;
int32_t scoreRowY = 0;          // 0 until the window's first message sets the geometry
int32_t walkerX, walkerY;
int32_t walkerSprite = 0;

static MidiEvent drainedEvent;  // queueGet copies each event here

// Score slots changed by the drain under way, each with what its last answer put there:
// one drain may judge hundreds of notes and the row shows only its final state, so each
// slot is drawn once, when the drain ends. Outside a drain an answer draws its slot at once.
// Stop mid-run can leave the free slot off the 20-pixel grid until a clamped miss puts it
// back on, so where the free slot ends cannot tell a slot's picture. Slots off the grid all
// change before those on it, so drawing in first-change order leaves their overlaps as
// answering one by one does.
static int draining;
static struct { int32_t x, show; } changedSlots[64];
static int changedCount;

static void drawChangedSlots()
{
    for (int i = 0; i < changedCount; i++)
        drawScoreMark(changedSlots[i].x, scoreRowY, changedSlots[i].show);
    changedCount = 0;
}

static void showSlot(int32_t x, int32_t show)
{
    int i = 0;
    while (i < changedCount && changedSlots[i].x != x) i++;
    if (i == changedCount) {
        if (changedCount == sizeof changedSlots / sizeof changedSlots[0]) drawChangedSlots();
        i = changedCount++;
        changedSlots[i].x = x;
    }
    changedSlots[i].show = show;
    if (!draining) drawChangedSlots();
}

// Takes out the events present now, judging none: they came while answers were closed.
static void dropWaitingMidi()
{
    if (!eventQueue) return;
    uint32_t present = eventQueue->count.load(std::memory_order_acquire);
    while (present-- > 0 && queueGet(eventQueue, &drainedEvent)) {}
}

static void setMenuPlaying(HWND window, int playing)
{
    HMENU menu = GetMenu(window);
    EnableMenuItem(menu, IDM_STOP, playing ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(menu, IDM_START, playing ? MF_GRAYED : MF_ENABLED);
}

void startTurn(HWND window)
{
    setMenuPlaying(window, 1);
    // Under a stream of notes a drain may still be on its way (a post or the drain timer)
    // when this start, posted by the last turn's end, comes first.
    dropWaitingMidi();
    noteX = screenWidth;            // the first tick draws it just inside the right edge
    targetNote = pickNote();
    noteState = DRAW_NOTE;
    inputEnabled = 1;
    timerId = (int32_t)SetTimer(window, TIMER_SCROLL, SCROLL_INTERVAL, 0);
}

void stopGame(HWND window)
{
    setMenuPlaying(window, 0);
    drawNote(window, noteX, targetNote, DRAW_ERASE);
    inputEnabled = 0;
    KillTimer(window, timerId);
    // A result face would otherwise be drawn again by every idle repaint and be stranded
    // when the next game moves noteX away. Nothing else reads noteState until startTurn.
    noteState = DRAW_NOTE;
}

static void nextTurn(HWND window)
{
    PostMessageA(window, WM_COMMAND, IDM_START, 0);
}

void scrollTick(HWND window)
{
    noteX -= 3;
    if (noteX < MISS_X) noteState = DRAW_MAD;       // also overrides a pending hit
    drawNote(window, noteX, targetNote, noteState);
    if (noteState >= DRAW_HAPPY) {
        inputEnabled = 0;
        KillTimer(window, timerId);
        timerId = (int32_t)SetTimer(window, TIMER_PAUSE, PAUSE_INTERVAL, 0);
    }
}

void pauseEnd(HWND window)
{
    drawNote(window, noteX, targetNote, DRAW_ERASE);
    KillTimer(window, timerId);
    nextTurn(window);
    if (noteX < MISS_X) {           // missed: the whole row goes, the free slot included
        for (int x = scoreRowX; x > 10; x -= SCORE_SLOT) drawScoreMark(x, scoreRowY, 0);
        scoreRowX = SCORE_SLOT;
    }
}

void walkerTick(HWND window)
{
    if (walkerX == screenWidth) {   // first tick of a fresh run: show the happy face
        noteX -= 3;
        drawNote(window, noteX, targetNote, DRAW_HAPPY);
        walkerSprite = randomDraw() % WALKER_COUNT;
    }
    drawWalker(walkerX, walkerY);
    walkerX -= 2;
    scoreRowX = walkerX + 10;       // a repaint mid-run draws only the marks left of it
    if (walkerX <= walkerEndX) {
        walkerX = screenWidth;
        scoreRowX = SCORE_SLOT;
        KillTimer(window, timerId);
        nextTurn(window);
        drawNote(window, noteX, targetNote, DRAW_ERASE);
    }
}

static void scoreHit(HWND window)
{
    scoreRowX += SCORE_SLOT;
    showSlot(scoreRowX - SCORE_SLOT, 1);
    if (scoreRowX > screenWidth - 30) {     // row full: the walker clears it
        KillTimer(window, timerId);
        inputEnabled = 0;
        timerId = (int32_t)SetTimer(window, TIMER_WALKER, WALKER_INTERVAL, 0);
    }
    noteState = DRAW_HAPPY;         // the face waits for the next tick
}

static void scoreMiss()
{
    scoreRowX -= SCORE_SLOT;
    if (scoreRowX < SCORE_SLOT) scoreRowX = SCORE_SLOT;
    showSlot(scoreRowX, 0);         // the last mark's slot is blanked
}

// Takes the whole message parameter, so no key value can alias a note by truncation.
void judgeAnswer(HWND window, WPARAM midiNote)
{
    if (midiNote == (WPARAM)targetNote) scoreHit(window);
    else scoreMiss();
}

// Posted messages come before input, paints and timer ticks, so under a flood, where
// more events wait when a drain ends and a post may wait for them, the next drain is left
// to a timer, which Windows hands out last: the window goes on answering the player,
// painting and ticking between drains. The flag stays set meanwhile, so the callbacks
// post nothing until that drain clears it. With neither a timer nor a post on its way,
// the flag is cleared, or no callback would ever post again.
static void leaveRestForTimer(HWND window)
{
    eventQueue->postWaiting.exchange(1, std::memory_order_acq_rel);
    MSG waiting;
    PeekMessageA(&waiting, window, WM_MIDI_INPUT, WM_MIDI_INPUT, PM_REMOVE | PM_NOYIELD);
    if (SetTimer(window, TIMER_MIDI, USER_TIMER_MINIMUM, 0)) return;
    if (!PostMessageA(window, WM_MIDI_INPUT, 0, 0))
        eventQueue->postWaiting.store(0, std::memory_order_release);
}

// One post may find many events, or none. Every event is taken out, so nothing is left
// over for the next turn, but only those arriving while input is open are judged.
//
// Clearing the post flag before counting lets the next put post again (see the callback);
// the drain then takes no more than the events present when it starts, so a flood cannot
// pin the window thread, and anything put later has a post or the timer coming.
void drainMidiQueue(HWND window)
{
    if (!eventQueue) return;        // no MIDI device: nothing was ever queued
    eventQueue->postWaiting.exchange(0, std::memory_order_acq_rel);
    uint32_t present = eventQueue->count.load(std::memory_order_acquire);
    draining = 1;
    while (present-- > 0 && queueGet(eventQueue, &drainedEvent)) {
        if (!inputEnabled) continue;
        if (((drainedEvent.message >> 16) & 0xFF) == 0) continue;   // velocity 0: a release
        judgeAnswer(window, (drainedEvent.message >> 8) & 0xFF);
    }
    draining = 0;
    drawChangedSlots();
    if (eventQueue->count.load(std::memory_order_acquire) > 0) leaveRestForTimer(window);
}
