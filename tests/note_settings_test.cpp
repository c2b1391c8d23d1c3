// Which notes are enabled after reading real settings files in a temporary folder.
#include "support.h"
#include <set>
#include <initializer_list>

class NoteSettings : public testing::Test {
protected:
    TempFolder folder;
    // The enabled names in table order, joined by commas.
    std::string enabledAfterLoading(const char* value)
    {
        writeSettingsFile(value);
        loadNoteSettings();
        std::string names;
        for (int row = 0; row < NOTE_COUNT; row++) {
            if (!noteTable[row].enabled) continue;
            if (!names.empty()) names += ",";
            names += noteTable[row].name;
        }
        return names;
    }
};

static const std::string all = "B4,A4,G4,F4,E4,D4,C4,B3,A3,G3,F3,E3,D3,C3,B2";

TEST_F(NoteSettings, MissingFileKeyOrSectionEnablesEveryNoteAndNoFileIsCreated)
{
    EXPECT_EQ(enabledAfterLoading(0), all);
    EXPECT_FALSE(settingsFileExists()) << "reading must not create the file";
    FILE* file = fopen("tunegrin.ini", "wb");
    fputs("[initialize]\r\nother=C3\r\n[elsewhere]\r\nnotes=C3\r\n", file);
    fclose(file);
    loadNoteSettings();
    for (int row = 0; row < NOTE_COUNT; row++) EXPECT_EQ(noteTable[row].enabled, 1) << row;
}

