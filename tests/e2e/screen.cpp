// Reading the game's picture: captures of its windows, the note's staff row, faces, marks.
#include "screen.h"
#include <math.h>
#include <algorithm>
#include <stdio.h>
#include <string.h>

static const COLORREF YELLOW = RGB(255, 255, 0), DARK_RED = RGB(128, 0, 0);

// Staff geometry: notes hang from y = 8 + 19 * row with the head's centre 21 pixels lower,
// and nothing of them reaches below y = 320. The clef fills x < 101.
#define HEAD_CENTRE_Y(row) (29 + 19 * (row))
#define STAFF_AREA_BOTTOM 320
#define CLEF_RIGHT 101

bool Picture::visible(int x, int y) const
{
    for (const RECT& r : hidden)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return false;
    return true;
}

Picture capture(HWND window, HWND above)
{
    Picture picture;
    RECT client;
    GetClientRect(window, &client);
    picture.width = client.right;
    picture.height = client.bottom;
    HDC dc = GetDC(window);
    // Another process's window is read through its own device context, which clips to what
    // shows on the screen (a capture of the whole screen misses windows under Wine).
    picture.pixels = grabPixels(dc, 0, 0, picture.width, picture.height);
    ReleaseDC(window, dc);
    if (above && IsWindowVisible(above)) {
        RECT cover;
        GetWindowRect(above, &cover);
        POINT corners[2] = { { cover.left - 1, cover.top - 1 }, { cover.right + 1, cover.bottom + 1 } };
        ScreenToClient(window, &corners[0]);
        ScreenToClient(window, &corners[1]);
        picture.hidden.push_back({ corners[0].x, corners[0].y, corners[1].x, corners[1].y });
    }
    return picture;
}

int scoreRowY()
{
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    return desktop.bottom - 80;
}

int keyForRow(int row)
{
    return KEY_B4 - row;
}

// Staff lines run the window's width: black wherever they are in sight. A note keeps
// them black through its own width, and its ledger segments are shorter than the part of
// the staff we can see.
static std::vector<char> staffLineRows(const Picture& picture, int bottom)
{
    std::vector<char> lineRow(bottom, 0);
    for (int y = 0; y < bottom; y++) {
        int seenCount = 0, blackCount = 0;
        for (int x = CLEF_RIGHT; x < picture.width; x++) {
            if (!picture.visible(x, y)) continue;
            seenCount++;
            if (picture.at(x, y) == BLACK) blackCount++;
        }
        lineRow[y] = seenCount >= 90 && blackCount == seenCount;
    }
    return lineRow;
}

bool staffShown(const Picture& picture)
{
    int bottom = picture.height < STAFF_AREA_BOTTOM ? picture.height : STAFF_AREA_BOTTOM;
    std::vector<char> lineRow = staffLineRows(picture, bottom);
    // Five lines 3 pixels thick: not a window still all white, nor all black.
    long lines = std::count(lineRow.begin(), lineRow.end(), 1);
    return lines >= 5 && lines <= 25;
}

NoteSeen findNote(const Picture& picture)
{
    NoteSeen seen;
    int bottom = picture.height < STAFF_AREA_BOTTOM ? picture.height : STAFF_AREA_BOTTOM;
    std::vector<char> lineRow = staffLineRows(picture, bottom);
    int left = picture.width, right = -1, top = bottom, lowest = -1;
    for (int y = 0; y < bottom; y++) {
        if (lineRow[y]) continue;
        for (int x = CLEF_RIGHT; x < picture.width; x++) {
            if (!picture.visible(x, y) || picture.at(x, y) != BLACK) continue;
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            if (y > lowest) lowest = y;
        }
    }
    if (right < 0) return seen;
    // The head's ring is 39 rows high and 64 columns wide. With at least 40 columns of it in
    // sight its top and bottom are too, as long as nothing hides the rows around it.
    int height = lowest - top + 1;
    if (height < 30 || height > 44 || right - left + 1 < 40) return seen;
    // A face on it means the turn has its result: that note is no longer asking.
    for (int x = left; x <= right; x++)
        for (int y = top - 3; y <= lowest + 3; y++) {
            if (y < 0 || y >= bottom) continue;
            if (!picture.visible(x, y) || picture.at(x, y) == YELLOW) return seen;
        }
    double centre = (top + lowest) / 2.0;
    int row = (int)lround((centre - HEAD_CENTRE_Y(0)) / 19.0);
    if (row < 0 || row >= NOTE_ROWS || fabs(centre - HEAD_CENTRE_Y(row)) > 6) return seen;
    seen.row = row;
    seen.left = left;
    return seen;
}

