// The pattern editor as the user drives it: notes, digits, cursor, positions,
// transposition, row delete and insert, the order list buttons and the preview.
#include <cfenv>
#include <cmath>

#include "audio/audio.h"
#include "audio/sound.h"
#include "editor_harness.h"
#include "host/game.h"
#include "tracker/app/midikeys.h"

using Kind = ChannelCall::Kind;

class NoteEntry : public EditorHarness {};

TEST_F(NoteEntry, LetterOutsideThePianoIsStoredAndPreviewedAsTheLowestNote) {
    editing();
    type(U"a");
    EXPECT_EQ(cell(noteColumn(1), 1), U'a');
    EXPECT_EQ(cell(instrumentColumn(1), 1), U'1');
    EXPECT_EQ(cell(octaveColumn(1), 1), U'2');
    EXPECT_EQ(cell(volumeColumn(1), 1), U'8');
    EXPECT_EQ(app->cursorRow, 2);
    EXPECT_EQ(editor().lastNoteKey, U"a");
    // Instrument 1 has WAV 1: main sample 1 on channel 1, second sample 3 on channel 5.
    auto plays = channels.of(Kind::Play);
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[0].channel, 1);
    EXPECT_EQ(plays[0].sound, fakeSamples[1].get());
    EXPECT_EQ(plays[0].value, 1.0f);   // looped
    EXPECT_EQ(plays[1].channel, 5);
    EXPECT_EQ(plays[1].sound, fakeSamples[3].get());
    EXPECT_FLOAT_EQ(channels.last(Kind::Rate, 1), 1.0f);   // note 0 at octave digit 2
}

TEST_F(NoteEntry, NoteOffTakesTheDefaultVolumeAndSilencesThePreview) {
    editing();
    type(U"<");
    EXPECT_EQ(cell(noteColumn(1), 1), U'<');
    EXPECT_EQ(cell(volumeColumn(1), 1), U'8');
    EXPECT_EQ(cell(instrumentColumn(1), 1), U'1');
    EXPECT_EQ(cell(octaveColumn(1), 1), U'2');
    EXPECT_EQ(channels.channelsOf(Kind::Stop), (std::vector<int>{1, 5}));
    EXPECT_TRUE(channels.of(Kind::Play).empty());
}

TEST_F(NoteEntry, DeleteKeyStoresCode127AsANote) {
    editing();
    press(Key::Delete, 127);
    EXPECT_EQ(cell(noteColumn(1), 1), char32_t(127));
    EXPECT_EQ(cell(instrumentColumn(1), 1), U'1');
    EXPECT_EQ(cell(octaveColumn(1), 1), U'2');
    EXPECT_EQ(app->cursorRow, 2);
}

TEST_F(NoteEntry, DotClearsInstrumentAndOctaveButKeepsTheVolume) {
    editing();
    app->cursorColumn = 2;
    type(U"c");                              // volume C on row 1
    app->cursorColumn = 1;
    app->cursorRow = 1;
    type(U"q");
    app->cursorRow = 1;
    type(U".");
    EXPECT_EQ(cell(noteColumn(1), 1), U'.');
    EXPECT_EQ(cell(instrumentColumn(1), 1), U'0');
    EXPECT_EQ(cell(octaveColumn(1), 1), U'0');
    EXPECT_EQ(cell(volumeColumn(1), 1), U'C');
    EXPECT_EQ(app->cursorRow, 2);
    EXPECT_EQ(editor().lastNoteKey, U"q");   // "." does not change the preview pitch
    app->undoStep();                          // the "." took a snapshot of its own
    EXPECT_EQ(cell(noteColumn(1), 1), U'q');
}

