// The connection rules on a made-up port graph (the ALSA sequencer's announcements
// included, which cannot run here), and note decoding.
#include <gtest/gtest.h>

#include <deque>

#include "midi/message.h"
#include "midi/ports.h"

namespace {

MidiPort port(int client, int number, const char* clientName, const char* name, bool source,
              bool sink) {
    MidiPort p;
    p.client = client;
    p.port = number;
    p.clientName = clientName;
    p.name = name;
    p.source = source;
    p.sink = sink;
    return p;
}

// An ALSA-like graph: what is listed, what was connected, what is still to be announced.
class ListedPorts : public MidiPorts {
public:
    std::vector<MidiPort> ports;
    std::deque<MidiPort> announcements;
    std::vector<std::string> connections;   // "from -> to"
    std::vector<MidiPort> list() override { return ports; }
    bool connect(const MidiPort& from, const MidiPort& to) override {
        connections.push_back(from.clientName + ":" + from.name + " -> " + to.clientName);
        return true;
    }
    std::optional<MidiPort> announced() override {
        if (announcements.empty()) return std::nullopt;
        MidiPort p = announcements.front();
        announcements.pop_front();
        ports.push_back(p);
        return p;
    }
};

const MidiPort kOwn = port(130, 0, "Tamo Tracker", "Tamo Tracker", false, true);

}  // namespace

TEST(MidiPorts, ConnectsEveryOtherSourceButTheSequencerAndMidiThrough) {
    ListedPorts g;
    g.ports = {port(0, 0, "System", "Timer", true, true),
               port(0, 1, "System", "Announce", true, false),
               port(14, 0, "Midi Through", "Midi Through Port-0", true, true),
               port(20, 0, "USB Keys", "USB Keys MIDI 1", true, true),
               port(128, 0, "Sequencer", "out", true, false),
               port(129, 0, "Synth", "in", false, true),
               kOwn,
               port(131, 0, "a2j", "Midi Through [14] (capture): Midi Through Port-0", true, false)};
    EXPECT_EQ(connectSources(g, kOwn), 2);
    EXPECT_EQ(g.connections, (std::vector<std::string>{"USB Keys:USB Keys MIDI 1 -> Tamo Tracker",
                                                       "Sequencer:out -> Tamo Tracker"}));
    // Our own client's ports are never sources for us, even one that could send.
    EXPECT_FALSE(connectsTo(port(130, 1, "Tamo Tracker", "echo", true, false), kOwn));
}

TEST(MidiPorts, OurPortIsTheNewSinkOfThatName) {
    MidiPort other = port(129, 0, "Tamo Tracker", "Tamo Tracker", false, true);
    std::vector<MidiPort> before = {other, port(20, 0, "USB Keys", "USB Keys MIDI 1", true, true)};
    std::vector<MidiPort> after = before;
    after.push_back(kOwn);
    std::optional<MidiPort> own = newSink(before, after, "Tamo Tracker");
    ASSERT_TRUE(own);
    EXPECT_EQ(own->client, 130);
    // Two new ones of that name (two trackers starting at once): neither is taken.
    after.push_back(port(131, 0, "Tamo Tracker", "Tamo Tracker", false, true));
    EXPECT_FALSE(newSink(before, after, "Tamo Tracker"));
    EXPECT_FALSE(newSink(before, before, "Tamo Tracker"));
}

TEST(MidiPorts, AKeyboardPluggedInLaterIsConnectedWhenAnnounced) {
    ListedPorts g;
    g.ports = {kOwn};
    EXPECT_EQ(connectAnnounced(g, kOwn), 0);
    g.announcements = {port(24, 0, "Piano", "Piano MIDI 1", true, true),
                       port(25, 0, "Synth", "in", false, true),
                       port(130, 1, "Tamo Tracker", "second", false, true),
                       port(26, 0, "Pads", "Pads MIDI 1", true, false)};
    EXPECT_EQ(connectAnnounced(g, kOwn), 2);
    EXPECT_EQ(g.connections, (std::vector<std::string>{"Piano:Piano MIDI 1 -> Tamo Tracker",
                                                       "Pads:Pads MIDI 1 -> Tamo Tracker"}));
    EXPECT_EQ(connectAnnounced(g, kOwn), 0);
}

TEST(MidiMessages, NoteOnAndNoteOffOnAnyChannelAndNothingElse) {
    auto note = [](std::vector<uint8_t> bytes) {
        MidiMessage m;
        m.size = int(bytes.size());
        for (size_t i = 0; i < bytes.size(); ++i) m.bytes[i] = bytes[i];
        return decodeNote(m);
    };
    std::optional<MidiNote> on = note({0x9B, 48, 100});
    ASSERT_TRUE(on);
    EXPECT_TRUE(on->on);
    EXPECT_EQ(on->channel, 11);
    EXPECT_EQ(on->key, 48);
    EXPECT_EQ(on->velocity, 100);
    std::optional<MidiNote> zero = note({0x90, 60, 0});   // note-on at velocity 0 releases
    ASSERT_TRUE(zero);
    EXPECT_FALSE(zero->on);
    std::optional<MidiNote> off = note({0x83, 60, 64});
    ASSERT_TRUE(off);
    EXPECT_FALSE(off->on);
    EXPECT_EQ(off->channel, 3);
    EXPECT_FALSE(note({0xB0, 7, 100}));    // controller
    EXPECT_FALSE(note({0xE0, 0, 64}));     // pitch bend
    EXPECT_FALSE(note({0xC0, 5}));         // program change
    EXPECT_FALSE(note({0x90, 60}));        // cut short
    EXPECT_FALSE(note({0xF8}));            // clock
}