Face faceOnStaff(const Picture& picture, int* left)
{
    int bottom = picture.height < STAFF_AREA_BOTTOM ? picture.height : STAFF_AREA_BOTTOM;
    int yellow = 0, darkRed = 0, leftmost = picture.width;
    for (int y = 0; y < bottom; y++)
        for (int x = 0; x < picture.width; x++) {
            if (!picture.visible(x, y)) continue;
            COLORREF c = picture.at(x, y);
            if (c == YELLOW) {
                yellow++;
                if (x < leftmost) leftmost = x;
            }
            if (c == DARK_RED) darkRed++;
        }
    if (left) *left = leftmost;
    if (yellow < 100) return FACE_NONE;
    return darkRed >= 5 ? FACE_MAD : FACE_HAPPY;
}

const char* faceName(Face face)
{
    return face == FACE_HAPPY ? "the happy face" : face == FACE_MAD ? "the mad face" : "no face";
}

// Yellow pixels in slot k (1-based), at x = 20 * k of the score row.
static int slotYellow(const Picture& picture, int slot, bool* white)
{
    int y0 = scoreRowY(), x0 = SCORE_SLOT * slot, count = 0;
    *white = true;
    for (int y = y0; y < y0 + SCORE_SLOT; y++)
        for (int x = x0; x < x0 + SCORE_SLOT; x++) {
            COLORREF c = picture.at(x, y);
            if (c == YELLOW) count++;
            if (c != WHITE) *white = false;
        }
    return count;
}

