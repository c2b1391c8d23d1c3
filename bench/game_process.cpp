// The game as a player runs it, in a process of its own: start-up time against a bare
// window program, CPU used while a game plays, peak memory and the size of the program.
#include "bench.h"
#include "game/game.h"
#include "resources/resource.h"
#include "scratch.h"
#include <psapi.h>
#include <winternl.h>
#include <stdio.h>
#include <string.h>
#include <string>

static const int STARTS = 10;
static const DWORD PLAY_MS = 10000;

static std::string folderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

HWND visibleWindowOf(Started* started)
{
    return started->window = findThreadWindow(started->process.dwThreadId, 0);
}

bool startProgram(const std::string& path, const std::string& folder, Started* started)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + path + "\"";
    started->window = 0;
    return CreateProcessA(path.c_str(), &commandLine[0], 0, 0, FALSE, 0, 0, folder.c_str(),
                          &startup, &started->process) != 0;
}

void closeProgram(Started* started)
{
    if (started->window) PostMessageA(started->window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(started->process.hProcess, 10000) != WAIT_OBJECT_0) {
        printNote("PROBLEM: the program did not quit on WM_CLOSE; terminated");
        TerminateProcess(started->process.hProcess, 1);
        WaitForSingleObject(started->process.hProcess, 5000);
    }
    CloseHandle(started->process.hThread);
    CloseHandle(started->process.hProcess);
}

// The top staff line as the screen shows it: three black rows (85-87) between white
// ones, at a few places right of the clef. Read off the screen, so what counts is what
// a player would see.
static bool staffLineShown(HWND window)
{
    HDC screen = GetDC(0);
    bool shown = true;
    for (int x = 150; x <= 450 && shown; x += 150) {
        POINT at = { x, STAFF_TOP_LINE };
        ClientToScreen(window, &at);
        for (int dy = -3; dy <= 3 && shown; dy++) {
            COLORREF want = dy >= -1 && dy <= 1 ? RGB(0, 0, 0) : RGB(255, 255, 255);
            if (dy == -2 || dy == 2) continue;      // the pen's edge may be either
            shown = GetPixel(screen, at.x, at.y + dy) == want;
        }
    }
    ReleaseDC(0, screen);
    return shown;
}

// Seconds from CreateProcess to the staff line on screen; negative when it never shows.
static double timeToStaff(const std::string& path, const std::string& folder)
{
    Started started;
    int64_t start = clockNow();
    if (!startProgram(path, folder, &started)) return -1;
    double seconds = -1;
    while (clockSeconds(clockNow() - start) < 30) {
        if (visibleWindowOf(&started) && staffLineShown(started.window)) {
            seconds = clockSeconds(clockNow() - start);
            break;
        }
        Sleep(1);
    }
    closeProgram(&started);
    return seconds;
}

static void benchStartUp(const std::string& gamePath, const std::string& barePath,
                         const std::string& folder)
{
    std::vector<double> game, bare;
    for (int i = 0; i < STARTS; i++) {     // taken in turns, so both see the same machine
        double b = timeToStaff(barePath, folder);
        double g = timeToStaff(gamePath, folder);
        if (b > 0) bare.push_back(b);
        if (g > 0) game.push_back(g);
    }
    printf("start-up: CreateProcess -> top staff line painted on screen, median of %d starts\n",
           STARTS);
    if (game.empty() || bare.empty()) {
        printf("  PROBLEM: staff seen in %zu game and %zu bare starts\n", game.size(), bare.size());
        return;
    }
    double gameMedian = percentile(game, 0.5), bareMedian = percentile(bare, 0.5);
    printFigure("tunegrin.exe", gameMedian * 1e3, "ms", "<= 1.3 x bare window");
    printFigure("bare_window.exe (one window, one line)", bareMedian * 1e3, "ms", "none");
    printFigure("ratio", gameMedian / bareMedian, "x", "<= 1.3");
}

static double fileTimeSeconds(FILETIME time)
{
    ULARGE_INTEGER value = { { time.dwLowDateTime, time.dwHighDateTime } };
    return (double)value.QuadPart * 100e-9;                 // FILETIME counts 100 ns
}

// User plus kernel time of the process from the system's process list, which covers
// every thread. Gives -1 when the process is not listed. Under Wine this is Linux's own
// count, while GetProcessTimes on another process lags behind it.
static double listedProcessSeconds(DWORD processId)
{
    typedef LONG (WINAPI * QueryCall)(ULONG, void*, ULONG, ULONG*);
    QueryCall query = (QueryCall)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                       "NtQuerySystemInformation");
    if (!query) return -1;
    std::vector<char> list(1 << 20);
    ULONG size = 0;
    if (query(SystemProcessInformation, list.data(), (ULONG)list.size(), &size) != 0) return -1;
    for (size_t at = 0;;) {
        const SYSTEM_PROCESS_INFORMATION* entry = (const SYSTEM_PROCESS_INFORMATION*)&list[at];
        if ((DWORD)(DWORD_PTR)entry->UniqueProcessId == processId)
            return (double)(entry->UserTime.QuadPart + entry->KernelTime.QuadPart) * 100e-9;
        if (!entry->NextEntryOffset) return -1;
        at += entry->NextEntryOffset;
    }
}

