// Which notes are enabled after reading real settings files in a temporary folder.
#include "support.h"
#include <set>

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

TEST_F(NoteSettings, MissingFileOrEmptyValueEnablesEveryNote)
{
    EXPECT_EQ(enabledAfterLoading(0), all);
    EXPECT_FALSE(settingsFileExists()) << "reading must not create the file";
    EXPECT_EQ(enabledAfterLoading(""), all);
    EXPECT_EQ(enabledAfterLoading(",,,"), all);
}

TEST_F(NoteSettings, MissingKeyOrSectionEnablesEveryNote)
{
    FILE* file = fopen("tunegrin.ini", "wb");
    fputs("[initialize]\r\nother=C3\r\n[elsewhere]\r\nnotes=C3\r\n", file);
    fclose(file);
    loadNoteSettings();
    for (int row = 0; row < NOTE_COUNT; row++) EXPECT_EQ(noteTable[row].enabled, 1) << row;
}

TEST_F(NoteSettings, NamesAreMatchedInTableOrderOnly)
{
    EXPECT_EQ(enabledAfterLoading("C3"), "C3");
    EXPECT_EQ(enabledAfterLoading("C4,E4"), "C4");          // E4 comes before C4
    EXPECT_EQ(enabledAfterLoading("B4,B4,A4"), "B4");       // the repeat blocks A4
    EXPECT_EQ(enabledAfterLoading("G4,D3,B2"), "G4,D3,B2");
    EXPECT_EQ(enabledAfterLoading((all + ",C3").c_str()), all);   // extra tokens ignored
}

TEST_F(NoteSettings, UnknownNamesBlockEveryLaterRow)
{
    EXPECT_EQ(enabledAfterLoading("B4,X9,A4"), "B4");
    EXPECT_EQ(enabledAfterLoading("B4,C#3,B2"), "B4");
}

TEST_F(NoteSettings, BlanksAndCaseAreKeptSoTheyMatchNothing)
{
    EXPECT_EQ(enabledAfterLoading("B4, A4"), "B4");
    EXPECT_EQ(enabledAfterLoading("b4,a4"), all);           // nothing matched: fallback
    EXPECT_EQ(enabledAfterLoading("B4 ,A4"), all);          // "B4 " is not "B4"
}

TEST_F(NoteSettings, EmptyTokensFromStrayCommasAreSkipped)
{
    EXPECT_EQ(enabledAfterLoading(",,B4,,A4,"), "B4,A4");
    EXPECT_EQ(enabledAfterLoading(",C3,,,B2,,"), "C3,B2");
}

TEST_F(NoteSettings, OnlyTheFirst79CharactersAreRead)
{
    // 78 commas leave room for just the "C" of "C3": nothing matches, so all come back.
    std::string commas(78, ',');
    EXPECT_EQ(enabledAfterLoading((commas + "C3").c_str()), all);
    EXPECT_EQ(enabledAfterLoading(("B4" + std::string(76, ',') + "A4").c_str()), "B4");
    std::string justFits(77, ',');
    EXPECT_EQ(enabledAfterLoading((justFits + "C3").c_str()), "C3");
}

TEST_F(NoteSettings, FallbackLeavesTheFileUntouched)
{
    writeSettingsFile("nonsense");
    std::string before = readWholeFile("tunegrin.ini");
    loadNoteSettings();
    EXPECT_EQ(readWholeFile("tunegrin.ini"), before);
    for (int row = 0; row < NOTE_COUNT; row++) EXPECT_EQ(noteTable[row].enabled, 1);
}

TEST(NoteTable, RowsFollowTheStaffGeometry)
{
    const char* names[] = { "B4", "A4", "G4", "F4", "E4", "D4", "C4", "B3",
                            "A3", "G3", "F3", "E3", "D3", "C3", "B2" };
    const int midi[] = { 83, 81, 79, 77, 76, 74, 72, 71, 69, 67, 65, 64, 62, 60, 59 };
    for (int row = 0; row < NOTE_COUNT; row++) {
        EXPECT_STREQ(noteTable[row].name, names[row]);
        EXPECT_EQ(noteTable[row].midiNote, midi[row]);
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