TEST_F(NoteEntry, CommandsWriteZeroInstrumentAndOctaveAndMakeNoSound) {
    editing();
    type(U"+");
    type(U"#");
    type(U"-");
    EXPECT_EQ(rows(noteColumn(1), 1, 3), U"+#-");
    EXPECT_EQ(rows(instrumentColumn(1), 1, 3), U"000");
    EXPECT_EQ(rows(octaveColumn(1), 1, 3), U"000");
    EXPECT_EQ(rows(volumeColumn(1), 1, 3), U"000");
    EXPECT_TRUE(channels.of(Kind::Play).empty());
    EXPECT_EQ(editor().lastNoteKey, U"#");   // "-" is not a preview pitch
}

TEST_F(NoteEntry, StandbyOnlyPreviews) {
    type(U"q");
    EXPECT_EQ(cell(noteColumn(1), 1), U'.');
    EXPECT_EQ(cell(volumeColumn(1), 1), U'0');
    EXPECT_EQ(app->cursorRow, 1);
    EXPECT_EQ(channels.of(Kind::Play).size(), 2u);
    EXPECT_NEAR(channels.last(Kind::Rate, 1), 2.0f, 1e-5);   // "q" is an octave up
}

TEST_F(NoteEntry, RefusedCharactersChangeNothingAndStayQuiet) {
    editing();
    type(U"A");
    type(U"!");
    type(U"*");
    EXPECT_EQ(cell(noteColumn(1), 1), U'.');
    EXPECT_EQ(app->cursorRow, 1);
    EXPECT_TRUE(channels.of(Kind::Stop).empty());
    EXPECT_TRUE(editor().lastNoteKey.empty());
}

TEST_F(NoteEntry, NoteGoesIntoTheCursorChannelAndCurrentSettings) {
    editing();
    app->cursorColumn = 5;   // channel 3
    app->cursorRow = 7;
    app->currentInstrument = 12;
    app->octave = 0;
    setInstrument(12, {4, 0, 0, 0, 1, 0, 0, 0});
    type(U"w");
    EXPECT_EQ(cell(noteColumn(3), 7), U'w');
    EXPECT_EQ(cell(instrumentColumn(3), 7), U'C');
    EXPECT_EQ(cell(octaveColumn(3), 7), U'0');
    EXPECT_EQ(cell(noteColumn(1), 7), U'.');
    auto plays = channels.of(Kind::Play);
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[0].channel, 3);
    EXPECT_EQ(plays[0].sound, fakeSamples[5].get());   // WAV 4: tri and zero
    EXPECT_EQ(plays[1].channel, 7);
    EXPECT_EQ(plays[1].sound, fakeSamples[7].get());
}

TEST_F(NoteEntry, NoteOnRow32LeavesTheCursorBelowUntilTheNextUpdateWraps) {
    editing();
    app->cursorRow = 32;
    type(U"q");
    EXPECT_EQ(app->cursorRow, 33);
    EXPECT_EQ(cell(noteColumn(1), 32), U'q');
    EXPECT_EQ(app->song.cell(noteColumn(1), 32), U'.');   // pattern 1 untouched
    update();
    EXPECT_EQ(app->cursorRow, 1);
}

TEST_F(NoteEntry, UsLayoutSwapsYAndZ) {
    editing();
    app->keyboardLayout = KeyboardLayout::US;
    type(U"z");
    type(U"y");
    type(U"Z");
    type(U"Y");
    EXPECT_EQ(rows(noteColumn(1), 1, 4), U"yzyz");
    app->keyboardLayout = KeyboardLayout::DE;
    type(U"z");
    type(U"y");
    EXPECT_EQ(rows(noteColumn(1), 5, 6), U"zy");
}

