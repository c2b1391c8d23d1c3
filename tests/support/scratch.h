// Pixels read back through a device context, and temporary folders: shared by the tests,
// the end-to-end tests and the benchmark. Header-only, and it links nothing of the game.
#ifndef TUNEGRIN_SCRATCH_H
#define TUNEGRIN_SCRATCH_H

#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>

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
    std::string file(const char* name) const { return folder + "\\" + name; }
    std::string read(const char* name) const        // the whole file, "" when there is none
    {
        std::string text;
        FILE* file = fopen(this->file(name).c_str(), "rb");
        if (!file) return text;
        char buffer[512];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
        fclose(file);
        return text;
    }
private:
    std::string folder;
};

#endif
