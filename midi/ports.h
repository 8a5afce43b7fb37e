#pragma once
// The port graph of a MIDI system as the connection rules see it, and the rules.
//
//   source:  a port others may read MIDI from (an output: a keyboard, a sequencer)
//   sink:    a port others may send MIDI to (an input, such as ours)
//   client:  the program or device owning ports; ALSA's client 0 is the sequencer
//            itself (timer, announcements), never a source
//
// MidiPorts is the seam between the rules and a system: the ALSA sequencer and JACK
// implement it in midi/, tests with a list. Only ALSA announces new ports.
#include <optional>
#include <string>
#include <vector>

struct MidiPort {
    int client = 0;            // ALSA client number; JACK: 1 + the client's index
    int port = 0;              // ALSA port number; JACK: the port's index
    std::string clientName;    // "Midi Through", "system", "Tamo Tracker"
    std::string name;          // the port's own name (JACK: after the client's)
    bool source = false;
    bool sink = false;
};

class MidiPorts {
public:
    virtual ~MidiPorts() = default;
    virtual std::vector<MidiPort> list() = 0;
    // Sends what `from` emits to `to`; false when the system refused.
    virtual bool connect(const MidiPort& from, const MidiPort& to) = 0;
    // The next port started since the last call (its current description); none
    // when nothing more was announced or the system does not announce.
    virtual std::optional<MidiPort> announced() = 0;
};

// Whether `port` is a source to connect to `own`: a source of another client, not the
// ALSA sequencer's own client nor "Midi Through" (ALSA's loop-back, also as bridged).
bool connectsTo(const MidiPort& port, const MidiPort& own);

// Our port: the sink named `name` listed `after` opening it but not `before` (two
// trackers have one each); none if that is not exactly one port.
std::optional<MidiPort> newSink(const std::vector<MidiPort>& before,
                                const std::vector<MidiPort>& after, const std::string& name);

// Connects every source of `ports`' list to `own`; returns how many connected.
int connectSources(MidiPorts& ports, const MidiPort& own);
// Connects each port announced since the last call that is a source; returns how many.
int connectAnnounced(MidiPorts& ports, const MidiPort& own);
