// Block marking, copy and paste of channel rows, and stepping back through the undo ring.
#include <set>

#include "editor_harness.h"

class BlockCopy : public EditorHarness {
protected:
    // Shift pressed and released on its own before the next update.
    void shiftTap() {
        input.pressKey(Key::Shift);
        input.releaseKey(Key::Shift);
        update();
    }
    // Shift on `from`, the cursor down to `to`, F9.
    void markAndCopy(int from, int to) {
        app->cursorRow = from;
        shiftTap();
        while (app->cursorRow < to) press(Key::Down);
        press(Key::F9);
    }
};

TEST_F(BlockCopy, MarkedRowsPasteAtTheCursor) {
    fillChannel(1);
    app->song.trackColumns[noteColumn(1)].set(32, U'q');   // beyond the view: copied, not pasted
    markAndCopy(5, 9);
    EXPECT_EQ(app->blockStart, 4);
    EXPECT_EQ(app->blockEnd, 9);
    EXPECT_EQ(app->blockMarking, 0);
    EXPECT_EQ(undo().copyBuffers[0], app->song.trackColumns[noteColumn(1)].text(4, 33));
    EXPECT_EQ(undo().copyBuffers[3], app->song.trackColumns[octaveColumn(1)].text(4, 33));

    String source = channelRows(1, 5, 9);
    String after = channelRows(1, 25, 32);
    app->cursorRow = 20;
    press(Key::F10);
    EXPECT_EQ(channelRows(1, 20, 24), source);
    EXPECT_EQ(channelRows(1, 25, 32), after);
}

TEST_F(BlockCopy, PasteIsClippedAtTheLastRowAndGoesToTheCursorChannel) {
    fillChannel(1);
    markAndCopy(5, 9);
    String source = channelRows(1, 5, 7);
    app->cursorColumn = 6;   // channel 3
    app->cursorRow = 30;
    press(Key::F10);
    EXPECT_EQ(channelRows(3, 30, 32), source);
    EXPECT_EQ(channelRows(3, 1, 29), channelRows(2, 1, 29));   // still empty like channel 2
    EXPECT_EQ(app->song.cell(noteColumn(3), 32), U'.');        // next pattern untouched
    EXPECT_EQ(app->song.cell(volumeColumn(3), 32), U'0');
}

TEST_F(BlockCopy, PasteBeforeAnyCopyLeavesTheCells) {
    fillChannel(1);
    String before = channelRows(1, 1, 32);
    press(Key::F10);
    EXPECT_EQ(app->blockEnd, 31);
    EXPECT_EQ(channelRows(1, 1, 32), before);
}

TEST_F(BlockCopy, PasteWithoutAnEndUsesRow31) {
    fillChannel(1);
    press(Key::F9);   // copies rows 1..33 and starts a marking...
    shiftTap();       // ...which Shift cancels: no end
    EXPECT_EQ(app->blockEnd, 0);
    String source = channelRows(1, 1, 31);
    app->cursorColumn = 8;
    app->cursorRow = 1;
    press(Key::F10);
    EXPECT_EQ(channelRows(4, 1, 31), source);
    EXPECT_EQ(channelRows(4, 32, 32), U".|0|0|0");
}

TEST_F(BlockCopy, SecondShiftCancelsTheMarking) {
    app->cursorRow = 5;
    shiftTap();
    EXPECT_EQ(app->blockMarking, 1);
    press(Key::Down);
    EXPECT_EQ(app->blockEnd, 6);
    shiftTap();
    EXPECT_EQ(app->blockMarking, 0);
    EXPECT_EQ(app->blockStart, 0);
    EXPECT_EQ(app->blockEnd, 0);
}

