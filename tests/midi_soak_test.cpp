// Eight scripted devices flood the running game from their own threads: it must neither
// crash nor hang, keep painting and answering, lose nothing it had room for, and end with
// the memory it started with.
#include "support.h"
#include "fake_midi.h"
#include <psapi.h>
#include <atomic>
#include <thread>

static const int DEVICES = 8;
static const int PER_DEVICE = 125000;          // a million messages in all

static WNDPROC gameProc;
static std::atomic<long> paints{ 0 }, drains{ 0 };

// Counts what the window thread gets done while the flood runs.
static LRESULT CALLBACK countingProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_PAINT) paints++;
    if (msg == WM_MIDI_INPUT) drains++;
    return CallWindowProcA(gameProc, window, msg, wParam, lParam);
}

static SIZE_T privateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&counters, sizeof counters);
    return counters.PrivateUsage;
}

static DWORD noteOn(int note, int velocity)
{
    return 0x90 | (DWORD)note << 8 | (DWORD)velocity << 16;
}

TEST(MidiSoak, AMillionMessagesFromEightDevicesWhileTheGamePlays)
{
    TempFolder folder;
    writeSettingsFile("C3");
    fakeMidiInstall(DEVICES);
    ModalDriver boxes;
    std::vector<DWORD> flood;
    flood.reserve(PER_DEVICE);
    for (int i = 0; i < PER_DEVICE; i++)     // mostly wrong notes, some right, some releases
        flood.push_back(i % 7 == 0 ? noteOn(60, 0) : noteOn(i % 5 ? 62 + i % 3 : 60, 1 + i % 127));

    SIZE_T memoryBefore = 0, memoryAfter = 0;
    long paintsDuringFlood = 0;
    DWORD slowestAnswer = 0;
    bool delivered = false, scoredAfter = false;
    int exitCode = runWinMain([&] {
        gameProc = (WNDPROC)SetWindowLongPtrA(mainWindow, GWLP_WNDPROC, (LONG_PTR)countingProc);
        SendMessageA(mainWindow, WM_COMMAND, IDM_START, 0);      // real timers: the game plays
        // Warm up once so the memory baseline includes what a first flood allocates.
        fakeMidiPlay(0, std::vector<DWORD>(3000, noteOn(62, 9)));
        std::thread([&] {
            fakeMidiDelivered(60000);
            memoryBefore = privateBytes();
            paints = 0;
            // Bursts every 5 ms: 40,000 messages a second in all, five times what eight
            // MIDI cables can carry (a 3-byte message takes 0.96 ms on the wire).
            size_t played = 0;
            DWORD lastCheck = GetTickCount();
            while (played < flood.size()) {
                size_t burst = std::min<size_t>(25, flood.size() - played);
                std::vector<DWORD> part(flood.begin() + played, flood.begin() + played + burst);
                for (int device = 0; device < DEVICES; device++) fakeMidiPlay(device, part);
                played += burst;
                Sleep(5);
                if (GetTickCount() - lastCheck < 50) continue;
                lastCheck = GetTickCount();
                // From outside, as the desktop would: the window must keep answering and painting.
                DWORD sent = GetTickCount();
                DWORD_PTR result;
                SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
                slowestAnswer = std::max(slowestAnswer, GetTickCount() - sent);
                InvalidateRect(mainWindow, 0, FALSE);
            }
            while (!fakeMidiDelivered(0)) {
                DWORD sent = GetTickCount();
                DWORD_PTR result;
                SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
                slowestAnswer = std::max(slowestAnswer, GetTickCount() - sent);
                InvalidateRect(mainWindow, 0, FALSE);
                Sleep(50);
            }
            delivered = true;
            paintsDuringFlood = paints;
            // Let the window thread drain what is left, then play one clean right answer.
            DWORD_PTR result;
            SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
            Sleep(200);
            SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
            int before = scoreRowX;
            PostMessageA(mainWindow, WM_COMMAND, IDM_STOP, 0);
            PostMessageA(mainWindow, WM_COMMAND, IDM_START, 0);
            SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
            fakeMidiSend(3, noteOn(60, 100));
            fakeMidiDelivered(20000);
            for (int i = 0; i < 100 && !scoredAfter; i++) {
                SendMessageTimeoutA(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
                scoredAfter = scoreRowX == before + 20 || (before > screenWidth - 60 && scoreRowX != before);
                Sleep(10);
            }
            memoryAfter = privateBytes();
            PostMessageA(mainWindow, WM_CLOSE, 0, 0);
        }).detach();
    });
    fakeMidiUninstall();
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(delivered);
    EXPECT_TRUE(scoredAfter) << "a right answer after the flood still scores";
    EXPECT_GT(paintsDuringFlood, 0) << "the window went on painting";   // a starved window paints none
    EXPECT_LT(slowestAnswer, 5000u) << "the window thread stalled";
    EXPECT_GT(drains.load(), 0);
    // Nothing grows with the number of messages: a leak of even a byte per message would
    // show here as a megabyte.
    EXPECT_LT((long long)memoryAfter - (long long)memoryBefore, 1 << 20)
        << "before " << memoryBefore << " after " << memoryAfter;
    EXPECT_TRUE(boxes.messageTexts.empty());
    printf("flood: %d messages, %ld drains, %ld paints, slowest answer %lu ms\n",
           DEVICES * PER_DEVICE, drains.load(), paintsDuringFlood, (unsigned long)slowestAnswer);
}