// With ANY the key places count, not what the keymap types: the character queue holds
// the AZERTY "a" of the Q place, which must not be stored as well.
TEST_F(NoteEntry, AnyLayoutTakesTheGermanKeysByTheirPlaces) {
    editing();
    app->keyboardLayout = KeyboardLayout::Any;
    const int places[] = {Key::Z, Key::Y, Key::Q, '2', Key::LeftOfZ, Key::Comma, Key::RightBracket,
                          Key::Backslash, Key::Slash, Key::Period, Key::A, '1'};
    for (int key : places) press(key, 'a');
    EXPECT_EQ(rows(noteColumn(1), 1, 11), U"yzq2<<+#-..") << "A and 1 are no note places";
    EXPECT_EQ(app->cursorRow, 11);
    app->control = true;   // a Ctrl chord types no note
    press(Key::Q);
    app->control = false;
    app->nameEntryActive = 1;   // nor a key typed into the file name
    press(Key::Q, 'q');
    app->nameEntryActive = 0;
    EXPECT_EQ(cell(noteColumn(1), 11), U'.');
    editing();   // the entry left Editing

    app->cursorColumn = 2;   // volume: digits by place, a..f by what is typed
    app->cursorRow = 20;
    press('2', 0xE9);        // AZERTY: the 2 key types an e acute
    press(Key::Q, 'a');
    press(Key::Z, 'w');
    press(Key::E, 'e');
    EXPECT_EQ(rows(volumeColumn(1), 20, 22), U"2AE");
}

// MIDI keys: the pitch rule, and what the editor does with a keyboard's messages.
TEST(MidiKeyNotes, EachKeyIsTheTypablePairOfItsPitchAtOrNearestToOct) {
    struct Case {
        int key, oct;
        char32_t cell;   // none: the editor cannot type the key
        int octave;
    };
    const Case cases[] = {
        {48, 2, U'y', 2}, {60, 2, U'q', 2}, {76, 2, U'p', 2},   // OCT reaches them
        {48, 0, U'i', 0}, {48, 3, U'y', 2},                    // OCT 0 reaches 48; 3 does not
        {77, 2, U'r', 3}, {81, 2, U'z', 3}, {36, 2, U'y', 1},  // the nearest digit
        {24, 3, U'y', 0}, {88, 0, U'p', 3}, {64, 0, U'p', 1},  // the ends of the reach
        {23, 0, 0, 0},   {89, 3, 0, 0},    {0, 2, 0, 0},    {127, 2, 0, 0},
    };
    for (const Case& c : cases) {
        std::optional<NoteInput> got = midiKeyNote(c.key, c.oct);
        if (c.cell == 0) {
            EXPECT_FALSE(got) << "key " << c.key;
            continue;
        }
        ASSERT_TRUE(got) << "key " << c.key << " OCT " << c.oct;
        EXPECT_EQ(got->cell, c.cell) << "key " << c.key << " OCT " << c.oct;
        EXPECT_EQ(got->octave, c.octave) << "key " << c.key << " OCT " << c.oct;
        // The pitch heard: semitones above the sample's own pitch (key 48).
        EXPECT_EQ(noteValue(got->cell) + 12 * got->octave - 24, c.key - 48);
    }
}

// A keyboard's messages as the MIDI input hands them over.
class ListedMidi : public MidiInput {
public:
    std::vector<MidiMessage> next;
    void take(std::vector<MidiMessage>& out) override {
        out.insert(out.end(), next.begin(), next.end());
        next.clear();
    }
};

class MidiNotes : public EditorHarness {
protected:
    ListedMidi* midi = nullptr;
    void SetUp() override {
        EditorHarness::SetUp();
        auto listed = std::make_unique<ListedMidi>();
        midi = listed.get();
        app->useMidiInput(std::move(listed));
    }
    void send(std::vector<MidiMessage> messages) {
        midi->next.insert(midi->next.end(), messages.begin(), messages.end());
    }
    // One update in the application's order: the input is read, then the editor runs.
    void midiUpdate() {
        takeMidi(*app);
        update();
    }
};

MidiMessage on(int key, int channel = 0) { return {{uint8_t(0x90 | channel), uint8_t(key), 100}, 3}; }
MidiMessage off(int key, int channel = 0) { return {{uint8_t(0x80 | channel), uint8_t(key), 0}, 3}; }

