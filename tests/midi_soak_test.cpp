// Eight scripted devices flood the running game from their own threads, burst after burst:
// it must neither crash nor hang, paint and tick between bursts, lose nothing it had room
// for, and not grow with the number of messages. Paced by progress, not by the clock.
// TUNEGRIN_SOAK_MESSAGES sets the size (the soak label runs a million).
#include "support.h"
#include "fake_midi.h"
#include <psapi.h>
#include <atomic>
#include <thread>

static const int DEVICES = 8;
static const int PER_BURST = 250;               // 2000 a burst in all, below the capacity

static WNDPROC gameProc;
static std::atomic<long> paints{ 0 }, timerTicks{ 0 }, posts{ 0 }, drains{ 0 };

// Counts what the window thread gets done while the flood runs.
static LRESULT CALLBACK countingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // A handled command repaints too, and its BeginPaint takes the update region away.
    if (msg == WM_PAINT || msg == WM_COMMAND) paints++;
    bool timerDrain = msg == WM_TIMER && wParam == TIMER_MIDI;
    if (msg == WM_TIMER && !timerDrain) timerTicks++;        // the game's own ticks
    if (msg == WM_MIDI_INPUT) posts++;
    if (msg == WM_MIDI_INPUT || timerDrain) drains++;
    return CallWindowProcA(gameProc, window, msg, wParam, lParam);
}

static SIZE_T privateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&counters, sizeof counters);
    return counters.PrivateUsage;
}

static int soakMessages()
{
    const char* size = getenv("TUNEGRIN_SOAK_MESSAGES");
    int messages = size ? atoi(size) : 50000;
    return messages > 0 ? messages : 50000;
}

// Asks the window thread to get something done and waits for it, far above need.
static bool windowDoes(std::function<bool()> done) { return waitUntil(done, 20000, 1); }

TEST(MidiSoak, BurstsFromEightDevicesWhileTheGamePlays)
{
    TempFolder folder;
    writeSettingsFile("C3");
    fakeMidiInstall(DEVICES);
    ModalDriver boxes(600000);          // a box would be a fault: it is counted below
    const int bursts = soakMessages() / (DEVICES * PER_BURST);
    // Wrong notes and releases; every tenth burst also right ones, which end the turn with
    // a two-second pause (and fill the row now and then). Most bursts find the note moving.
    std::vector<DWORD> wrong, mixed;
    for (int i = 0; i < PER_BURST; i++) {
        wrong.push_back(i % 7 == 0 ? noteOn(60, 0) : noteOn(62 + i % 3, 1 + i % 127));
        mixed.push_back(i % 5 ? wrong.back() : noteOn(60, 1 + i % 127));
    }

    SIZE_T memoryAtHalf = 0, memoryAtEnd = 0;
    std::string stall;
    bool scoredAfter = false;
    int exitCode = runWinMain([&] {
        gameProc = (WNDPROC)SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, (LONG_PTR)countingProc);
        SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);      // real timers: the game plays
        std::thread([&] {
            for (int k = 1; k <= bursts && stall.empty(); k++) {
                for (int device = 0; device < DEVICES; device++) fakeMidiPlay(device, k % 10 ? wrong : mixed);
                if (!fakeMidiDelivered()) stall = "burst " + std::to_string(k) + " was not delivered";
                long paintsBefore = paints, ticksBefore = timerTicks;
                InvalidateRect(mainWindow, 0, FALSE);
                if (!windowDoes([&] { return paints > paintsBefore && timerTicks > ticksBefore; }))
                    stall = "no paint and tick after burst " + std::to_string(k);
                // Delivered and drained: the layer holds no backlog at these two points.
                if (!windowDoes([] { return eventQueue->count.load() == 0; }))
                    stall = "burst " + std::to_string(k) + " was not drained";
                if (k == bursts / 2) memoryAtHalf = privateBytes();
                if (k == bursts) memoryAtEnd = privateBytes();
            }
            // One clean right answer in a fresh turn still scores.
            DWORD_PTR result;
            SendMessageTimeoutA(mainWindow, WM_COMMAND, IDM_STOP, 0, SMTO_NORMAL, 20000, &result);
            SendMessageTimeoutA(mainWindow, WM_COMMAND, IDM_START, 0, SMTO_NORMAL, 20000, &result);
            int before = scoreRowX;
            fakeMidiSend(3, noteOn(60, 100));
            scoredAfter = windowDoes([&] { return scoreRowX != before; });
            PostMessageA(mainWindow, WM_CLOSE, 0, 0);
        }).detach();
    });
    fakeMidiUninstall();
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(stall, "");
    EXPECT_TRUE(scoredAfter) << "a right answer after the flood still scores";
    EXPECT_GT(drains.load(), 0);
    // Nothing grows with the number of messages: between the half and the end, a leak of
    // a byte per message would show.
    long long messagesBetween = (long long)(bursts - bursts / 2) * DEVICES * PER_BURST;
    EXPECT_LT((long long)memoryAtEnd - (long long)memoryAtHalf, std::max(messagesBetween, 256LL * 1024))
        << "at half " << memoryAtHalf << " at the end " << memoryAtEnd;
    EXPECT_TRUE(boxes.messageTexts.empty());
    printf("flood: %d messages in %d bursts, %ld posts, %ld drains, %ld paints, %ld game timer ticks\n",
           bursts * DEVICES * PER_BURST, bursts, posts.load(), drains.load(), paints.load(), timerTicks.load());
}
