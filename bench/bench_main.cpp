// The benchmark program: prints the machine, then every figure with its unit and target.
//   tunegrin_bench.exe [--start-up-and-flood] <path of tunegrin.exe> [CPU model] [Linux pid of the X server]
// --start-up-and-flood: only the figures in which a 32-bit build can part from a 64-bit one,
// the program's size, its start-up against the bare window and the scroll rate under a
// MIDI flood; the rest is measured on the 64-bit build.
//   tunegrin_bench.exe --alsa-flood [CPU model]
// the scroll rate under the flood and the answer latency seen on screen, down Wine's own MIDI
// road, over the tests' virtual ALSA sequencer: run with the stand-in libasound preloaded
// (tools/bench.sh).
//   tunegrin_bench.exe --window-figures [CPU model]
// the answer latency and the ticks alone, each beside its floor, on a game window of our own:
// for a desktop whose scale Wine applies to the window (tools/bench.sh --desktop).
#include "bench.h"
#include "app/app.h"
#include <stdio.h>
#include <string.h>
#include <string>

void printFigure(const char* what, double value, const char* unit, const char* target)
{
    printf("  %-52s %12.3f %-5s (target %s)\n", what, value, unit, target);
    fflush(stdout);
}

void printNote(const char* text)
{
    printf("  %s\n", text);
    fflush(stdout);
}

static const char* wineVersion()
{
    typedef const char* (CDECL * VersionCall)();
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    VersionCall call = ntdll ? (VersionCall)(void*)GetProcAddress(ntdll, "wine_get_version") : 0;
    return call ? call() : 0;
}

// Other work on the machine shows in every figure, so the load goes with them. Under Wine,
// Linux's /proc is on drive Z:.
static std::string loadAverage()
{
    FILE* file = fopen("Z:\\proc\\loadavg", "rb");
    if (!file) return "";
    char text[64] = {};
    fread(text, 1, sizeof text - 1, file);
    fclose(file);
    double oneMinute = 0, fiveMinutes = 0;
    if (sscanf(text, "%lf %lf", &oneMinute, &fiveMinutes) != 2) return "";
    char line[80];
    snprintf(line, sizeof line, ", load average %.2f (1 min) %.2f (5 min)", oneMinute, fiveMinutes);
    return line;
}

int main(int argc, char** argv)
{
#ifdef TUNEGRIN_VIRTUAL_MIDI
    if (argc > 1 && strcmp(argv[1], "--alsa-flood") == 0) {
        printf("TuneGrin benchmark, the %d-bit program, Wine's own MIDI road\n", (int)sizeof(void*) * 8);
        benchMidiFlood(true);
        return 0;
    }
#endif
    bool startUpAndFlood = argc > 1 && strcmp(argv[1], "--start-up-and-flood") == 0;
    // No program to start: the flag stands where its path would, the CPU model after it.
    bool windowOnly = argc > 1 && strcmp(argv[1], "--window-figures") == 0;
    if (startUpAndFlood) {
        argc--;
        argv++;
    }
    if (argc < 2) {
        fprintf(stderr, "usage: tunegrin_bench [--start-up-and-flood] <path of tunegrin.exe> [CPU model] [X server pid]\n");
        return 2;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const char* wine = wineVersion();
    printf("TuneGrin benchmark, the %d-bit program\n", (int)sizeof(void*) * 8);
    printf("machine: %s, %lu cores, %s%s, screen %dx%d%s\n", argc > 2 ? argv[2] : "unknown CPU",
           (unsigned long)system.dwNumberOfProcessors, wine ? "under Wine " : "on Windows",
           wine ? wine : "", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
           loadAverage().c_str());
    fflush(stdout);

    if (!windowOnly) {
        benchGameProcess(argv[1], argc > 3 ? argv[3] : 0, startUpAndFlood);
#ifdef TUNEGRIN_VIRTUAL_MIDI
        benchMidiFlood(false);
#endif
    }
    if (startUpAndFlood) return 0;

    // The rest drives a game window of our own, made as WinMain makes it.
    HINSTANCE instance = GetModuleHandleA(0);
    if (!registerMainClass(instance) || !initInstance(instance, SW_SHOW)) {
        fprintf(stderr, "could not open the game window\n");
        return 1;
    }
    benchAnswerLatency();
    benchTicks();
    if (!windowOnly) benchQueue();
    return 0;
}