TEST_F(MidiNotes, KeysWaitTheirTurnAndAReleaseStopsOnlyThePreviewItsKeyStarted) {
    editing();
    send({on(60, 1), {{0xB0, 1, 64}, 3}, on(20), on(81)});
    takeMidi(*app);
    type(U"y");              // a typed note takes the update; the keys wait
    midiUpdate();            // 60; the controller and 20 (out of reach) pass by
    channels.calls.clear();
    app->cursorColumn = 2;   // 81 in a volume column: only heard, at octave digit 3
    midiUpdate();
    EXPECT_EQ(channels.channelsOf(Kind::Play), (std::vector<int>{1, 5}));
    EXPECT_NEAR(channels.last(Kind::Rate, 1), 4.0 * std::pow(2.0, 9.0 / 12), 1e-4);
    channels.calls.clear();
    send({off(81, 1), off(80), off(81)});   // another channel's, another key, the key
    midiUpdate();
    EXPECT_EQ(channels.channelsOf(Kind::Stop), (std::vector<int>{1, 5}));

    // A typed note replaced the key's preview: the key's release leaves it.
    app->cursorColumn = 1;
    send({on(64)});
    midiUpdate();
    type(U"w");
    channels.calls.clear();
    send({off(64)});
    midiUpdate();
    EXPECT_TRUE(channels.of(Kind::Stop).empty());

    // Keys pressed while a song plays are dropped, not kept for after.
    app->mode = Mode::Playing;
    send({on(65)});
    takeMidi(*app);
    app->mode = Mode::Editing;
    midiUpdate();
    EXPECT_EQ(show(channelRows(1, 1, 5)), "yqew.|8888" "0|1111" "0|2222" "0");

    // During loop play a key enters and sounds its note live, as a typed one does.
    app->startLive(LivePlay::Loop);
    channels.calls.clear();
    send({on(60)});
    midiUpdate();
    EXPECT_EQ(app->live, LivePlay::Loop);
    EXPECT_EQ(app->cursorRow, 6);
    EXPECT_NE(cell(noteColumn(1), 5), U'.');
    EXPECT_FALSE(channels.of(Kind::Play).empty());
}

class VolumeDigits : public EditorHarness {};

TEST_F(VolumeDigits, LowerCaseHexIsStoredUpperCaseAndUpperCaseIsRefused) {
    editing();
    app->cursorColumn = 4;
    type(U"a");
    type(U"F");
    type(U"7");
    type(U"f");
    EXPECT_EQ(rows(volumeColumn(2), 1, 3), U"A7F");
    EXPECT_EQ(app->cursorRow, 4);
    EXPECT_EQ(rows(noteColumn(2), 1, 3), U"...");
}

TEST_F(VolumeDigits, StandbyAndNoteColumnsTakeNoDigits) {
    app->cursorColumn = 2;
    type(U"5");
    EXPECT_EQ(cell(volumeColumn(1), 1), U'0');
    editing();
    app->cursorColumn = 1;
    type(U"5");   // a note character here
    EXPECT_EQ(cell(volumeColumn(1), 1), U'8');
    EXPECT_EQ(cell(noteColumn(1), 1), U'5');
}

class Cursor : public EditorHarness {};

TEST_F(Cursor, TabRightAndLeftWrapAndSilenceEveryChannel) {
    app->cursorColumn = 7;
    press(Key::Tab, 9);
    EXPECT_EQ(app->cursorColumn, 1);
    EXPECT_EQ(channels.channelsOf(Kind::Stop), (std::vector<int>{1, 2, 3, 4, 6, 5, 8, 7}));
    app->cursorColumn = 8;
    press(Key::Tab, 9);
    EXPECT_EQ(app->cursorColumn, 1);
    press(Key::Left, 65573);
    EXPECT_EQ(app->cursorColumn, 8);
    press(Key::Right, 65575);
    EXPECT_EQ(app->cursorColumn, 1);
    press(Key::Tab, 9);
    EXPECT_EQ(app->cursorColumn, 3);
}

