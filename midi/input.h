#pragma once
// midi/: the MIDI input driver over RtMidi and the system's MIDI services (over the host).
//
// MidiInput: the program's one MIDI input port, named "Tamo Tracker".
//
//   message:  the bytes of one MIDI message as it arrived, status byte first (at most 3
//             kept; system exclusive is dropped by RtMidi)
//   system:   the ALSA sequencer when it opens, else a running JACK server (the one
//             JACK_DEFAULT_SERVER names, as for every JACK client); tried in that order
//   sources:  at open, every MIDI output port of another client is connected to the
//             port (not ALSA's "Midi Through"); with ALSA a port that starts later is
//             connected when it is announced (midi/ports.h has the rules)
//   queue:    RtMidi's thread queues the messages; take() hands them over without
//             blocking, in arrival order. It holds 1023, so a burst of a few hundred
//             notes with their note-offs between two updates is kept whole
//
// Nothing here prints or ends the program: the libraries' own messages are silenced,
// their failures caught, and an open that fails says why MIDI input is off.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct MidiMessage {
    uint8_t bytes[3] = {0, 0, 0};   // status, then up to two data bytes
    int size = 0;                   // bytes used
};

// Where an application takes its MIDI from: the real port, or a test's list.
class MidiInput {
public:
    virtual ~MidiInput() = default;
    // Appends every message that arrived since the last call, oldest first; with ALSA
    // it first connects the sources announced since then.
    virtual void take(std::vector<MidiMessage>& out) = 0;
};

struct MidiOpening {
    std::unique_ptr<MidiInput> input;   // none: MIDI input is off
    std::string offReason;              // why, for each system tried
};

// Opens the port on the first system that works and connects the sources present.
MidiOpening openMidiInput();

// The port's name, also its client's name on the MIDI system.
inline constexpr const char* kMidiPortName = "Tamo Tracker";
