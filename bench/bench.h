// What the benchmark parts share: the clock, percentiles and the printing of a figure.
#ifndef TUNEGRIN_BENCH_H
#define TUNEGRIN_BENCH_H

#include <windows.h>
#include <stdint.h>
#include <algorithm>
#include <string>
#include <vector>

inline int64_t clockNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

inline double clockSeconds(int64_t ticks)
{
    static int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return (double)ticks / (double)frequency;
}

// The value below which the given share of the samples lie (nearest rank).
inline double percentile(std::vector<double> samples, double share)
{
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t rank = (size_t)(share * (double)samples.size() + 0.5);
    if (rank > 0) rank--;
    return samples[std::min(rank, samples.size() - 1)];
}

// One line: what, the value with its unit, and the target it is held against.
void printFigure(const char* what, double value, const char* unit, const char* target);
void printNote(const char* text);

// One bare copy step of a sprite onto the game window, timed: the floor of a drawing.
double copyStep(HBITMAP sprite, int x, int y);

// Another program run by the benchmark, and its visible window once found.
struct Started {
    PROCESS_INFORMATION process;
    HWND window;
};
bool startProgram(const std::string& path, const std::string& folder, Started* started);
HWND visibleWindowOf(Started* started);
void closeProgram(Started* started);     // WM_CLOSE, or terminated when that fails

// The parts, in the order bench_main runs them. The process parts come first: they read
// other windows' pixels off the screen, which the in-process window would cover.
void benchGameProcess(const char* tunegrinPath, const char* xServerPid, bool startUpOnly);
void benchMidiFlood(bool overSeq);  // only where the tests' stand-ins are built
void benchAnswerLatency();
void benchTicks();
void benchQueue();

#endif