TEST_F(Cursor, HeldDownMovesAtThePressThenAfterTwelveUpdatesEveryUpdate) {
    input.pressKey(Key::Down);
    update();
    EXPECT_EQ(app->cursorRow, 2);
    for (int i = 2; i <= 12; ++i) update();
    EXPECT_EQ(app->cursorRow, 2);
    update();
    EXPECT_EQ(app->cursorRow, 3);
    update();
    EXPECT_EQ(app->cursorRow, 4);
    input.releaseKey(Key::Down);
    update();
    EXPECT_EQ(app->cursorRow, 4);
    press(Key::Down);           // the counter starts again
    update();
    EXPECT_EQ(app->cursorRow, 5);
}

TEST_F(Cursor, RowsWrapAtBothEnds) {
    press(Key::Up);
    EXPECT_EQ(app->cursorRow, 32);
    press(Key::Down);
    EXPECT_EQ(app->cursorRow, 1);
    input.pressKey(Key::Up);
    for (int i = 0; i < 14; ++i) update();   // press, 12 quiet, then two repeats
    EXPECT_EQ(app->cursorRow, 30);
    input.releaseKey(Key::Up);
}

class Positions : public EditorHarness {};

TEST_F(Positions, PageKeysAndSingleWheelNotchesMoveThroughTheSong) {
    app->song.orderList[1] = 7;
    press(Key::PageUp);
    EXPECT_EQ(app->currentPosition, 0);
    press(Key::PageDown);
    EXPECT_EQ(app->currentPosition, 1);
    EXPECT_EQ(app->patternBase, 7 * 32);
    wheel(1.0f);
    EXPECT_EQ(app->currentPosition, 0);
    EXPECT_EQ(app->patternBase, 0);
    wheel(-1.0f);
    EXPECT_EQ(app->currentPosition, 1);
    for (float other : {2.0f, 0.5f, -2.0f, -0.5f}) {
        wheel(other);
        EXPECT_EQ(app->currentPosition, 1) << other;
    }
}

TEST_F(Positions, LastPositionIsTheEnd) {
    app->currentPosition = 254;
    press(Key::PageDown);
    EXPECT_EQ(app->currentPosition, 255);
    press(Key::PageDown);
    wheel(-1.0f);
    EXPECT_EQ(app->currentPosition, 255);
    press(Key::PageUp);
    EXPECT_EQ(app->currentPosition, 254);
}

TEST_F(Positions, HomeButtonReturnsToTheSongStart) {
    app->currentPosition = 9;
    click(600, 328);
    EXPECT_EQ(app->currentPosition, 0);
    EXPECT_EQ(app->editRow, 0);
}

class OrderList : public EditorHarness {};

TEST_F(OrderList, InsertPutsPatternZeroAtThePositionAndDropsTheLastEntry) {
    for (int i = 0; i < kOrderLength; ++i) app->song.orderList[i] = (i + 1) % 256;
    app->currentPosition = 2;
    click(400, 32);
    EXPECT_EQ(app->song.orderList[1], 2);
    EXPECT_EQ(app->song.orderList[2], 0);
    EXPECT_EQ(app->song.orderList[3], 3);
    EXPECT_EQ(app->song.orderList[255], 255);   // old 254
}

TEST_F(OrderList, DeleteMovesLaterEntriesUpAndClearsTheLast) {
    for (int i = 0; i < kOrderLength; ++i) app->song.orderList[i] = (i + 1) % 256;
    app->currentPosition = 1;
    click(400, 44);
    EXPECT_EQ(app->song.orderList[0], 1);
    EXPECT_EQ(app->song.orderList[1], 3);
    EXPECT_EQ(app->song.orderList[254], 0);     // old 255 moved up
    EXPECT_EQ(app->song.orderList[255], 0);
    app->currentPosition = 255;
    app->song.orderList[255] = 9;
    click(400, 44);
    EXPECT_EQ(app->song.orderList[255], 0);
}

TEST_F(OrderList, ButtonsRestWhileATextIsTyped) {
    app->song.orderList[0] = 4;
    app->nameEntryActive = 1;
    click(400, 44);
    click(400, 32);
    EXPECT_EQ(app->song.orderList[0], 4);
    app->nameEntryActive = 0;
    click(400, 38);   // the border between the two buttons belongs to neither
    EXPECT_EQ(app->song.orderList[0], 4);
}

