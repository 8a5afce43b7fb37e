// The MIDI input port over RtMidi: open on ALSA, else JACK; take the queued messages.
#include "midi/input.h"

#include <RtMidi.h>

#include <iostream>
#include <sstream>

#include "midi/ports.h"
#include "midi/systems.h"

namespace {

constexpr unsigned kQueueSize = 1024;   // RtMidi's ring keeps one slot free

void ignoreRtMidiError(RtMidiError::Type, const std::string&, void*) {}

// Counts the errors that are more than warnings in the bool `failed` points at.
void noteRtMidiFailure(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        *static_cast<bool*>(failed) = true;
}

// RtMidi prints to std::cerr while it opens, before an error callback can be set.
class MutedCerr {
public:
    MutedCerr() : old_(std::cerr.rdbuf(sink_.rdbuf())) {}
    ~MutedCerr() { std::cerr.rdbuf(old_); }

private:
    std::ostringstream sink_;
    std::streambuf* old_;
};

class RtMidiInput : public MidiInput {
public:
    RtMidiInput(std::unique_ptr<RtMidiIn> in, std::unique_ptr<MidiPorts> ports,
                std::optional<MidiPort> own)
        : in_(std::move(in)), ports_(std::move(ports)), own_(own) {}

    void take(std::vector<MidiMessage>& out) override {
        if (own_) connectAnnounced(*ports_, *own_);
        for (;;) {
            try {
                in_->getMessage(&bytes_);
            } catch (const RtMidiError&) {
                return;
            }
            if (bytes_.empty()) return;
            MidiMessage m;
            m.size = int(bytes_.size() < 3 ? bytes_.size() : 3);
            for (int i = 0; i < m.size; ++i) m.bytes[i] = bytes_[size_t(i)];
            out.push_back(m);
        }
    }

private:
    std::unique_ptr<RtMidiIn> in_;
    std::unique_ptr<MidiPorts> ports_;
    std::optional<MidiPort> own_;        // none: our port was not found in the graph
    std::vector<unsigned char> bytes_;   // RtMidi's message, reused
};

// RtMidi's input with our virtual port on `api`; none when it fails.
std::unique_ptr<RtMidiIn> openRtMidi(RtMidi::Api api) {
    MutedCerr muted;
    try {
        auto in = std::make_unique<RtMidiIn>(api, kMidiPortName, kQueueSize);
        bool failed = false;
        in->setErrorCallback(noteRtMidiFailure, &failed);
        in->openVirtualPort(kMidiPortName);
        in->setErrorCallback(ignoreRtMidiError, nullptr);
        if (failed) return nullptr;
        return in;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

}  // namespace

MidiOpening openMidiInput() {
    silenceAlsa();
    silenceJack();
    struct System {
        RtMidi::Api api;
        std::unique_ptr<MidiPorts> (*open)(std::string&);
    };
    const System systems[] = {{RtMidi::LINUX_ALSA, openAlsaPorts}, {RtMidi::UNIX_JACK, openJackPorts}};
    MidiOpening result;
    for (const System& system : systems) {
        std::string why;
        std::unique_ptr<MidiPorts> ports = system.open(why);
        if (ports) {
            std::vector<MidiPort> before = ports->list();
            std::unique_ptr<RtMidiIn> in = openRtMidi(system.api);
            if (in) {
                // Without our port in the graph the input still works; nothing is connected.
                std::optional<MidiPort> own = newSink(before, ports->list(), kMidiPortName);
                if (own) connectSources(*ports, *own);
                result.input = std::make_unique<RtMidiInput>(std::move(in), std::move(ports), own);
                result.offReason.clear();
                return result;
            }
            why = system.api == RtMidi::LINUX_ALSA ? "ALSA sequencer: no port" : "JACK: no port";
        }
        if (!result.offReason.empty()) result.offReason += "; ";
        result.offReason += why;
    }
    return result;
}
