// What the tests, the end-to-end tests, the install probe and the benchmark all need: pixels
// read back, temporary folders, whole files, polling, real clicks and the game's windows.
// Header-only, and it links nothing of the game.
#ifndef TUNEGRIN_SCRATCH_H
#define TUNEGRIN_SCRATCH_H

#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <functional>
#include <string>
#include <vector>

static const COLORREF BLACK = RGB(0, 0, 0), WHITE = RGB(255, 255, 255);

// Copies a rectangle of a window's (or a bitmap's) device context into pixels we can read.
inline std::vector<COLORREF> grabPixels(HDC source, int x, int y, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;      // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = 0;
    HBITMAP dib = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
    HDC memory = CreateCompatibleDC(0);
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    std::vector<COLORREF> pixels((size_t)width * height);
    const DWORD* p = (const DWORD*)bits;
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(dib);
    return pixels;
}

inline void removeTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(child);
            else DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

// A fresh folder of our own under the temporary path, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* kind = "test")
    {
        static int counter;
        char base[MAX_PATH], name[MAX_PATH];
        GetTempPathA(sizeof base, base);
        snprintf(name, sizeof name, "%stunegrin-%s-%lu-%d", base, kind,
                 (unsigned long)GetCurrentProcessId(), ++counter);
        folder = name;
        CreateDirectoryA(folder.c_str(), 0);
    }
    ~ScratchFolder() { removeTree(folder); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return folder; }
private:
    std::string folder;
};

// A path the build gave: a Unix one when it cross-compiles, and Wine shows the Unix root as
// Z:; with backslashes, as CreateProcess wants them.
inline std::string windowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) if (c == '/') c = '\\';
    return path;
}

inline std::string readWholeFile(const std::string& path)     // "" when there is none
{
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return text;
    char buffer[512];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    fclose(file);
    return text;
}

// The notes the settings file in `folder` holds, "(missing)" when it holds none.
inline std::string savedNotes(const std::string& folder = ".")
{
    char value[128] = "";
    GetPrivateProfileStringA("initialize", "notes", "(missing)", value, sizeof value,
                             (folder + "\\tunegrin.ini").c_str());
    return value;
}

// Polls `done` (without dispatching anything) until it holds; false when timeoutMs passes first.
inline bool waitUntil(std::function<bool()> done, int timeoutMs, int pollMs = 10)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if ((int)(GetTickCount() - start) > timeoutMs) return done();
        Sleep(pollMs);
    }
}

// A real left click at a point of the screen, through the system's input queue: the platform
// chooses the window that gets it (none, if it is disabled) when a message loop takes it.
// False when the input could not be sent.
inline bool clickAt(int x, int y)
{
    SetCursorPos(x, y);
    INPUT click[2] = {};
    for (INPUT& input : click) {        // absolute too, in case the pointer moved in between
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    click[0].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    return SendInput(2, click, sizeof(INPUT)) == 2;
}

inline bool clickAsPlayer(HWND window)           // at its middle
{
    RECT rect;
    GetWindowRect(window, &rect);
    return clickAt((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

inline std::string windowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct WindowSearch {
    const char* className;
    const std::function<bool(HWND)>* match;
    HWND found;
};

inline BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    WindowSearch* search = (WindowSearch*)param;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (!IsWindowVisible(window) || (search->className && strcmp(className, search->className) != 0) ||
        (*search->match && !(*search->match)(window)))
        return TRUE;
    search->found = window;
    return FALSE;
}

// The first visible top-level window of the thread of this class (null: any) that `match`
// accepts (empty: any): a game started as a process of its own is found by its thread.
inline HWND findThreadWindow(DWORD thread, const char* className, std::function<bool(HWND)> match = nullptr)
{
    WindowSearch search = { className, &match, 0 };
    EnumThreadWindows(thread, matchWindow, (LPARAM)&search);
    return search.found;
}

inline HWND findMainWindow(DWORD thread)        // the game's, "TuneGrin" of class TuneGrinWClass
{
    return findThreadWindow(thread, "TuneGrinWClass", [](HWND window) { return windowText(window) == "TuneGrin"; });
}

#endif