class Transpose : public EditorHarness {};

TEST_F(Transpose, NotesMoveOneSemitoneAndStopAtTheRangeEnds) {
    putCell(noteColumn(2), 1, U'q');
    putCell(noteColumn(2), 2, U'y');
    putCell(noteColumn(2), 3, U'p');
    putCell(noteColumn(2), 4, U'<');
    putCell(noteColumn(2), 5, U'a');
    putCell(noteColumn(2), 6, U'+');
    putCell(octaveColumn(2), 1, U'3');
    app->cursorColumn = 4;   // the volume column also selects channel 2
    press(Key::F3);
    EXPECT_EQ(rows(noteColumn(2), 1, 7), U"my0<y+.");
    EXPECT_EQ(cell(octaveColumn(2), 1), U'3');
    press(Key::F4);
    press(Key::F4);
    EXPECT_EQ(rows(noteColumn(2), 1, 7), U"2xp<x+.");
}

TEST_F(Transpose, LowestAndHighestNotesStay) {
    for (int r = 1; r <= 32; ++r) putCell(noteColumn(1), r, U'y');
    press(Key::F3);
    EXPECT_EQ(rows(noteColumn(1), 1, 32), String(32, U'y'));
    for (int r = 1; r <= 32; ++r) putCell(noteColumn(1), r, U'p');
    press(Key::F4);
    EXPECT_EQ(rows(noteColumn(1), 1, 32), String(32, U'p'));
}

TEST_F(Transpose, OnlyTheVisiblePatternChanges) {
    app->patternBase = 32;
    putCell(noteColumn(1), 32, U'q');
    app->song.trackColumns[noteColumn(1)].set(64, U'q');   // pattern 2, row 0
    app->song.trackColumns[noteColumn(1)].set(31, U'q');   // pattern 0, row 31
    press(Key::F4);
    EXPECT_EQ(cell(noteColumn(1), 32), U'2');
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)][64], U'q');
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)][31], U'q');
}

class RowEdit : public EditorHarness {};

TEST_F(RowEdit, BackspaceRemovesTheCursorRowOfTheChannel) {
    editing();
    fillChannel(2);
    fillChannel(3);
    String before = channelRows(2, 1, 32);
    String other = channelRows(3, 1, 32);
    app->cursorColumn = 3;
    app->cursorRow = 5;
    press(Key::Backspace, 8);
    EXPECT_EQ(rows(noteColumn(2), 1, 4), before.substr(0, 4));
    EXPECT_EQ(rows(noteColumn(2), 5, 31), before.substr(5, 27));
    EXPECT_EQ(channelRows(2, 32, 32), U".|0|0|0");
    EXPECT_EQ(channelRows(3, 1, 32), other);
}

TEST_F(RowEdit, InsertOpensAnEmptyRowAndLosesRow32) {
    editing();
    fillChannel(2);
    String notes = rows(noteColumn(2), 1, 32);
    String volumes = rows(volumeColumn(2), 1, 32);
    app->cursorColumn = 4;
    app->cursorRow = 5;
    press(Key::Insert, 65581);
    EXPECT_EQ(channelRows(2, 5, 5), U".|0|0|0");
    EXPECT_EQ(rows(noteColumn(2), 6, 32), notes.substr(4, 27));
    EXPECT_EQ(rows(volumeColumn(2), 6, 32), volumes.substr(4, 27));
    EXPECT_EQ(rows(noteColumn(2), 1, 4), notes.substr(0, 4));
}

TEST_F(RowEdit, BackspaceAndInsertOnRow32OnlyClearRow32) {
    editing();
    fillChannel(1);
    app->song.trackColumns[noteColumn(1)].set(32, U'q');   // the next pattern's first row
    String above = channelRows(1, 1, 31);
    app->cursorRow = 32;
    press(Key::Backspace, 8);
    EXPECT_EQ(channelRows(1, 1, 31), above);
    EXPECT_EQ(channelRows(1, 32, 32), U".|0|0|0");
    fillChannel(1);
    press(Key::Insert, 65581);
    EXPECT_EQ(channelRows(1, 1, 31), above);
    EXPECT_EQ(channelRows(1, 32, 32), U".|0|0|0");
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)][32], U'q');
}

