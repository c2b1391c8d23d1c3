// The game under eight virtual MIDI keyboards played at the rate a MIDI cable carries
// (about 1,000 note-ons a second each): how fast the note still scrolls, as a ratio to
// the same game with the devices silent. The devices are the tests' stand-in WINMM.dll or,
// down Wine's own winmm and winealsa, ports of the tests' virtual ALSA sequencer (tests/alsa/).
// Then, on the same game, one right answer at a time from outside, timed to its mark on screen.
#include "bench.h"
#include "game/game.h"
#include "resources/resource.h"
#include "scratch.h"
#include "virtual_midi.h"
#include "seq_road.h"
#include <mmsystem.h>
#include <stdio.h>
#include <string.h>
#include <string>

static const int DEVICES = 8;
static const LONG WIRE_RATE = 1000;             // note-ons a second from each device
static const uint32_t WRONG_NOTE = 0x643E90;    // D3, never asked: only C3 is
static const DWORD SPAN_MS = 1500;              // well inside one crossing of the staff
static const int ROUNDS = 3;

// The staff band of the window as the screen shows it, one pixel a DWORD.
struct Band {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
};

static Band captureBand(HWND window, int height, int top = 0)
{
    RECT client;
    GetClientRect(window, &client);
    POINT origin = { 0, top };
    ClientToScreen(window, &origin);
    Band band;
    band.width = client.right;
    band.height = height;
    band.pixels.resize((size_t)band.width * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = band.width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = 0;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, 0, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, band.width, height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    memcpy(band.pixels.data(), bits, band.pixels.size() * sizeof(DWORD));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    return band;
}

// The leftmost column right of the miss line that differs from the bare staff: the note's
// left edge. -1 when the band shows the bare staff there.
static int noteLeft(const Band& now, const Band& bare)
{
    for (int x = MISS_X; x < now.width; x++)
        for (int y = 0; y < now.height; y++)
            if (now.pixels[(size_t)y * now.width + x] != bare.pixels[(size_t)y * bare.width + x]) return x;
    return -1;
}

static bool sameBand(const Band& a, const Band& b)
{
    return a.pixels == b.pixels;
}

static const uint32_t RIGHT_NOTE = 0x643C90;    // C3, the one note asked
static const int ROW_ANSWERS = 30;              // a row holds 37 marks: no walker comes
static const int ROWS = 3;
static const int ANSWERS = ROW_ANSWERS * ROWS;
static const int LATENCY_WARM_UP = 3;

// Seconds until the band below `top` differs from `before` on screen; -1 after `limit` s.
static double secondsUntilChanged(HWND window, int top, int height, const Band& before, int64_t since,
                                  double limit = 2)
{
    while (sameBand(captureBand(window, height, top), before)) {
        if (clockSeconds(clockNow() - since) > limit) return -1;
    }
    return clockSeconds(clockNow() - since);
}

// A full row emptied the way a player empties it: one note left to cross and be missed.
// False when the row never shows empty again.
static bool missOnce(HWND window, int top, int height, const Band& emptyRow)
{
    PostMessageA(window, WM_COMMAND, IDM_START, 0);
    int64_t start = clockNow();
    bool emptied = false;
    while (!(emptied = sameBand(captureBand(window, height, top), emptyRow)) && clockSeconds(clockNow() - start) < 20)
        Sleep(10);
    Sleep(300);                                     // the next turn, posted by the miss, started
    PostMessageA(window, WM_COMMAND, IDM_STOP, 0);
    Sleep(100);
    return emptied;
}

// The answer seen from outside the game, as a player sees it: from the right note handed to
// the virtual device (the stand-in picks it up on its next 1 ms pass, either road) to its
// score mark on the screen. Its floor, in turns with it: one block inverted in the score row
// by this process, to its change on the screen, read by the same loop.
static void answerLatencyOverRoad(HWND window, VirtualMidi* midi, VirtualSeq* seq)
{
    RECT client;
    GetClientRect(window, &client);
    const int height = 100, top = client.bottom - height;     // the score row (80 above the bottom)
    std::vector<double> answers, floor;
    int unseen = 0, floorUnseen = 0;
    Band emptyRow = captureBand(window, height, top);    // the flood's wrong notes left no mark
    for (int i = 0; i < LATENCY_WARM_UP + ANSWERS; i++) {
        if (i > LATENCY_WARM_UP && (i - LATENCY_WARM_UP) % ROW_ANSWERS == 0 && !missOnce(window, top, height, emptyRow)) {
            printNote("PROBLEM: a missed note did not empty the score row; the rest not measured");
            break;                                  // a full row would bring the walker
        }
        PostMessageA(window, WM_COMMAND, IDM_START, 0);
        Sleep(100 + (i * 7) % 20);                  // the turn open, at varied points of a tick
        Band before = captureBand(window, height, top);
        int device = i % DEVICES;
        int64_t playedAt = clockNow();
        if (seq) seqPlay(seq, device, RIGHT_NOTE);
        else virtualPlay(midi, device, MIM_DATA, RIGHT_NOTE);
        double answer = secondsUntilChanged(window, top, height, before, playedAt);
        if (answer < 0) unseen++;
        else if (i >= LATENCY_WARM_UP) answers.push_back(answer);
        PostMessageA(window, WM_COMMAND, IDM_STOP, 0);
        Sleep(50);

        before = captureBand(window, height, top);
        HDC dc = GetDC(window);
        int64_t drawnAt = clockNow();
        PatBlt(dc, client.right - 24, client.bottom - 80, 16, 16, DSTINVERT);
        GdiFlush();
        double seen = secondsUntilChanged(window, top, height, before, drawnAt);
        Band inverted = captureBand(window, height, top);
        PatBlt(dc, client.right - 24, client.bottom - 80, 16, 16, DSTINVERT);   // back, untimed
        GdiFlush();
        secondsUntilChanged(window, top, height, inverted, clockNow());
        ReleaseDC(window, dc);
        if (seen < 0) floorUnseen++;
        else if (i >= LATENCY_WARM_UP) floor.push_back(seen);
    }
    printf("answer latency from outside: right note handed to the virtual %s -> score mark on screen,\n"
           "  beside its floor: one block inverted in the game's window -> seen on screen, %d rounds\n",
           seq ? "sequencer port" : "winmm.dll device", ANSWERS);
    if (answers.empty() || floor.empty() || unseen || floorUnseen) {
        printf("  PROBLEM: %d answers and %d floor blocks never seen on screen\n", unseen, floorUnseen);
        if (answers.size() < ANSWERS * 9 / 10 || floor.size() < ANSWERS * 9 / 10) return;   // no figure from a few
    }
    printFigure("answer / floor, p50", percentile(answers, 0.5) / percentile(floor, 0.5), "x", "none; beside the other road's");
    printFigure("answer / floor, p90", percentile(answers, 0.9) / percentile(floor, 0.9), "x", "none");
    printFigure("answer p50", percentile(answers, 0.5) * 1e3, "ms", "none; the ratio leads");
    printFigure("answer p90", percentile(answers, 0.9) * 1e3, "ms", "none");
    printFigure("answer max", percentile(answers, 1.0) * 1e3, "ms", "none");
    printFigure("floor p50", percentile(floor, 0.5) * 1e3, "ms", "none");
    printFigure("floor p90", percentile(floor, 0.9) * 1e3, "ms", "none");
}

static LONG deliveredInAll(const VirtualMidi* midi, const VirtualSeq* seq)
{
    LONG total = 0;
    for (int d = 0; d < DEVICES; d++) total += seq ? seq->ports[d].delivered : midi->devices[d].delivered;
    return total;
}

// The unchanged game over eight keyboards of the virtual sequencer; its Wine process alone
// sees them (the bench runs with the stand-in preloaded: tools/bench.sh).
static bool startOverSeq(VirtualSeq* seq, const std::string& folder, Started* game)
{
    for (int d = 0; d < DEVICES; d++) {
        char name[32];
        snprintf(name, sizeof name, "USB Keyboard %d", d);
        addSeqPort(seq, 20 + d, 0, VIRTUAL_SEQ_CAP_READ | VIRTUAL_SEQ_CAP_SUBS_READ,
                   VIRTUAL_SEQ_TYPE_MIDI_GENERIC | VIRTUAL_SEQ_TYPE_HARDWARE | VIRTUAL_SEQ_TYPE_PORT, name, "MIDI 1");
    }
    seq->floodMessage = WRONG_NOTE;
    return startProgram(windowsPath(TUNEGRIN_EXE), folder, game);
}

// Scroll ticks a second over one span of a fresh note's crossing; -1 when no note came.
static double tickRate(HWND window, const Band& bare, int height)
{
    PostMessageA(window, WM_COMMAND, IDM_START, 0);
    int64_t waitStart = clockNow();
    int x0 = -1;
    while ((x0 = noteLeft(captureBand(window, height), bare)) < 0) {
        if (clockSeconds(clockNow() - waitStart) > 10) return -1;
        Sleep(1);
    }
    int64_t t0 = clockNow();
    Sleep(SPAN_MS);
    int x1 = noteLeft(captureBand(window, height), bare);
    double seconds = clockSeconds(clockNow() - t0);
    PostMessageA(window, WM_COMMAND, IDM_STOP, 0);
    Sleep(300);
    return x1 < 0 ? -1 : (double)(x0 - x1) / 3.0 / seconds;
}

void benchMidiFlood(bool overSeq)
{
    printf("scroll ticks under %d virtual MIDI devices at %ld note-ons/s each (wrong notes), %d rounds%s\n",
           DEVICES, (long)WIRE_RATE, ROUNDS, overSeq ? ",\n  down Wine's winmm and winealsa from a virtual ALSA sequencer" : "");
    VirtualMidi* midi = overSeq ? 0 : openVirtualMidi();
    VirtualSeq* seq = overSeq ? openVirtualSeq() : 0;
    ScratchFolder folder("bench-midi");
    WritePrivateProfileStringA("initialize", "notes", "C3", (folder.path() + "\\tunegrin.ini").c_str());
    std::string exe = midi ? installVirtualMidi(folder.path(), "tunegrin_bench_midi.exe") : "";
    if (midi) {
        midi->deviceCount = DEVICES;
        midi->floodMessage = WRONG_NOTE;
    }
    Started game;
    bool started = seq ? startOverSeq(seq, folder.path(), &game) : !exe.empty() && startProgram(exe, folder.path(), &game);
    if (!started) {
        printNote("PROBLEM: the game with the virtual devices did not start");
        return;
    }
    int64_t start = clockNow();
    while (!visibleWindowOf(&game) && clockSeconds(clockNow() - start) < 30) Sleep(10);
    while (seq && !seq->opened && clockSeconds(clockNow() - start) < 30) Sleep(10);   // after the window
    if (!game.window || (midi && midi->loadedBy != (LONG)game.process.dwProcessId) || (seq && !seq->opened)) {
        printNote("PROBLEM: no game window, or the stand-in winmm.dll or libasound not loaded");
        closeProgram(&game);
        return;
    }
    Sleep(1000);                                    // start-up over
    volatile LONG* floodRate = seq ? (volatile LONG*)&seq->floodRate : &midi->floodRate;
    const int height = 320;                         // the staff and every note
    Band bare = captureBand(game.window, height);

    std::vector<double> quiet, flooded;
    double floodMessages = 0, floodSeconds = 0;
    for (int round = 0; round < ROUNDS; round++) {   // in turns, so both see the same machine
        double rate = tickRate(game.window, bare, height);
        if (rate > 0) quiet.push_back(rate);
        *floodRate = WIRE_RATE;
        Sleep(500);
        LONG before = deliveredInAll(midi, seq);
        int64_t floodStart = clockNow();
        rate = tickRate(game.window, bare, height);
        floodMessages += deliveredInAll(midi, seq) - before;
        floodSeconds += clockSeconds(clockNow() - floodStart);
        *floodRate = 0;
        Sleep(500);
        if (rate > 0) flooded.push_back(rate);
    }
    if (quiet.empty() || flooded.empty()) {
        printf("  PROBLEM: a note seen in %zu quiet and %zu flooded rounds\n", quiet.size(), flooded.size());
    } else {
        double quietMedian = percentile(quiet, 0.5), floodedMedian = percentile(flooded, 0.5);
        printFigure("messages delivered meanwhile, all devices", floodMessages / floodSeconds, "/s", "~8000");
        printFigure("scroll ticks, devices silent", quietMedian, "/s", "none (50 at 20 ms)");
        printFigure("scroll ticks, devices at wire speed", floodedMedian, "/s", "none");
        printFigure("ratio", floodedMedian / quietMedian, "x", ">= 0.9");
    }
    answerLatencyOverRoad(game.window, midi, seq);   // the same game, its devices now silent
    closeProgram(&game);
}
