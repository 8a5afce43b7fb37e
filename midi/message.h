#pragma once
// What a MIDI message means to a note source: a key pressed or released.
//
//   note-on:   status 0x90..0x9F (channel 0..15), key, velocity 1..127
//   note-off:  status 0x80..0x8F, or a note-on with velocity 0 (running status keyboards
//              send those)
// Every other message (controllers, pitch bend, clock, ...) is no note.
#include <optional>

#include "midi/input.h"

struct MidiNote {
    bool on = false;     // pressed; false: released
    int channel = 0;     // 0..15
    int key = 0;         // 0..127, 60 the middle C
    int velocity = 0;    // 1..127 when pressed
};

std::optional<MidiNote> decodeNote(const MidiMessage& message);