// CPU seconds used so far by a running process, as GetProcessTimes gives them.
static double processSeconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    return fileTimeSeconds(kernel) + fileTimeSeconds(user);
}

// Under Wine the X server does the game's drawing: its CPU time, read from Linux's
// /proc through Wine's drive Z:, in clock ticks of 10 ms. -1 when unknown.
static double xServerSeconds(const char* xServerPid)
{
    if (!xServerPid || !*xServerPid) return -1;
    std::string path = std::string("Z:\\proc\\") + xServerPid + "\\stat";
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return -1;
    char text[1024] = {};
    fread(text, 1, sizeof text - 1, file);
    fclose(file);
    const char* fields = strrchr(text, ')');          // past the command name
    unsigned long long userTicks, systemTicks;
    if (!fields || sscanf(fields + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
                          &userTicks, &systemTicks) != 2)
        return -1;
    return (double)(userTicks + systemTicks) / 100.0;
}

static double peakWorkingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return -1;
    return (double)counters.PeakWorkingSetSize / (1024.0 * 1024.0);
}

// The game plays by itself: with no answers each note crosses, is missed, and after the
// pause the next one comes, so the scroll and pause timers both run.
static void benchPlay(const std::string& gamePath, const std::string& barePath,
                      const std::string& folder, const char* xServerPid)
{
    Started game;
    if (!startProgram(gamePath, folder, &game)) {
        printNote("PROBLEM: tunegrin.exe did not start");
        return;
    }
    int64_t start = clockNow();
    while (!visibleWindowOf(&game) && clockSeconds(clockNow() - start) < 30) Sleep(10);
    if (!game.window) {
        printNote("PROBLEM: no window from tunegrin.exe");
        closeProgram(&game);
        return;
    }
    Sleep(1000);                                // start-up over
    HANDLE query = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                               game.process.dwProcessId);
    double cpuBefore = processSeconds(game.process.hProcess);
    double listedBefore = listedProcessSeconds(game.process.dwProcessId);
    double xBefore = xServerSeconds(xServerPid);
    int64_t playStart = clockNow();
    PostMessageA(game.window, WM_COMMAND, IDM_START, 0);
    Sleep(PLAY_MS);
    double cpu = processSeconds(game.process.hProcess) - cpuBefore;
    double listed = listedProcessSeconds(game.process.dwProcessId) - listedBefore;
    double xServer = xServerSeconds(xServerPid) - xBefore;
    double wall = clockSeconds(clockNow() - playStart);
    double peak = query ? peakWorkingSet(query) : -1;
    if (query) CloseHandle(query);
    closeProgram(&game);

    // The same memory figure for the bare window: what the runtime alone takes.
    Started bare;
    double barePeak = -1;
    if (startProgram(barePath, folder, &bare)) {
        start = clockNow();
        while (!visibleWindowOf(&bare) && clockSeconds(clockNow() - start) < 30) Sleep(10);
        Sleep(500);
        barePeak = peakWorkingSet(bare.process.hProcess);
        closeProgram(&bare);
    }

    printf("tunegrin.exe playing for %.1f s (note after note missed, pauses between)\n", wall);
    printFigure("CPU time, GetProcessTimes (user + kernel)", cpu * 1e3, "ms", "none");
    printFigure("CPU time, system process list (all threads)", listed * 1e3, "ms", "none");
    printFigure("share of one core (the larger of the two)", std::max(cpu, listed) / wall * 100,
                "%", "< 2 %");
    if (xBefore >= 0 && xServer >= 0)
        printFigure("Xvfb meanwhile (it draws for Wine), share of a core", xServer / wall * 100,
                    "%", "none");
    printf("memory: peak working set (GetProcessMemoryInfo)\n");
    printFigure("tunegrin.exe after start-up and play", peak, "MB", "< 16 MB");
    printFigure("bare_window.exe, the runtime alone", barePeak, "MB", "none");
    if (peak > 0 && barePeak > 0)
        printFigure("tunegrin.exe above the bare window", peak - barePeak, "MB", "none");
}

static void printProgramSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        printNote("PROBLEM: cannot read the size of tunegrin.exe");
        return;
    }
    double bytes = (double)data.nFileSizeLow + (double)data.nFileSizeHigh * 4294967296.0;
    printf("program size: %s\n", path.c_str());
    printFigure("tunegrin.exe (static, no DLLs of its own)", bytes / 1024.0, "KB", "< 1024 KB");
}

void benchGameProcess(const char* tunegrinPath, const char* xServerPid, bool startUpOnly)
{
    char self[MAX_PATH];
    GetModuleFileNameA(0, self, sizeof self);
    std::string barePath = folderOf(self) + "\\bare_window.exe";
    ScratchFolder folder("bench");      // empty: no settings file, as on a first run
    printProgramSize(tunegrinPath);
    benchStartUp(tunegrinPath, barePath, folder.path());
    if (!startUpOnly) benchPlay(tunegrinPath, barePath, folder.path(), xServerPid);
}