testing::AssertionResult rowShowsMarks(const Picture& picture, int count)
{
    if (scoreRowY() + SCORE_SLOT > picture.height)
        return testing::AssertionFailure() << "the score row lies below the client area";
    std::string shown, wrong;
    for (int slot = 1; SCORE_SLOT * (slot + 1) <= picture.width; slot++) {
        bool white;
        int yellow = slotYellow(picture, slot, &white);
        bool mark = yellow >= 20;
        if (mark) shown += " " + std::to_string(slot);
        if (slot <= count && !mark) wrong += " slot " + std::to_string(slot) + " has no mark;";
        if (slot > count && !white) wrong += " slot " + std::to_string(slot) + " is not blank;";
    }
    if (!wrong.empty()) {
        testing::AssertionResult failure = testing::AssertionFailure();
        if (count == 0) failure << "expected an empty row:";
        else failure << "expected marks in slots 1.." << count << ":";
        return failure << wrong << " marks seen in slots:" << (shown.empty() ? " none" : shown);
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult rowBandIsWhite(const Picture& picture)
{
    int y0 = scoreRowY() - SCORE_SLOT;
    for (int y = y0; y < y0 + 2 * SCORE_SLOT; y++)
        for (int x = 0; x < picture.width; x++)
            if (picture.at(x, y) != WHITE)
                return testing::AssertionFailure() << "pixel (" << x << "," << y << ") of the score row is not white";
    return testing::AssertionSuccess();
}

bool walkerShown(const Picture& picture)
{
    int y0 = scoreRowY() - SCORE_SLOT, drawn = 0;
    for (int y = y0; y < y0 + SCORE_SLOT; y++)
        for (int x = 0; x < picture.width; x++)
            if (picture.at(x, y) != WHITE) drawn++;
    return drawn >= 20;
}

// Rows of the popup menu that carry an item's text: runs of rows with anything but the
// background in them, at least 6 rows high (a separator is a thin etched line). An
// enabled item's text is black; a grayed one's is light.
struct ItemBand { int top, bottom; bool dark; };

static bool rowHasInk(const Picture& popup, int y, COLORREF background, bool* dark)
{
    bool ink = false;
    for (int x = 4; x < popup.width - 4; x++) {      // inside the menu's frame
        COLORREF c = popup.at(x, y);
        if (c == background) continue;
        ink = true;
        if (GetRValue(c) < 64 && GetGValue(c) < 64 && GetBValue(c) < 64) *dark = true;
    }
    return ink;
}

static std::vector<ItemBand> menuItems(const Picture& popup)
{
    std::vector<ItemBand> items;
    if (popup.width < 20 || popup.height < 20) return items;
    COLORREF background = popup.at(popup.width - 8, 5);   // right of every item's text
    int start = -1;
    bool dark = false;
    for (int y = 3; y <= popup.height - 3; y++) {
        bool darkInk = false;
        bool ink = y < popup.height - 3 && rowHasInk(popup, y, background, &darkInk);
        if (ink) {
            if (start < 0) { start = y; dark = false; }
            dark |= darkInk;
        } else if (start >= 0) {           // the last pass, past the frame, ends a band too
            if (y - start >= 6) items.push_back({ start, y - 1, dark });
            start = -1;
        }
    }
    return items;
}

testing::AssertionResult gameMenuShows(const Game& game, bool startEnabled, bool stopEnabled)
{
    auto popupOf = [&] { return findGameWindow(game, "#32768", nullptr); };
    auto inMenu = [&] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(game.process.dwThreadId, &info);
        return popupOf() != 0 || (info.flags & GUI_INMENUMODE) != 0;
    };
    POINT origin = { 0, 0 };
    ClientToScreen(game.window, &origin);
    // "&Game" is the menu bar's first item, just above the client area's left corner. Wine
    // now and then lets a click right after a menu closed pass without opening this one:
    // then only the menu bar is left selected, and Esc clears it for the next try.
    HWND popup = 0;
    for (int attempt = 0; attempt < 3 && !popup; attempt++) {
        if (inMenu()) pressKey(VK_ESCAPE);
        waitUntil([&] { return !inMenu(); }, 2000);
        clickAt(origin.x + 12, origin.y - GetSystemMetrics(SM_CYMENU) / 2);
        waitUntil([&] { return (popup = popupOf()) != 0; }, 2000);
    }
    std::vector<ItemBand> items;
    if (popup) {
        waitUntil([&] {
            items = menuItems(capture(popup));
            return items.size() == 3;       // Start, Stop, Exit; the separator is not an item
        }, 5000, 20);
    }
    // Esc closes the popup, a second Esc leaves the menu bar. A click elsewhere would close
    // it too, but that click would then activate the game's window after our next command,
    // and under Wine that raises it over the keyboard.
    for (int press = 0; press < 2 && inMenu(); press++) {
        pressKey(VK_ESCAPE);
        waitUntil([&] { return popupOf() == 0; }, 5000);
    }
    bool closed = waitUntil([&] { return !inMenu(); }, 5000);
    if (!popup) return testing::AssertionFailure() << "the Game menu did not open";
    if (items.size() != 3)
        return testing::AssertionFailure() << "the Game menu shows " << items.size() << " items, expected 3";
    if (!closed) return testing::AssertionFailure() << "the Game menu did not close";
    if (items[0].dark != startEnabled || items[1].dark != stopEnabled || !items[2].dark)
        return testing::AssertionFailure()
               << "Start is " << (items[0].dark ? "enabled" : "grayed") << ", Stop is "
               << (items[1].dark ? "enabled" : "grayed") << ", Exit is " << (items[2].dark ? "enabled" : "grayed");
    return testing::AssertionSuccess();
}

static void savePicture(const Picture& picture, const char* path)
{
    FILE* file = fopen(path, "wb");
    if (!file) return;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = picture.width;
    info.biHeight = -picture.height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + picture.width * picture.height * 4;
    fwrite(&header, sizeof header, 1, file);
    fwrite(&info, sizeof info, 1, file);
    for (COLORREF c : picture.pixels) {
        DWORD p = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        fwrite(&p, 4, 1, file);
    }
    fclose(file);
}

void GameWatch::TearDown()
{
    if (HasFailure() && game.window && IsWindow(game.window)) {
        char path[MAX_PATH];
        GetTempPathA(sizeof path, path);
        std::string file = std::string(path) + "tunegrin-e2e-" +
                           testing::UnitTest::GetInstance()->current_test_info()->name() + ".bmp";
        savePicture(look(), file.c_str());
        printf("the game's window at the failure: %s\n", file.c_str());
    }
    closeGameProcess(game);
}

NoteSeen GameWatch::waitForNote(int timeoutMs) const
{
    NoteSeen note;
    waitUntil([&] { return (note = findNote(look())).row >= 0; }, timeoutMs);
    return note;
}

testing::AssertionResult GameWatch::waitForMarks(int count, int timeoutMs) const
{
    if (waitUntil([&] { return (bool)rowShowsMarks(look(), count); }, timeoutMs))
        return testing::AssertionSuccess();
    return rowShowsMarks(look(), count);
}

testing::AssertionResult GameWatch::waitForFace(Face face, int timeoutMs) const
{
    Face seen = FACE_NONE;
    if (waitUntil([&] { return (seen = faceOnStaff(look())) == face; }, timeoutMs))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the staff shows " << faceName(seen) << ", expected " << faceName(face);
}
