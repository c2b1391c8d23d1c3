// The committed sprite files: format, sizes and the pixel rules that make notes, staff
// lines and moving sprites line up.
#include <gtest/gtest.h>
#include "scratch.h"
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>

struct Bmp {
    int width = 0, height = 0, bits = 0, compression = -1, colours = 0;
    std::vector<unsigned char> palette;      // B,G,R,0 per entry
    std::vector<int> pixels;                 // palette index, top row first
    int at(int x, int y) const { return pixels[y * width + x]; }
};

static std::vector<unsigned char> sourceFile(const std::string& relative)
{
    std::string bytes = readWholeFile(windowsPath(TUNEGRIN_SOURCE_DIR) + "/" + relative);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

static int le32(const std::vector<unsigned char>& b, size_t at)
{
    return (int)(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (unsigned)b[at + 3] << 24);
}

static Bmp loadBmp(int id)
{
    Bmp bmp;
    std::vector<unsigned char> b = sourceFile("resources/sprite" + std::to_string(id) + ".bmp");
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return bmp;
    int offset = le32(b, 10);
    bmp.width = le32(b, 18);
    bmp.height = le32(b, 22);
    bmp.bits = b[28] | b[29] << 8;
    bmp.compression = le32(b, 30);
    bmp.colours = le32(b, 46);
    bmp.palette.assign(b.begin() + 54, b.begin() + 54 + 64);
    if (bmp.bits != 4 || bmp.height <= 0) return bmp;
    int stride = ((bmp.width * 4 + 31) / 32) * 4;
    bmp.pixels.resize(bmp.width * bmp.height);
    for (int y = 0; y < bmp.height; y++) {
        size_t row = offset + (size_t)(bmp.height - 1 - y) * stride;      // stored bottom-up
        for (int x = 0; x < bmp.width; x++) {
            unsigned char pair = b.at(row + x / 2);
            bmp.pixels[y * bmp.width + x] = x % 2 ? pair & 15 : pair >> 4;
        }
    }
    return bmp;
}

static const int INK = 0, PAPER = 15;        // palette entries: black, white

struct SpriteSize { int id, width, height; };
static const SpriteSize sizes[] = {
    { 101, 66, 40 }, { 102, 66, 40 }, { 103, 120, 40 }, { 104, 101, 285 }, { 105, 60, 35 },
    { 106, 120, 40 }, { 107, 60, 35 }, { 108, 78, 43 }, { 109, 78, 43 }, { 110, 78, 43 },
    { 111, 78, 43 }, { 112, 78, 43 }, { 113, 78, 43 }, { 114, 78, 43 }, { 115, 78, 43 },
    { 116, 78, 43 }, { 117, 78, 43 }, { 118, 78, 43 }, { 119, 78, 43 }, { 120, 66, 40 },
    { 121, 20, 20 }, { 122, 20, 20 }, { 123, 66, 40 },
};

TEST(SpriteFiles, AreUncompressed16ColourBitmapsOfTheirSizes)
{
    const unsigned char standard[16][3] = {
        { 0, 0, 0 }, { 128, 0, 0 }, { 0, 128, 0 }, { 128, 128, 0 }, { 0, 0, 128 }, { 128, 0, 128 },
        { 0, 128, 128 }, { 192, 192, 192 }, { 128, 128, 128 }, { 255, 0, 0 }, { 0, 255, 0 },
        { 255, 255, 0 }, { 0, 0, 255 }, { 255, 0, 255 }, { 0, 255, 255 }, { 255, 255, 255 } };
    for (const SpriteSize& s : sizes) {
        SCOPED_TRACE(s.id);
        Bmp bmp = loadBmp(s.id);
        ASSERT_EQ(bmp.bits, 4);
        EXPECT_EQ(bmp.compression, 0);
        EXPECT_EQ(bmp.width, s.width);
        EXPECT_EQ(bmp.height, s.height);
        for (int i = 0; i < 16; i++) {
            EXPECT_EQ(bmp.palette[i * 4 + 2], standard[i][0]) << "entry " << i;
            EXPECT_EQ(bmp.palette[i * 4 + 1], standard[i][1]) << "entry " << i;
            EXPECT_EQ(bmp.palette[i * 4 + 0], standard[i][2]) << "entry " << i;
        }
        // White background: the top-right corner is background in every sprite.
        EXPECT_EQ(bmp.at(bmp.width - 1, 0), PAPER);
    }
}

// Rows that are black in every column.
static std::vector<int> fullWidthRows(const Bmp& bmp)
{
    std::vector<int> rows;
    for (int y = 0; y < bmp.height; y++) {
        bool full = true;
        for (int x = 0; x < bmp.width && full; x++) full = bmp.at(x, y) == INK;
        if (full) rows.push_back(y);
    }
    return rows;
}

TEST(SpriteFiles, StaffCarriesTheFiveLinesAndTheClefInItsBox)
{
    Bmp staff = loadBmp(104);
    ASSERT_EQ(staff.width, 101);
    std::vector<int> expected = { 65, 66, 67, 103, 104, 105, 141, 142, 143, 179, 180, 181, 217, 218, 219 };
    EXPECT_EQ(fullWidthRows(staff), expected);
    for (int y = 0; y < staff.height; y++)
        for (int x = 0; x < staff.width; x++) {
            bool inClef = x >= 3 && x <= 97 && y >= 2 && y <= 280;
            bool onLine = std::find(expected.begin(), expected.end(), y) != expected.end();
            if (inClef || onLine) continue;
            ASSERT_EQ(staff.at(x, y), PAPER) << x << "," << y;
        }
}

struct NoteSprite { int id; std::vector<int> lineRows; bool ledger; };

TEST(SpriteFiles, NoteSpritesHoldTheirLineRowsHeadAndTrailColumns)
{
    const NoteSprite notes[] = {
        { 115, { 20, 21, 22 }, false }, { 111, { 20, 21, 22 }, false },
        { 117, { 1, 2, 3, 39, 40, 41 }, false }, { 112, { 1, 2, 3, 39, 40, 41 }, false },
        { 118, { 39, 40, 41 }, false }, { 119, { 39, 40, 41 }, false },
        { 113, { 1, 2, 3 }, false }, { 110, { 1, 2, 3 }, false },
        { 116, { 20, 21, 22 }, true }, { 109, { 39, 40, 41 }, true }, { 108, { 1, 2, 3 }, true },
        { 114, {}, false },
    };
    for (const NoteSprite& n : notes) {
        SCOPED_TRACE(n.id);
        Bmp bmp = loadBmp(n.id);
        ASSERT_EQ(bmp.width, 78);
        if (n.ledger) {
            EXPECT_TRUE(fullWidthRows(bmp).empty());
            for (int y : n.lineRows) {
                for (int x = 0; x <= 74; x++) ASSERT_EQ(bmp.at(x, y), INK) << "ledger at " << x << "," << y;
                for (int x = 75; x < 78; x++) ASSERT_EQ(bmp.at(x, y), PAPER) << "ledger tail " << x << "," << y;
            }
        } else {
            EXPECT_EQ(fullWidthRows(bmp), n.lineRows);
        }
        // The three columns a 3-pixel step uncovers hold only background.
        for (int y = 0; y < 43; y++) {
            bool line = !n.ledger && std::find(n.lineRows.begin(), n.lineRows.end(), y) != n.lineRows.end();
            for (int x = 75; x < 78; x++) ASSERT_EQ(bmp.at(x, y), line ? INK : PAPER) << x << "," << y;
        }
    }
}

TEST(SpriteFiles, NoteHeadsAreCentredOnRow21WithinTheirBox)
{
    for (int id : { 108, 109, 113, 115, 116, 117, 118 }) {
        SCOPED_TRACE(id);
        Bmp note = loadBmp(id), blank = loadBmp(114);
        // The head is what the note has beyond its lines: compare with a line-free copy.
        int top = 43, bottom = -1, left = 78, right = -1;
        std::vector<int> lines = fullWidthRows(note);
        for (int y = 0; y < 43; y++)
            for (int x = 0; x < 78; x++) {
                bool lineRow = std::find(lines.begin(), lines.end(), y) != lines.end();
                bool ledgerRow = note.at(0, y) == INK;           // line or ledger: column 0 black
                if (lineRow || ledgerRow || note.at(x, y) == blank.at(x, y)) continue;
                top = std::min(top, y); bottom = std::max(bottom, y);
                left = std::min(left, x); right = std::max(right, x);
            }
        EXPECT_GE(top, 2);
        EXPECT_LE(bottom, 40);
        EXPECT_GE(left, 6);
        EXPECT_LE(right, 69);
        EXPECT_NEAR((top + bottom) / 2.0, 21.0, 1.0);
        // Row 21 crosses a black ring, a white hole and a black ring again.
        EXPECT_EQ(note.at(37, 21) == PAPER || id == 115 || id == 116, true);
    }
}

TEST(SpriteFiles, WalkersKeepWhiteTrailColumns)
{
    for (int id : { 101, 102, 103, 106, 120, 123 }) {
        SCOPED_TRACE(id);
        Bmp walker = loadBmp(id);
        int trail = walker.width == 66 ? 3 : 2;
        for (int y = 0; y < 40; y++)
            for (int x = walker.width - trail; x < walker.width; x++) ASSERT_EQ(walker.at(x, y), PAPER);
        int coloured = 0;
        for (int v : walker.pixels) coloured += v != PAPER && v != INK;
        EXPECT_GT(coloured, 200) << "a walker in colour";
    }
}

TEST(SpriteFiles, FacesAndMarksHaveWhiteCornersAndBlankSpritesAreWhite)
{
    for (int id : { 105, 107, 121 }) {
        Bmp face = loadBmp(id);
        EXPECT_EQ(face.at(0, 0), PAPER) << id;
        EXPECT_EQ(face.at(face.width - 1, face.height - 1), PAPER) << id;
        EXPECT_EQ(face.at(face.width / 2, face.height / 2 - 3) == 11 ||
                  face.at(face.width / 2, face.height / 2 + 3) == 11, true) << id << " is yellow";
    }
    for (int id : { 114, 122 }) {
        Bmp blank = loadBmp(id);
        for (int v : blank.pixels) ASSERT_EQ(v, PAPER) << id;
    }
}

TEST(SpriteFiles, IconIsOne32By32SixteenColourImage)
{
    std::vector<unsigned char> ico = sourceFile("resources/tunegrin.ico");
    ASSERT_GE(ico.size(), 22u);
    EXPECT_EQ(ico[2] | ico[3] << 8, 1);       // an icon
    EXPECT_EQ(ico[4] | ico[5] << 8, 1);       // one image
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[7], 32);
    EXPECT_EQ(ico[8], 16);
    EXPECT_EQ(ico[12] | ico[13] << 8, 4);     // bits per pixel
}
