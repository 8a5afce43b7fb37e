#pragma once
// The block clipboard and the ring of undo snapshots.
//
//   block:     rows blockStart + 1 .. blockEnd of the cursor channel, all four of its
//              columns (note, volume, instrument, octave) moving together
//   clipboard: copyBuffers, up to 33 characters of each of those four columns
//   history:   32 slots per track column; undoLevel is the slot of the last snapshot,
//              and an undo steps back one slot but never below slot 1
//
// A slot holds a whole column (8192 cells) behind a shared pointer: a snapshot
// reuses the previous snapshot's storage for every column that did not change, so
// a note entered in one channel stores one new column, not sixteen. Slots never
// written since the start hold the empty text. Only the sixteen track columns are
// kept; the order list, instruments and settings are not part of the history.
#include <array>
#include <memory>

#include "host/text.h"
#include "tracker/song.h"

constexpr int kUndoSlots = 32;

struct UndoState {
    using Slot = std::shared_ptr<const String>;
    std::array<String, 4> copyBuffers;                          // note, volume, instrument, octave
    std::array<std::array<Slot, kUndoSlots>, kColumns> history; // [column][slot], never null
    int undoLevel = 0;                                          // slot of the last snapshot, 0..31

    UndoState();   // the history at start: slots 0..15 the empty song, 16..31 empty text
    // The column stored in `slot` for column k.
    const String& column(int k, int slot) const { return *history[k][slot]; }
};