// Values as a player's editor may leave them, and the notes each one enables.
TEST_F(NoteSettings, NamesAreMatchedInTableOrderAndANameThatFailsBlocksTheRest)
{
    const struct { std::string value, enabled; const char* why; } cases[] = {
        { "", all, "empty: every note" },
        { ",,,", all, "nothing matched: every note" },
        { "C3", "C3", "" },
        { "C4,E4", "C4", "E4 comes before C4" },
        { "B4,B4,A4", "B4", "the repeat blocks A4" },
        { "G4,D3,B2", "G4,D3,B2", "" },
        { all + ",C3", all, "extra tokens ignored" },
        { "B4,X9,A4", "B4", "an unknown name blocks every later row" },
        { "B4,C#3,B2", "B4", "an unknown name blocks every later row" },
        { "B4, A4", "B4", "blanks are kept, so \" A4\" matches nothing" },
        { "b4,a4", all, "case is kept: nothing matched" },
        { "B4 ,A4", all, "\"B4 \" is not \"B4\"" },
        { ",,B4,,A4,", "B4,A4", "empty tokens from stray commas are skipped" },
        { ",C3,,,B2,,", "C3,B2", "empty tokens from stray commas are skipped" },
        { std::string(78, ',') + "C3", all, "79 characters read: just the C of C3" },
        { "B4" + std::string(76, ',') + "A4", "B4", "79 characters read" },
        { std::string(77, ',') + "C3", "C3", "79 characters read: C3 just fits" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(enabledAfterLoading(c.value.c_str()), c.enabled) << "notes=" << c.value << " (" << c.why << ")";
}

TEST_F(NoteSettings, FallbackLeavesTheFileUntouched)
{
    writeSettingsFile("nonsense");
    std::string before = readWholeFile("tunegrin.ini");
    loadNoteSettings();
    EXPECT_EQ(readWholeFile("tunegrin.ini"), before);
    for (int row = 0; row < NOTE_COUNT; row++) EXPECT_EQ(noteTable[row].enabled, 1);
}

TEST(NoteTable, RowsAreTheNaturalsFromB4DownToB2OnTheStaffGeometry)
{
    // A natural a row: the letter steps down through B A G F E D C, the octave number drops
    // below each C, and the MIDI number follows from both, C3 being 60.
    const int aboveC[] = { 11, 9, 7, 5, 4, 2, 0 };
    for (int row = 0; row < NOTE_COUNT; row++) {
        int octave = 4 - row / 7;
        std::string name = "BAGFEDC"[row % 7] + std::to_string(octave);
        EXPECT_EQ(noteTable[row].name, name);
        EXPECT_EQ(noteTable[row].midiNote, 12 * (octave + 2) + aboveC[row % 7]) << name;
        EXPECT_EQ(noteTable[row].y, 8 + 19 * row);
    }
    EXPECT_EQ(noteTable[NOTE_COUNT].midiNote, 0);
    EXPECT_EQ(noteTable[NOTE_COUNT].sprites, nullptr);
    EXPECT_EQ(noteTable[1].sprites, noteTable[13].sprites);    // A4 and C3 share the ledger pair
    EXPECT_EQ(noteTable[3].sprites, &lineNoteSprites);
}

TEST(NoteLookup, FindsRowsByMidiNumberAndRemembersMisses)
{
    EXPECT_EQ(findNoteEntry(60), &noteTable[13]);
    EXPECT_EQ(findNoteEntry(60), &noteTable[13]);          // from the cache
    EXPECT_EQ(findNoteEntry(61), nullptr);
    EXPECT_EQ(findNoteEntry(61), nullptr);
    EXPECT_EQ(findNoteEntry(0), nullptr);                  // the terminator is no row
    EXPECT_EQ(findNoteEntry(0), nullptr);
    EXPECT_EQ(findNoteEntry(83), &noteTable[0]);
    EXPECT_EQ(findNoteEntry(59), &noteTable[14]);
    noteTable[14].enabled = 0;                             // enabled plays no part
    EXPECT_EQ(findNoteEntry(60), &noteTable[13]);
    EXPECT_EQ(findNoteEntry(59), &noteTable[14]);
    noteTable[14].enabled = 1;
}

TEST(RandomGenerator, FirstDrawsAfterSeedOne)
{
    randomSeed(1);
    EXPECT_EQ(randomDraw(), 41);
    EXPECT_EQ(randomDraw(), 18467);
    EXPECT_EQ(randomDraw(), 6334);
    EXPECT_EQ(randomDraw(), 26500);
    EXPECT_EQ(randomDraw(), 19169);
    randomSeed(0xFFFFFFFFu);
    for (int i = 0; i < 1000; i++) {
        int draw = randomDraw();
        ASSERT_GE(draw, 0);
        ASSERT_LE(draw, 32767);
    }
}

class NotePick : public testing::Test {
protected:
    void TearDown() override { for (auto& row : noteTable) if (row.midiNote) row.enabled = 1; }
    void enableOnly(std::initializer_list<int> rows)
    {
        for (int row = 0; row < NOTE_COUNT; row++) noteTable[row].enabled = 0;
        for (int row : rows) noteTable[row].enabled = 1;
    }
};

TEST_F(NotePick, PicksOnlyEnabledNotesAndReachesEachOfThem)
{
    enableOnly({ 0, 7, 14 });
    randomSeed(12345);
    std::set<int> seen;
    for (int i = 0; i < 300; i++) {
        int note = pickNote();
        ASSERT_TRUE(note == 83 || note == 71 || note == 59) << note;
        seen.insert(note);
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST_F(NotePick, OneEnabledNoteIsPickedEveryTime)
{
    enableOnly({ 13 });
    randomSeed(7);
    for (int i = 0; i < 100; i++) ASSERT_EQ(pickNote(), 60);
}

TEST_F(NotePick, WithNothingEnabledItStillReturnsATableNote)
{
    enableOnly({});
    randomSeed(99);
    std::set<int> seen;
    for (int i = 0; i < 200; i++) {
        int note = pickNote();
        ASSERT_NE(findNoteEntry(note), nullptr) << note;
        seen.insert(note);
    }
    EXPECT_GT(seen.size(), 5u);   // picked as if every row were enabled
}

TEST_F(NotePick, FollowsTheGeneratorSequence)
{
    // With all 15 enabled the pick is simply the draw modulo 15.
    randomSeed(1);
    int first = pickNote();
    EXPECT_EQ(first, noteTable[41 % 15].midiNote);
    EXPECT_EQ(pickNote(), noteTable[18467 % 15].midiNote);
}
