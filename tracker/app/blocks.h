#pragma once
// The block clipboard and the ring of undo snapshots.
//
//   block:     rows blockStart + 1 .. blockEnd of the cursor channel, all four of its
//              columns (note, volume, instrument, octave) moving together
//   clipboard: copyBuffers, up to 33 characters of each of those four columns
//   history:   a ring of 32 slots per track column. Every editor change of the
//              columns stores a snapshot in the next slot; the slot of the song as it
//              was at start or after a load is the oldest one kept
//   undo:      one slot back, never past the oldest slot (at most 31 steps)
//   redo:      one slot forward again, up to the newest snapshot; a new change after
//              an undo drops the slots that were undone
//
// A slot holds a whole column (8192 cells), sharing its storage with the song and
// with the previous snapshot for every column that did not change: a reset stores no
// cells, and a note entered in one channel stores four new columns at most. Slots
// outside the kept range hold a column of no cells. Only the sixteen track columns are
// kept; the order list, instruments and settings are not part of the history.
#include <array>

#include "host/text.h"
#include "tracker/core/song.h"

constexpr int kUndoSlots = 32;

struct UndoState {
    std::array<String, 4> copyBuffers;                          // note, volume, instrument, octave
    std::array<std::array<Column, kUndoSlots>, kColumns> history; // [column][slot]
    int undoLevel = 0;                                          // slot the song is at, 0..31
    int oldest = 0;                                             // slot undo stops at, 0..31
    int newest = 0;                                             // slot redo stops at, 0..31

    UndoState();   // one slot, 0, holding the empty song; the others no cells
    // The column stored in `slot` for column k.
    const Column& column(int k, int slot) const { return history[k][slot]; }
};
