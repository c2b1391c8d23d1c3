// Eight devices flood the running game from threads of their own, burst after burst:
// it must neither crash nor hang, paint and tick between bursts, take out every message it
// had room for once and in order, and not grow with the number of messages. Paced by progress, not by the clock.
// TUNEGRIN_SOAK_MESSAGES sets the size (the soak label runs a million).
#include "support.h"
#include "fake_midi.h"
#include "midi/midi_api.h"
#include <psapi.h>
#include <stdlib.h>
#include <algorithm>
#include <atomic>
#include <thread>

static const int DEVICES = 8;
static const int PER_BURST = 250;               // 2000 a burst in all, below the capacity

static WNDPROC gameProc;
static std::atomic<long> paints{ 0 }, timerTicks{ 0 }, posts{ 0 }, drains{ 0 }, postsBehindPosts{ 0 };
static std::atomic<bool> handling{ false };     // the window thread is inside a message
static int bursts, depth;
static std::vector<DWORD> wrong, mixed;         // a burst of every device; every tenth is mixed
static long taken[DEVICES];                     // burst messages of each device taken out so far
static DWORD lastStamp[DEVICES];
static std::string firstFault;

// Every event taken out of the queue (judged or dropped) is the next one its device
// played, stamped no earlier than the one before.
static void checkTaken(const MidiEvent& event)
{
    std::string fault;
    uint32_t d = event.deviceIndex;
    if (d >= (uint32_t)DEVICES) fault = "a foreign event";
    else if (taken[d] < (long)bursts * PER_BURST) {
        long n = taken[d]++;
        if (event.message != ((n / PER_BURST + 1) % 10 ? wrong : mixed)[n % PER_BURST])
            fault = "device " + std::to_string(d) + "'s message " + std::to_string(n) + " is not the one it played";
        else if (event.timestamp < lastStamp[d]) fault = "time went back on device " + std::to_string(d);
        lastStamp[d] = event.timestamp;
    }
    if (!fault.empty() && firstFault.empty()) firstFault = fault;
}

// Counts what the window thread gets done while the flood runs, and reads the slots each
// message took out of the queue right after it: the next burst waits until it is done, so
// no put reaches them meanwhile.
static LRESULT CALLBACK countingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // A handled command repaints too, and its BeginPaint takes the update region away.
    if (msg == WM_PAINT || msg == WM_COMMAND) paints++;
    bool timerDrain = msg == WM_TIMER && wParam == TIMER_MIDI;
    if (msg == WM_TIMER && !timerDrain) timerTicks++;        // the game's own ticks
    if (msg == WM_MIDI_INPUT) posts++;
    if (msg == WM_MIDI_INPUT || timerDrain) drains++;
    MSG behind;                 // until this drain clears the flag, no other post may be made
    if (msg == WM_MIDI_INPUT && PeekMessageA(&behind, mainWindow, WM_MIDI_INPUT, WM_MIDI_INPUT, PM_NOREMOVE))
        postsBehindPosts++;
    if (depth++ == 0) handling = true;
    MidiEvent* first = eventQueue ? eventQueue->nextRead : 0;
    LRESULT result = CallWindowProcA(gameProc, window, msg, wParam, lParam);
    if (--depth == 0 && first) {
        for (MidiEvent* slot = first; slot != eventQueue->nextRead;) {
            checkTaken(*slot);
            if (++slot == eventQueue->bufferEnd) slot = eventQueue->bufferStart;
        }
        handling = false;
    }
    return result;
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

// Every device calls back with the same burst from a thread of its own, as a driver does,
// stamped in ms since the flood began; done when all have been handed to the callback.
static void playBurst(const std::vector<DWORD>& burst, DWORD start)
{
    std::vector<std::thread> players;
    for (int d = 0; d < DEVICES; d++)
        players.emplace_back([&, d] {
            for (DWORD message : burst)
                midiInputCallback(inputHandles[d], MIM_DATA, (DWORD_PTR)deviceContexts[d].load(), message, GetTickCount() - start);
        });
    for (std::thread& player : players) player.join();
}

// Asks the window thread to get something done and waits for it, far above need.
static bool windowDoes(std::function<bool()> done) { return waitUntil(done, 20000, 1); }

TEST(MidiSoak, BurstsFromEightDevicesWhileTheGamePlays)
{
    TempFolder folder;
    writeSettingsFile("C3");
    fakeMidiInstall(DEVICES);
    ModalDriver boxes(600000);          // a box would be a fault: it is counted below
    bursts = soakMessages() / (DEVICES * PER_BURST);
    // Wrong notes and releases; every tenth burst also right ones, which end the turn with
    // a two-second pause (and fill the row now and then). Most bursts find the note moving.
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
            DWORD start = GetTickCount();
            for (int k = 1; k <= bursts && stall.empty(); k++) {
                playBurst(k % 10 ? wrong : mixed, start);
                long paintsBefore = paints, ticksBefore = timerTicks;
                InvalidateRect(mainWindow, 0, FALSE);
                if (!windowDoes([&] { return paints > paintsBefore && timerTicks > ticksBefore; }))
                    stall = "no paint and tick after burst " + std::to_string(k);
                // Delivered and drained: the layer holds no backlog at these two points.
                if (!windowDoes([] { return eventQueue->count.load() == 0 && !handling; }))
                    stall = "burst " + std::to_string(k) + " was not drained";
                if (k == bursts / 2) memoryAtHalf = privateBytes();
                if (k == bursts) memoryAtEnd = privateBytes();
            }
            // One clean right answer in a fresh turn still scores.
            DWORD_PTR result;
            SendMessageTimeoutA(mainWindow, WM_COMMAND, IDM_STOP, 0, SMTO_NORMAL, 20000, &result);
            SendMessageTimeoutA(mainWindow, WM_COMMAND, IDM_START, 0, SMTO_NORMAL, 20000, &result);
            int before = scoreRowX;
            midiInputCallback(inputHandles[3], MIM_DATA, (DWORD_PTR)deviceContexts[3].load(), noteOn(60, 100), 0);
            scoredAfter = windowDoes([&] { return scoreRowX != before; });
            PostMessageA(mainWindow, WM_CLOSE, 0, 0);
        }).detach();
    });
    fakeMidiUninstall();
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(stall, "");
    EXPECT_TRUE(scoredAfter) << "a right answer after the flood still scores";
    EXPECT_GT(drains.load(), 0);
    EXPECT_EQ(firstFault, "");
    EXPECT_EQ(postsBehindPosts.load(), 0) << "a second post waited behind the one being handled";
    for (int device = 0; device < DEVICES; device++)
        EXPECT_EQ(taken[device], (long)bursts * PER_BURST) << "device " << device;
    // Nothing grows with the number of messages: between the half and the end, a leak of
    // a byte per message would show.
    long long messagesBetween = (long long)(bursts - bursts / 2) * DEVICES * PER_BURST;
    EXPECT_LT((long long)memoryAtEnd - (long long)memoryAtHalf, std::max(messagesBetween, 256LL * 1024))
        << "at half " << memoryAtHalf << " at the end " << memoryAtEnd;
    EXPECT_TRUE(boxes.messageTexts.empty());
    printf("flood: %d messages in %d bursts, %ld posts, %ld drains, %ld paints, %ld game timer ticks\n",
           bursts * DEVICES * PER_BURST, bursts, posts.load(), drains.load(), paints.load(), timerTicks.load());
}
