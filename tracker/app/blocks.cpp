// Block marking, copy and paste over whole channel rows, and the undo ring.
#include "tracker/app/blocks.h"

#include "host/input.h"
#include "tracker/app/app.h"
#include "tracker/app/editor.h"

namespace {

// A history of one slot, 0, holding `columns`; the other slots hold no cells.
void startHistory(UndoState& undo, const std::array<Column, kColumns>& columns) {
    for (int k = 0; k < kColumns; ++k) {
        undo.history[k].fill(Column());
        undo.history[k][0] = columns[k];
    }
    undo.undoLevel = undo.oldest = undo.newest = 0;
}

int nextSlot(int slot) { return (slot + 1) % kUndoSlots; }
int previousSlot(int slot) { return (slot + kUndoSlots - 1) % kUndoSlots; }

UndoState& undoOf(c_SoundEngine& app) {
    if (!app.undoState) app.undoState = std::make_unique<UndoState>();
    return *app.undoState;
}

bool sameAsSlot(const UndoState& undo, const Song& song, int slot) {
    for (int k = 0; k < kColumns; ++k)
        if (undo.column(k, slot) != song.trackColumns[k]) return false;
    return true;
}

// Stores the song's columns into `slot`, sharing the storage of `previous` for every
// column that is unchanged.
void storeSnapshot(UndoState& undo, const Song& song, int previous, int slot) {
    for (int k = 0; k < kColumns; ++k) {
        const Column& now = song.trackColumns[k];
        const Column& before = undo.history[k][previous];
        undo.history[k][slot] = before == now ? before : now;
    }
}

void restoreSlot(const UndoState& undo, Song& song) {
    for (int k = 0; k < kColumns; ++k) song.trackColumns[k] = undo.column(k, undo.undoLevel);
}

// A Shift on its own (pressed and released without typing a character or making a Ctrl
// chord) starts a marking from the row it went down on, or cancels one; a Shift held to
// type a capital, "<", "+" or "#" does neither.
bool shiftTapped(c_SoundEngine& app) {
    if (pressed(Key::Shift)) {
        app.shiftRow = app.cursorRow;
        app.shiftChord = false;
    }
    if (app.control && (pressed(Key::Shift) || keyIsDown(Key::Shift))) app.shiftChord = true;
    return shiftTapCount() != 0 && !app.shiftChord;
}

void markBlock(c_SoundEngine& app) {
    bool shift = shiftTapped(app);
    if (shift && app.blockMarking == 0) {
        app.blockMarking = 1;
        app.blockStart = app.shiftRow - 1;
        app.blockEnd = app.cursorRow;
    } else if (shift && app.blockMarking == 1) {
        app.blockMarking = 0;
        app.blockStart = 0;
        app.blockEnd = 0;
    } else if (!shift && app.blockMarking == 1) {
        app.blockEnd = app.cursorRow;
    }
}

// The 33 cells from the marked start row, in the four columns of the cursor channel.
void copyBlock(c_SoundEngine& app, UndoState& undo) {
    app.blockMarking = app.blockMarking == 1 ? 0 : 1;
    int first = screenIndex(app.patternBase, app.editRow, 1) + app.blockStart;
    int ch = app.cursorChannel();
    for (int kind = 0; kind < 4; ++kind) {
        const Column& column = app.song.trackColumns[channelColumn(ch, kind)];
        undo.copyBuffers[kind] = first >= 0 ? column.text(size_t(first), 33) : String();
    }
}

// Writes the marked number of rows from the cursor down, clipped at screen row 32.
// Rows for which the clipboard holds no character keep their cells.
void pasteBlock(c_SoundEngine& app, const UndoState& undo) {
    if (app.blockEnd == 0) app.blockEnd = 31;
    int rows = app.blockEnd - app.blockStart;
    int ch = app.cursorChannel();
    for (int j = 0; app.cursorRow + j <= 32 && j < rows; ++j) {
        int index = screenIndex(app.patternBase, app.editRow, app.cursorRow + j);
        for (int kind = 0; kind < 4; ++kind) {
            const String& buffer = undo.copyBuffers[kind];
            if (size_t(j) < buffer.size())
                setCell(app.song, channelColumn(ch, kind), index, buffer[j]);
        }
    }
    app.undoSnapshot();
}

}  // namespace

UndoState::UndoState() {
    Song empty;
    empty.clear();
    startHistory(*this, empty.trackColumns);
}

void c_SoundEngine::blockStep() {
    UndoState& undo = undoOf(*this);
    markBlock(*this);
    if (pressed(Key::F9) || clickedIn(layout::kCopyBlock[0]) || clickedIn(layout::kCopyBlock[1]))
        copyBlock(*this, undo);
    if (pressed(Key::F10) || clickedIn(layout::kPaste[0]) || clickedIn(layout::kPaste[1]))
        pasteBlock(*this, undo);
}

void c_SoundEngine::resetUndo() { startHistory(undoOf(*this), song.trackColumns); }

// Takes a snapshot when the columns differ from the slot the song is at; the slots
// after it (undone changes) are dropped, and a full ring gives up its oldest slot.
void c_SoundEngine::undoSnapshot() {
    UndoState& undo = undoOf(*this);
    if (sameAsSlot(undo, song, undo.undoLevel)) return;
    int previous = undo.undoLevel;
    undo.undoLevel = undo.newest = nextSlot(previous);
    if (undo.undoLevel == undo.oldest) undo.oldest = nextSlot(undo.oldest);
    storeSnapshot(undo, song, previous, undo.undoLevel);
}

void c_SoundEngine::undoStep() {
    UndoState& undo = undoOf(*this);
    if (undo.undoLevel == undo.oldest) return;
    undo.undoLevel = previousSlot(undo.undoLevel);
    restoreSlot(undo, song);
}

void c_SoundEngine::redoStep() {
    UndoState& undo = undoOf(*this);
    if (undo.undoLevel == undo.newest) return;
    undo.undoLevel = nextSlot(undo.undoLevel);
    restoreSlot(undo, song);
}