// Marking goes by the Shift's release: one held over cursor moves marks from the row it
// went down on; one that typed a character, or made a Ctrl chord, marks nothing.
TEST_F(BlockCopy, OnlyAShiftOnItsOwnMarks) {
    app->cursorRow = 5;
    input.pressKey(Key::Shift);
    update();
    EXPECT_EQ(app->blockMarking, 0) << "marked before knowing whether the Shift types";
    press(Key::Down);
    press(Key::Down);
    input.releaseKey(Key::Shift);
    update();
    EXPECT_EQ(app->blockMarking, 1);
    EXPECT_EQ(app->blockStart, 4);
    EXPECT_EQ(app->blockEnd, 7);
    shiftTap();

    input.pressKey(Key::Shift);
    press(Key::Comma, '<');   // "<" on a US keymap
    input.releaseKey(Key::Shift);
    update();
    EXPECT_EQ(app->blockMarking, 0) << "a Shift that typed started a marking";
    app->control = true;
    input.pressKey(Key::Shift);
    input.releaseKey(Key::Shift);
    update();
    EXPECT_EQ(app->blockMarking, 0) << "Ctrl+Shift started a marking";
}

TEST_F(BlockCopy, KeyAndLabelInOneUpdateCopyOnce) {
    app->cursorRow = 3;
    shiftTap();
    input.pressKey(Key::F9);
    click(540, 370);   // COPYBLOCK, together with F9
    input.releaseKey(Key::F9);
    EXPECT_EQ(app->blockMarking, 0);
    click(600, 370);   // its other half: copies again and starts a marking
    EXPECT_EQ(app->blockMarking, 1);
    fillChannel(2);
    app->cursorColumn = 3;
    click(570, 370);   // the middle belongs to neither half
    EXPECT_EQ(app->blockMarking, 1);
    EXPECT_EQ(undo().copyBuffers[0], String(33, U'.'));
}

TEST_F(BlockCopy, PasteLabelWorksInStandbyAndIsOneUndoStep) {
    fillChannel(1);
    app->resetUndo();
    markAndCopy(1, 2);
    const String before = channelRows(1, 10, 11);
    app->cursorRow = 10;
    click(600, 390);   // PASTE@POS
    EXPECT_EQ(channelRows(1, 10, 11), channelRows(1, 1, 2));
    app->undoStep();
    EXPECT_EQ(channelRows(1, 10, 11), before);
}

class Undo : public EditorHarness {};

TEST_F(Undo, TheFirstChangeAfterStartCanBeUndone) {
    editing();
    app->cursorColumn = 2;
    type(U"5");
    app->cursorColumn = 1;
    type(U"q");
    app->undoStep();
    EXPECT_EQ(rows(noteColumn(1), 1, 2), U"..");
    EXPECT_EQ(rows(volumeColumn(1), 1, 1), U"5") << "the volume digit is a step of its own";
    app->undoStep();
    Song empty;
    empty.clear();
    EXPECT_EQ(app->song.trackColumns, empty.trackColumns);
    app->undoStep();   // the empty song is the oldest state
    EXPECT_EQ(app->song.trackColumns, empty.trackColumns);
}

TEST_F(Undo, ThreeNotesThreeUndosReachTheEmptyPattern) {
    editing();
    typeEach(U"qwe");
    EXPECT_EQ(rows(noteColumn(1), 1, 4), U"qwe.");
    app->undoStep();
    EXPECT_EQ(rows(noteColumn(1), 1, 4), U"qw..");
    app->undoStep();
    EXPECT_EQ(rows(noteColumn(1), 1, 4), U"q...");
    app->undoStep();
    EXPECT_EQ(rows(noteColumn(1), 1, 4), U"....");
    app->undoStep();
    EXPECT_EQ(rows(noteColumn(1), 1, 4), U"....");
}

TEST_F(Undo, AFullRingStepsBackOneAtATimeAndStopsAtItsOldest) {
    editing();
    const String notes = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0pysx";
    typeEach(notes);
    app->undoStep();   // one step: only the 32nd note goes
    EXPECT_EQ(rows(noteColumn(1), 1, 32), notes.substr(0, 31) + U".");
    for (int i = 0; i < 30; ++i) app->undoStep();
    EXPECT_EQ(rows(noteColumn(1), 1, 2), U"y.") << "31 steps back: the oldest of 32 kept states";
    app->undoStep();
    EXPECT_EQ(rows(noteColumn(1), 1, 2), U"y.");
}