TEST_F(RowEdit, StandbyKeepsTheRows) {
    fillChannel(1);
    String before = channelRows(1, 1, 32);
    app->cursorRow = 3;
    press(Key::Backspace, 8);
    press(Key::Insert, 65581);
    EXPECT_EQ(channelRows(1, 1, 32), before);
}

TEST_F(RowEdit, DigitOnRow32ThenInsertInTheSameUpdateLeavesTheNextPatternAlone) {
    editing();
    app->cursorColumn = 2;
    app->cursorRow = 32;
    app->song.trackColumns[volumeColumn(1)].set(32, U'5');
    input.putChar('7');
    input.pressKey(Key::Insert);
    update();
    EXPECT_EQ(cell(volumeColumn(1), 32), U'7');
    EXPECT_EQ(app->song.trackColumns[volumeColumn(1)][32], U'5');
}

class Preview : public EditorHarness {};

TEST_F(Preview, EveryUpdateRatesChannelsInPlayerOrder) {
    update();
    EXPECT_EQ(channels.channelsOf(Kind::Rate), (std::vector<int>{1, 5, 2, 6, 3, 7, 4, 8}));
    EXPECT_EQ(channels.channelsOf(Kind::Volume), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(Preview, EnvelopeOneFadesOutInEightUpdates) {
    type(U"y");   // the update of the note is the first step of the fade
    EXPECT_FLOAT_EQ(channels.last(Kind::Volume, 1), 0.875f);
    for (int i = 2; i <= 7; ++i) update();
    EXPECT_FLOAT_EQ(channels.last(Kind::Volume, 8), 0.125f);
    update();
    EXPECT_FLOAT_EQ(channels.last(Kind::Volume, 1), 0.0f);
    update();
    EXPECT_FLOAT_EQ(channels.last(Kind::Volume, 1), 0.0f);
    EXPECT_FLOAT_EQ(editor().preview.envelope, 1.0f);
}

TEST_F(Preview, InstrumentWithoutEnvelopeIsSilentWithoutDividingByZero) {
    setInstrument(1, {1, 0, 0, 0, 0, 0, 0, 0});
    feenableexcept(FE_DIVBYZERO);   // a division by zero ends the test with SIGFPE
    type(U"q");
    update();
    fedisableexcept(FE_DIVBYZERO);
    EXPECT_EQ(channels.last(Kind::Volume, 1), 0.0f);
    EXPECT_EQ(channels.last(Kind::Volume, 5), 0.0f);
    EXPECT_NEAR(channels.last(Kind::Rate, 1), 2.0f, 1e-5);
}

TEST_F(Preview, EnvelopeOf255LastsAbout2040Updates) {
    setInstrument(1, {1, 0, 0, 0, 255, 0, 0, 0});
    type(U"y");
    for (int i = 2; i <= 2030; ++i) update();
    EXPECT_GT(channels.last(Kind::Volume, 1), 0.0f);
    for (int i = 0; i < 20; ++i) update();
    EXPECT_EQ(channels.last(Kind::Volume, 1), 0.0f);
}

TEST_F(Preview, ArpeggioStepsThroughItsIntervals) {
    setInstrument(1, {1, 0, 0, 15, 255, 2, 4, 7});   // AMT 15, SPD 2, ARP 4 and 7
    std::vector<float> offsets;
    type(U"y");
    for (int i = 0; i < 7; ++i) {
        offsets.push_back(float(std::round(std::log2(channels.last(Kind::Rate, 1)) * 12)));
        update();
    }
    EXPECT_EQ(offsets, (std::vector<float>{0, 0, 4, 4, 7, 7, 0}));
}

TEST_F(Preview, OneShotArpeggioHoldsTheBaseNote) {
    setInstrument(1, {1, 0, 16, 15, 255, 2, 4, 7});   // RPT 1
    std::vector<float> offsets;
    type(U"y");
    for (int i = 0; i < 10; ++i) {
        offsets.push_back(float(std::round(std::log2(channels.last(Kind::Rate, 1)) * 12)));
        update();
    }
    EXPECT_EQ(offsets, (std::vector<float>{0, 0, 4, 4, 7, 7, 0, 0, 0, 0}));
}

TEST_F(Preview, SecondVoiceIsDetunedByPwmAndSwings) {
    setInstrument(1, {1, 8, 0, 0, 255, 0, 0, 0});     // PWM 8, no swing
    type(U"y");
    EXPECT_FLOAT_EQ(channels.last(Kind::Rate, 5), 1.0f + 8.0f / 800.0f);
    EXPECT_FLOAT_EQ(channels.last(Kind::Rate, 1), 1.0f);
    setInstrument(1, {1, 8, 0, 2 * 16, 255, 0, 0, 0});  // SWP 2: period 6
    type(U"y");
    std::vector<int> directions;
    for (int i = 0; i < 7; ++i) {
        directions.push_back(channels.last(Kind::Rate, 5) > 1.0f ? 1 : -1);
        update();
    }
    // Counter 1, 2 up, 3 keeps the direction, 4..6 down, then the cycle restarts.
    EXPECT_EQ(directions, (std::vector<int>{1, 1, 1, -1, -1, -1, 1}));
}

TEST_F(Preview, EnvelopeToPitchBendsBothVoicesDown) {
    setInstrument(1, {1, 0, 2, 0, 8, 0, 0, 0});   // E2P 2, ENV 8
    type(U"y");
    float env = 0.125f / 8.0f;
    EXPECT_FLOAT_EQ(channels.last(Kind::Rate, 1), 1.0f - 2 * env);
    EXPECT_FLOAT_EQ(channels.last(Kind::Rate, 6), 1.0f - 2 * env);
}

// The preview through the real audio device: the typed note is heard on its
// channel pair and the note-off silences it.
TEST(PreviewSound, TypedNoteSoundsAndNoteOffSilencesIt) {
    VXGlfwGame game;
    game.setDataRoot(widen(TAMO_SOURCE_DIR));
    gxtkAudio audio(AudioLoopback{}, 44100);
    if (!audio.isOpen()) GTEST_SKIP() << "no OpenAL loopback device";
    c_InputDevice input;
    c_InputDevice::setCurrent(&input);
    {
        c_SoundEngine app;
        for (int i = 0; i < kWaveSamples; ++i) app.waveSamples[i] = loadSound(kWaveFiles[i]);
        ASSERT_TRUE(app.waveSamples[1] && app.waveSamples[3]);
        for (int j = 0; j < 8; ++j) app.song.param(1, j) = std::array<int, 8>{1, 4, 0, 0, 255, 0, 0, 0}[j];
        app.cursorColumn = 3;   // channel 2: audio channels 2 and 6

        std::vector<int16_t> block(2 * 4410);
        auto loudness = [&] {
            audio.render(block.data(), 4410);
            int peak = 0;
            for (int16_t s : block) peak = std::max(peak, std::abs(int(s)));
            return peak;
        };
        input.putChar('q');
        app.editorInput();
        input.endUpdate();
        EXPECT_EQ(audio.getChannelState(2), 1);
        EXPECT_EQ(audio.getChannelState(6), 1);
        EXPECT_EQ(audio.getChannelState(1), 0);
        EXPECT_GT(loudness(), 1000);

        input.putChar('<');
        app.editorInput();
        input.endUpdate();
        EXPECT_EQ(audio.getChannelState(2), 0);
        EXPECT_EQ(audio.getChannelState(6), 0);
        loudness();   // the mixer's short fade after the stop
        EXPECT_LT(loudness(), 16);   // silence but for dither
    }
    c_InputDevice::setCurrent(nullptr);
}
