// The road of one MIDI answer: from the callback, called on a thread of its own as the
// multimedia system would, to the score mark drawn by the window thread.
#include "bench.h"
#include "app/app.h"
#include "game/game.h"
#include "midi/midi.h"
#include "midi/midi_api.h"
#include "resources/resource.h"
#include <atomic>
#include <stdio.h>
#include <thread>

static const int WARM_UP = 200;
static const int ANSWERS = 5000;

#define FLOOR_MESSAGE (WM_APP + 1)          // a bare post, answered with one bare copy step

static HANDLE answerWanted;                 // set by the window thread: play the next one
static std::atomic<int64_t> playedAt;       // clock reading just before the callback
static std::atomic<bool> stopPlaying;
static MidiDeviceContext answerContext;     // listed while playing, as an open device's record

// One right answer at a time, so each one is timed alone; waiting on the event keeps this
// thread off the processor meanwhile. Every answer is followed by the floor it is held
// against: one cross-thread post, answered with one copy step.
static void playAnswers(int count)
{
    for (int i = 0; i < count; i++) {
        WaitForSingleObject(answerWanted, INFINITE);
        if (stopPlaying.load()) return;
        DWORD_PTR noteOn = 0x90 | ((DWORD_PTR)targetNote << 8) | (100 << 16);
        playedAt.store(clockNow(), std::memory_order_release);
        midiInputCallback(0, MIM_DATA, (DWORD_PTR)&answerContext, noteOn, (DWORD_PTR)i);
        WaitForSingleObject(answerWanted, INFINITE);
        if (stopPlaying.load()) return;
        playedAt.store(clockNow(), std::memory_order_release);
        PostMessageA(mainWindow, FLOOR_MESSAGE, 0, 0);
    }
}

void benchAnswerLatency()
{
    eventQueue = queueCreate(MIDI_QUEUE_CAPACITY);
    SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);     // a real turn, its timer running
    answerWanted = CreateEventA(0, FALSE, FALSE, 0);
    answerContext.window = mainWindow;
    answerContext.queue = eventQueue;
    deviceContexts[0] = &answerContext;
    int total = WARM_UP + ANSWERS;
    std::thread player(playAnswers, total);

    std::vector<double> latencies, floor;
    int answered = 0, unmarked = 0;
    SetEvent(answerWanted);
    int64_t giveUpAt = clockNow() + (int64_t)(60 / clockSeconds(1));
    while (answered < total && clockNow() < giveUpAt) {
        MSG msg;
        if (GetMessageA(&msg, 0, 0, 0) <= 0) break;
        int32_t rowBefore = scoreRowX;
        if (msg.hwnd == mainWindow && msg.message == FLOOR_MESSAGE) {
            copyStep(scoreMarkBitmap, SCORE_SLOT, scoreRowY);
            if (answered > WARM_UP) floor.push_back(clockSeconds(clockNow() - playedAt.load(std::memory_order_acquire)));
            SetEvent(answerWanted);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (msg.hwnd != mainWindow || msg.message != WM_MIDI_INPUT) continue;
        int64_t drawnAt = clockNow();
        if (scoreRowX != rowBefore + SCORE_SLOT) unmarked++;
        else if (answered >= WARM_UP)
            latencies.push_back(clockSeconds(drawnAt - playedAt.load(std::memory_order_acquire)));
        answered++;
        // Keep the turn open: no result face, the row never full, the note never missed.
        noteState = DRAW_NOTE;
        if (scoreRowX > screenWidth - 3 * SCORE_SLOT) scoreRowX = SCORE_SLOT;
        if (noteX < MISS_X + 100) noteX = screenWidth;
        SetEvent(answerWanted);
    }
    stopPlaying.store(true);
    SetEvent(answerWanted);
    player.join();
    deviceContexts[0] = 0;
    SendMessageA(mainWindow, WM_COMMAND, IDM_STOP, 0);
    CloseHandle(answerWanted);

    printf("answer latency: midiInputCallback on another thread -> score mark drawn,\n"
           "  beside its floor: one cross-thread post -> one copy step of the mark\n");
    char what[96];
    snprintf(what, sizeof what, "answer / floor, p99 over %zu answers", latencies.size());
    printFigure(what, percentile(latencies, 0.99) / percentile(floor, 0.99), "x", "<= 2 x");
    printFigure("answer / floor, p50", percentile(latencies, 0.50) / percentile(floor, 0.50), "x", "none");
    printFigure("answer p50", percentile(latencies, 0.50) * 1e6, "us", "none; the ratio leads");
    printFigure("answer p99", percentile(latencies, 0.99) * 1e6, "us", "none");
    printFigure("answer max", percentile(latencies, 1.0) * 1e6, "us", "none");
    printFigure("floor p50", percentile(floor, 0.50) * 1e6, "us", "none");
    printFigure("floor p99", percentile(floor, 0.99) * 1e6, "us", "none");
    if (unmarked || answered < total) {
        printf("  PROBLEM: %d of %d answers drew no mark, %d never arrived\n", unmarked, answered,
               total - answered);
    }
}
