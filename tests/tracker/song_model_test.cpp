#include <gtest/gtest.h>

#include "tracker/core/song.h"

TEST(SongModel, NewSongHasEmptyColumnsAndDefaults) {
    Song s;
    s.clear();
    for (int k = 0; k < kColumns; ++k) {
        ASSERT_EQ(s.trackColumns[k].size(), size_t(kColumnLength));
        EXPECT_EQ(s.trackColumns[k].text(), String(kColumnLength, k < 4 ? U'.' : U'0'));
    }
    EXPECT_EQ(s.songLength, 32);
    EXPECT_EQ(s.speed, 4);
    for (int v : s.orderList) EXPECT_EQ(v, 0);
    for (int v : s.instrumentTable) EXPECT_EQ(v, 0);
}

// Cells are code points stored a byte each until a wider one arrives; copies share
// their cells until one is changed, and a change never shows through another copy.
TEST(SongModel, ColumnsKeepEveryCodePointAndCopiesChangeAlone) {
    Song s;
    s.clear();
    Column& notes = s.trackColumns[noteColumn(1)];
    Column kept = notes;
    EXPECT_EQ(kept.storage(), notes.storage());
    notes.set(3, U'\u00e9');
    notes.set(5, U'\u266a');   // wider than a byte: the column widens, keeping its cells
    notes.set(6, U'\U0001F3B5');
    EXPECT_EQ(notes.text(2, 6), String(U".\u00e9.\u266a\U0001F3B5."));
    EXPECT_EQ(kept.text(), String(kColumnLength, U'.'));
    EXPECT_NE(kept, notes);
    EXPECT_NE(s.trackColumns[noteColumn(2)].storage(), notes.storage());
    EXPECT_EQ(s.trackColumns[noteColumn(2)], kept);
    notes.set(3, U'.');
    notes.set(5, U'.');
    notes.set(6, U'.');
    EXPECT_EQ(notes, kept);   // equal cells, however they are stored
    EXPECT_EQ(Column(notes.text()), notes);
    EXPECT_EQ(notes.text(kColumnLength), String());
    EXPECT_EQ(notes.text(kColumnLength - 2, 40), String(2, U'.'));
}

// Only the given cells are stored and the rest read as the fill; a cell written past
// them, and written back, compares as in a column stored in full.
TEST(SongModel, AColumnStoresOnlyItsGivenCellsAndComparesByEveryCell) {
    const String given = U"q-w";
    Column sparse(given.data(), given.size(), kColumnLength, U'.');
    const Column full(given + String(kColumnLength - given.size(), U'.'));
    EXPECT_EQ(sparse.storedCells(), given.size());
    EXPECT_EQ(sparse.text(), full.text());
    EXPECT_EQ(sparse, full);
    sparse.set(100, U'e');
    EXPECT_EQ(sparse.text(98, 4), U"..e.");
    EXPECT_TRUE(sparse.samePrefix(full, 100));
    EXPECT_FALSE(sparse.samePrefix(full, 101));
    String appended = U">";
    sparse.appendTo(appended, 5, U'!');
    EXPECT_EQ(appended, U">q-w..");
    sparse.set(100, U'.');
    EXPECT_EQ(sparse, full);
    EXPECT_NE(Column(given.data(), given.size(), kColumnLength, U'0'), full);
}

TEST(SongModel, EveryNoteCharacterDecodesToItsPianoKey) {
    const String keys = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0p";
    for (int v = 0; v < 29; ++v) {
        EXPECT_EQ(noteValue(keys[v]), v) << char(keys[v]);
        EXPECT_EQ(noteCharacter(v), keys[v]);
    }
    EXPECT_EQ(noteValue(U'.'), 255);
    EXPECT_EQ(noteValue(U'<'), 128);
    EXPECT_EQ(noteValue(U'+'), 127);
    EXPECT_EQ(noteValue(U'#'), 129);
    EXPECT_EQ(noteValue(U'-'), 130);
    EXPECT_EQ(noteValue(U'a'), 0);   // outside the table plays like "y"
    EXPECT_EQ(noteValue(U'{'), 0);
}

TEST(SongModel, DigitsDecodeAsHexOrDecimal) {
    EXPECT_EQ(hexValue(U'F'), 15);
    EXPECT_EQ(hexValue(U'f'), 15);
    EXPECT_EQ(hexValue(U'.'), 0);
    EXPECT_EQ(hexValue(U'9'), 9);
    EXPECT_EQ(hexValue(U'a'), 10);
    EXPECT_EQ(hexValue(U'g'), 0);
    EXPECT_EQ(decimalValue(U'3'), 3);
    EXPECT_EQ(decimalValue(U'a'), 0);
    EXPECT_EQ(instrumentDigit(9), U'9');
    EXPECT_EQ(instrumentDigit(10), U'A');
    EXPECT_EQ(instrumentDigit(15), U'F');
}

TEST(SongModel, PitchIsTwelveToneEqualTemperament) {
    // "y" octave 2 plays at 1.0, "q" octave 2 at 2.0, "p" octave 3 is semitone 40.
    EXPECT_DOUBLE_EQ(pitchFactor(12 * 2 + noteValue(U'y') - 24), 1.0);
    EXPECT_NEAR(pitchFactor(12 * 2 + noteValue(U'q') - 24), 2.0, 1e-5);
    EXPECT_EQ(12 * 3 + noteValue(U'p') - 24, 40);
}

TEST(SongModel, WavTablePairsSamples) {
    EXPECT_EQ(wavPair(1), std::make_pair(1, 3));
    EXPECT_EQ(wavPair(3), std::make_pair(0, 3));
    EXPECT_EQ(wavPair(7), std::make_pair(6, 7));
    EXPECT_FALSE(wavPair(0).has_value());
    EXPECT_FALSE(wavPair(8).has_value());
    EXPECT_EQ(String(kWaveFiles[6]), U"wav/hnoise.wav");
}

TEST(SongModel, CellsBeyondAColumnReadAsEmpty) {
    Song s;   // columns empty, as in a player that never loaded a copy
    EXPECT_EQ(s.cell(0, 5), U'.');
    EXPECT_EQ(s.cell(4, 5), U'0');
    s.clear();
    EXPECT_EQ(s.cell(3, 8191), U'.');
    EXPECT_EQ(s.cell(3, 8192), U'.');
    EXPECT_EQ(s.cell(15, -1), U'0');
}