TEST_F(Undo, EveryColumnChangeIsOneStepAndNoChangeIsNone) {
    editing();
    typeEach(U"qw");
    app->cursorRow = 1;
    press(Key::F4);       // transposition
    app->cursorColumn = 2;
    app->cursorRow = 3;
    type(U"7");           // volume digit
    app->cursorRow = 1;
    press(Key::Insert);
    press(Key::Backspace, 8);
    press(Key::Backspace, 8);
    const String after = channelRows(1, 1, 4);
    EXPECT_EQ(rows(noteColumn(1), 1, 3), U"3..");
    // Notes after each undo: delete, delete, insert, volume digit, transposition.
    const String steps[] = {U"23.", U".23", U"23.", U"23.", U"qw."};
    for (const String& want : steps) {
        app->undoStep();
        EXPECT_EQ(rows(noteColumn(1), 1, 3), want);
    }
    EXPECT_EQ(rows(volumeColumn(1), 1, 3), U"880");

    // Transposing an empty channel changes no cell and takes no snapshot.
    int level = undo().undoLevel;
    app->cursorColumn = 5;
    press(Key::F3);
    EXPECT_EQ(undo().undoLevel, level);

    // Redo walks forward again; a new change drops what was undone.
    for (int i = 0; i < 5; ++i) app->redoStep();
    EXPECT_EQ(channelRows(1, 1, 4), after);
    app->redoStep();
    EXPECT_EQ(channelRows(1, 1, 4), after);
    app->undoStep();
    app->cursorColumn = 1;
    app->cursorRow = 10;
    type(U"e");
    app->redoStep();
    EXPECT_EQ(cell(noteColumn(1), 10), U'e');
    EXPECT_EQ(rows(noteColumn(1), 1, 3), U"23.");
}

TEST_F(Undo, SnapshotsShareTheColumnsThatDidNotChange) {
    editing();
    type(U"q");
    type(U"w");
    const auto& h = undo().history;
    for (int k : {1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15}) {
        EXPECT_EQ(h[k][1].storage(), h[k][0].storage()) << k;
        EXPECT_EQ(h[k][2].storage(), h[k][1].storage()) << k;
        EXPECT_EQ(h[k][2].storage(), app->song.trackColumns[k].storage()) << k;
    }
    EXPECT_NE(h[noteColumn(1)][2].storage(), h[noteColumn(1)][1].storage());
    EXPECT_EQ(h[noteColumn(1)][2], app->song.trackColumns[noteColumn(1)]);
    // A reset stores no cells of its own: its slot is the song's storage.
    app->resetUndo();
    for (int k = 0; k < kColumns; ++k) EXPECT_EQ(h[k][0].storage(), app->song.trackColumns[k].storage());

    // A full ring of notes in one channel stores at most the four changed columns per slot.
    typeEach(String(40, U'e'));
    std::set<const void*> distinct;
    for (const auto& column : h)
        for (const auto& slot : column) distinct.insert(slot.storage());
    EXPECT_LE(distinct.size(), size_t(4 * kUndoSlots + kColumns + 1));
}

TEST_F(Undo, ResetMakesTheLoadedSongTheFloor) {
    fillChannel(2);
    app->resetUndo();
    String loaded = channelRows(2, 1, 32);
    editing();
    type(U"q");
    app->undoStep();
    EXPECT_EQ(cell(noteColumn(1), 1), U'.');
    EXPECT_EQ(channelRows(2, 1, 32), loaded);
    app->undoStep();
    EXPECT_EQ(channelRows(2, 1, 32), loaded);
}

TEST_F(Undo, OnlyTheTrackColumnsGoBack) {
    editing();
    type(U"q");
    type(U"w");
    app->song.orderList[0] = 5;
    app->song.param(1, 4) = 9;
    app->undoStep();
    EXPECT_EQ(app->song.orderList[0], 5);
    EXPECT_EQ(app->song.param(1, 4), 9);
    EXPECT_EQ(rows(noteColumn(1), 1, 2), U"q.");
}

TEST_F(Undo, EveryColumnKeepsItsLengthThroughUndo) {
    editing();
    for (int i = 0; i < 5; ++i) type(U"q");
    for (int i = 0; i < 40; ++i) app->undoStep();
    for (const auto& column : app->song.trackColumns) EXPECT_EQ(column.size(), size_t(kColumnLength));
}
