// The cost of the game's timer ticks on the real window, and of the event queue alone and
// under eight producers.
#include "bench.h"
#include "app/app.h"
#include "game/game.h"
#include "midi/midi.h"
#include "notes/notes.h"
#include "resources/resource.h"
#include <atomic>
#include <stdio.h>
#include <thread>

static const int TICKS = 4000;

// The floor a tick is held against: one bare copy step of the same sprite, made as the
// drawing code makes it (a window context taken and released around one BitBlt).
double copyStep(HBITMAP sprite, int x, int y)
{
    BITMAP info = {};
    GetObjectA(sprite, sizeof info, &info);
    int64_t start = clockNow();
    HDC window = GetDC(mainWindow);
    HDC memory = CreateCompatibleDC(window);
    HGDIOBJ previous = SelectObject(memory, sprite);
    BitBlt(window, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(mainWindow, window);
    return clockSeconds(clockNow() - start);
}

static double mean(const std::vector<double>& samples)
{
    double sum = 0;
    for (double sample : samples) sum += sample;
    return samples.empty() ? 0 : sum / (double)samples.size();
}

// Ticks and floor steps alternate, so both see the same machine and the same display.
static void printTicks(const char* name, const std::vector<double>& costs, const std::vector<double>& floor)
{
    printf("%s: SendMessage WM_TIMER on the game window, %zu ticks, each beside one bare copy step\n",
           name, costs.size());
    printFigure("tick / copy step, p50", percentile(costs, 0.50) / percentile(floor, 0.50), "x", "<= 1.2 x");
    printFigure("tick / copy step, mean", mean(costs) / mean(floor), "x", "<= 1.2 x");
    printFigure("tick mean", mean(costs) * 1e6, "us", "none; the ratio leads");
    printFigure("tick p50", percentile(costs, 0.50) * 1e6, "us", "none");
    printFigure("tick p99", percentile(costs, 0.99) * 1e6, "us", "none");
    printFigure("copy step (the floor) mean", mean(floor) * 1e6, "us", "none");
}

// The note keeps moving right to left, started again before it would be missed.
static void benchScrollTicks()
{
    SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
    KillTimer(mainWindow, TIMER_SCROLL);        // ticks are sent here, one at a time
    NoteEntry* note = findNoteEntry(targetNote);
    std::vector<double> costs, floor;
    for (int i = 0; i < TICKS; i++) {
        if (noteX < MISS_X + 10) noteX = screenWidth;
        int64_t start = clockNow();
        SendMessageA(mainWindow, WM_TIMER, TIMER_SCROLL, 0);
        costs.push_back(clockSeconds(clockNow() - start));
        floor.push_back(copyStep(note->sprites->note, noteX, note->y));
    }
    SendMessageA(mainWindow, WM_COMMAND, IDM_STOP, 0);
    printTicks("scroll tick", costs, floor);
}

// Whole walker runs across the window; the end of each run posts the next turn, which
// is dropped here so that no game starts.
static void benchWalkerTicks()
{
    walkerX = screenWidth;
    scoreRowX = screenWidth - 20;
    std::vector<double> costs, floor;
    for (int i = 0; i < TICKS; i++) {
        int64_t start = clockNow();
        SendMessageA(mainWindow, WM_TIMER, TIMER_WALKER, 0);
        costs.push_back(clockSeconds(clockNow() - start));
        floor.push_back(copyStep(walkerBitmaps[walkerSprite], walkerX, walkerY));
        MSG posted;
        while (PeekMessageA(&posted, mainWindow, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {}
    }
    scoreRowX = SCORE_SLOT;
    printTicks("walker tick", costs, floor);
}

void benchTicks()
{
    benchScrollTicks();
    benchWalkerTicks();
}

static void benchQueueAlone()
{
    const int pairs = 20000000;
    MidiEventQueue* queue = queueCreate(MIDI_QUEUE_CAPACITY);
    MidiEvent in = { 0, 0, 0x00643C90 }, out = {};
    int wrong = 0;
    int64_t start = clockNow();
    for (int i = 0; i < pairs; i++) {
        in.timestamp = (uint32_t)i;
        queuePut(queue, &in);
        queueGet(queue, &out);
        if (out.timestamp != (uint32_t)i) wrong++;
    }
    double seconds = clockSeconds(clockNow() - start);
    queueDestroy(queue);
    printf("event queue, one thread: queuePut then queueGet, %d pairs\n", pairs);
    printFigure("put + get", seconds / pairs * 1e9, "ns", "< 50 ns");
    if (wrong) printf("  PROBLEM: %d events came back wrong\n", wrong);
}

// Producers hold back while the ring is nearly full, so that every event is delivered
// and the figure counts events through the queue, not events dropped.
static void benchQueueShared()
{
    const int producers = 8;
    const uint32_t perProducer = 250000;
    MidiEventQueue* queue = queueCreate(MIDI_QUEUE_CAPACITY);
    std::atomic<bool> go{ false };
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; p++) {
        threads.emplace_back([=, &go] {
            while (!go.load()) std::this_thread::yield();
            for (uint32_t n = 0; n < perProducer; n++) {
                while (queue->count.load(std::memory_order_acquire) + producers > queue->capacity)
                    std::this_thread::yield();
                MidiEvent event = { (uint32_t)p, n, 0x00643C90 };
                queuePut(queue, &event);
            }
        });
    }
    uint64_t total = (uint64_t)producers * perProducer, received = 0;
    MidiEvent event;
    int64_t start = clockNow();
    go.store(true);
    while (received < total) {
        if (queueGet(queue, &event)) received++;
    }
    double seconds = clockSeconds(clockNow() - start);
    for (std::thread& thread : threads) thread.join();
    int overflowed = queue->overflowed;
    queueDestroy(queue);
    printf("event queue, %d producer threads + 1 reader: %llu events\n", producers,
           (unsigned long long)total);
    printFigure("throughput", total / seconds / 1e6, "M/s", "none; a MIDI cable carries ~1000/s");
    if (overflowed) printNote("PROBLEM: the queue overflowed although producers held back");
}

void benchQueue()
{
    benchQueueAlone();
    benchQueueShared();
}
