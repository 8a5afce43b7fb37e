// Block marking, copy and paste over whole channel rows, and the undo ring.
#include "tracker/blocks.h"

#include <cstring>

#include "host/input.h"
#include "tracker/app.h"
#include "tracker/editor.h"

namespace {

using Slot = UndoState::Slot;

// The history as it is at start: slots 0..15 the empty song, 16..31 the empty text.
void fillStartHistory(UndoState& undo) {
    Slot emptyText = std::make_shared<const String>();
    for (int k = 0; k < kColumns; ++k) {
        Slot empty = std::make_shared<const String>(emptyColumn(k));
        for (int s = 0; s < kUndoSlots; ++s) undo.history[k][s] = s < 16 ? empty : emptyText;
    }
    undo.undoLevel = 0;
}

UndoState& undoOf(c_SoundEngine& app) {
    if (!app.undoState) app.undoState = std::make_unique<UndoState>();
    return *app.undoState;
}

bool sameColumn(const String& a, const String& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char32_t)) == 0;
}

// Stores the song's columns into `slot`, sharing the storage of `previous` (or of
// what the slot already holds) for every column that is unchanged.
void storeSnapshot(UndoState& undo, const Song& song, int previous, int slot) {
    for (int k = 0; k < kColumns; ++k) {
        const String& now = song.trackColumns[k];
        Slot& target = undo.history[k][slot];
        const Slot& before = undo.history[k][previous];
        if (sameColumn(*before, now)) target = before;
        else if (!sameColumn(*target, now)) target = std::make_shared<const String>(now);
    }
}

int cursorChannel(const c_SoundEngine& app) { return (app.cursorColumn + 1) / 2; }

void markBlock(c_SoundEngine& app) {
    bool shift = pressed(Key::Shift);
    if (shift && app.blockMarking == 0) {
        app.blockMarking = 1;
        app.blockStart = app.cursorRow - 1;
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
    int ch = cursorChannel(app);
    for (int kind = 0; kind < 4; ++kind) {
        const String& column = app.song.trackColumns[channelColumn(ch, kind)];
        String& buffer = undo.copyBuffers[kind];
        buffer.clear();
        if (first >= 0 && size_t(first) < column.size()) buffer = column.substr(first, 33);
    }
}

// Writes the marked number of rows from the cursor down, clipped at screen row 32.
// Rows for which the clipboard holds no character keep their cells.
void pasteBlock(c_SoundEngine& app, const UndoState& undo) {
    if (app.blockEnd == 0) app.blockEnd = 31;
    int rows = app.blockEnd - app.blockStart;
    int ch = cursorChannel(app);
    for (int j = 0; app.cursorRow + j <= 32 && j < rows; ++j) {
        int index = screenIndex(app.patternBase, app.editRow, app.cursorRow + j);
        for (int kind = 0; kind < 4; ++kind) {
            const String& buffer = undo.copyBuffers[kind];
            if (size_t(j) < buffer.size())
                setCell(app.song, channelColumn(ch, kind), index, buffer[j]);
        }
    }
}

}  // namespace

UndoState::UndoState() { fillStartHistory(*this); }

void c_SoundEngine::blockStep() {
    UndoState& undo = undoOf(*this);
    markBlock(*this);
    if (pressed(Key::F9) || clickedIn(516, 570, 361, 377) || clickedIn(570, 624, 361, 377))
        copyBlock(*this, undo);
    if (pressed(Key::F10) || clickedIn(516, 570, 381, 397) || clickedIn(570, 624, 381, 397))
        pasteBlock(*this, undo);
}

void c_SoundEngine::resetUndo() {
    fillStartHistory(undoOf(*this));
}

void c_SoundEngine::undoSnapshot() {
    UndoState& undo = undoOf(*this);
    int previous = undo.undoLevel;
    undo.undoLevel += 1;
    if (undo.undoLevel >= kUndoSlots) undo.undoLevel = 0;
    storeSnapshot(undo, song, previous, undo.undoLevel);
}

void c_SoundEngine::undoReset() {
    UndoState& undo = undoOf(*this);
    int previous = undo.undoLevel;
    undo.undoLevel = 1;
    storeSnapshot(undo, song, previous, 1);
}

// Steps back one slot (never below 1). A slot that was never written (the empty
// text) is not restored, so every column keeps its 8192 cells.
void c_SoundEngine::undoStep() {
    UndoState& undo = undoOf(*this);
    undo.undoLevel -= 1;
    if (undo.undoLevel < 1) undo.undoLevel = 1;
    for (int k = 0; k < kColumns; ++k) {
        const String& stored = undo.column(k, undo.undoLevel);
        if (!stored.empty()) song.trackColumns[k] = stored;
    }
}
