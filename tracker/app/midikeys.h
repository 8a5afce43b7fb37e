#pragma once
// MIDI keys as notes of the editor: what the tracker does with its MIDI input.
//
//   pitch:     MIDI key 48 is "y" at octave digit 2, the sample's own pitch; one semitone
//              per key. The notes the editor can type (octave digit 0..3, note value
//              0..28) reach keys 24..88; of the pairs that give a key, the one at OCT is
//              taken, else the one whose octave digit is nearest to OCT
//   note-on:   (velocity above 0, any channel) entered at the cursor through the note
//              entry typed notes take (editor.h); with the cursor in a volume column it
//              is only heard
//   note-off:  of the key whose preview still sounds (no note entered since), on the
//              channel it came on: the preview stops. Every other message is ignored
//   pace:      the input is read once per update and its messages wait in arrival
//              order; at most one note is entered per update (none in an update in
//              which a typed key entered one). While playing or while a name or the
//              description is typed they are dropped
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "midi/input.h"
#include "tracker/app/editor.h"

// The note of MIDI key `key` with OCT at `octave`; none for a key outside 24..88.
std::optional<NoteInput> midiKeyNote(int key, int octave);

struct MidiKeys {
    // The preview a key started, as long as no other note was entered after it.
    struct Sounding {
        int channel;          // MIDI channel, 0..15
        int key;
        int trackerChannel;   // 1..4: the preview sounds on it and on it + 4
        unsigned entry;       // the editor's notesEntered after it
    };
    std::unique_ptr<MidiInput> input;    // none: MIDI input is off
    std::vector<MidiMessage> taken;      // the input's hand-over, reused
    std::deque<MidiMessage> waiting;     // taken and not handled yet, oldest first
    std::optional<Sounding> sounding;
};

class c_SoundEngine;
// Once per update, first: what arrived joins the waiting messages (dropped while playing).
void takeMidi(c_SoundEngine& app);
// In the editor's note entry: handles the waiting messages in order, up to one note-on
// entered (none when `keyEntered`, a typed key having entered this update's note).
void enterMidiNotes(c_SoundEngine& app, bool keyEntered);
