// The connection rules over any MIDI system's port graph.
#include "midi/ports.h"

namespace {
constexpr int kSequencerClient = 0;

bool samePort(const MidiPort& a, const MidiPort& b) {
    return a.client == b.client && a.port == b.port && a.clientName == b.clientName &&
           a.name == b.name;
}
}  // namespace

bool connectsTo(const MidiPort& port, const MidiPort& own) {
    return port.source && port.client != own.client && port.client != kSequencerClient &&
           port.clientName.find("Midi Through") == std::string::npos &&
           port.name.find("Midi Through") == std::string::npos;
}

std::optional<MidiPort> newSink(const std::vector<MidiPort>& before,
                                const std::vector<MidiPort>& after, const std::string& name) {
    std::optional<MidiPort> found;
    for (const MidiPort& p : after) {
        if (!p.sink || p.name != name) continue;
        bool old = false;
        for (const MidiPort& q : before) old = old || samePort(p, q);
        if (old) continue;
        if (found) return std::nullopt;
        found = p;
    }
    return found;
}

int connectSources(MidiPorts& ports, const MidiPort& own) {
    int connected = 0;
    for (const MidiPort& p : ports.list())
        if (connectsTo(p, own) && ports.connect(p, own)) ++connected;
    return connected;
}

int connectAnnounced(MidiPorts& ports, const MidiPort& own) {
    int connected = 0;
    while (std::optional<MidiPort> p = ports.announced())
        if (connectsTo(*p, own) && ports.connect(*p, own)) ++connected;
    return connected;
}
