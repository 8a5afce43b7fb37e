// The MIDI input port on a real JACK server (dummy backend), and without any MIDI system.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "midi/input.h"
#include "support/files.h"
#include "support/jack.h"
#include "support/xvfb.h"

namespace {

bool alsaSequencerPresent() { return access("/dev/snd/seq", F_OK) == 0; }

// Waits up to 5 s for `count` messages.
std::vector<MidiMessage> takeUntil(MidiInput& input, size_t count) {
    std::vector<MidiMessage> got;
    for (int i = 0; i < 250 && got.size() < count; ++i) {
        input.take(got);
        if (got.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return got;
}

std::vector<uint8_t> bytesOf(const MidiMessage& m) { return {m.bytes, m.bytes + m.size}; }

}  // namespace

TEST(MidiInput, WithoutAnySystemItIsOffSaysWhyAndPrintsNothing) {
    if (alsaSequencerPresent()) GTEST_SKIP() << "this machine has an ALSA sequencer";
    TempDir dir;
    setenv("JACK_DEFAULT_SERVER", ("none-" + std::to_string(getpid())).c_str(), 1);
    int saved = dup(2);
    int file = open(dir.file("stderr").c_str(), O_CREAT | O_WRONLY, 0600);
    dup2(file, 2);
    MidiOpening opening = openMidiInput();
    fflush(stderr);
    dup2(saved, 2);
    close(file);
    close(saved);
    unsetenv("JACK_DEFAULT_SERVER");
    EXPECT_FALSE(opening.input);
    EXPECT_NE(opening.offReason.find("ALSA sequencer: "), std::string::npos) << opening.offReason;
    EXPECT_NE(opening.offReason.find("JACK: no server running"), std::string::npos) << opening.offReason;
    EXPECT_EQ(readFile(dir.file("stderr")), "");
}

TEST(MidiInput, OnJackItConnectsTheKeyboardsPresentAndKeepsABurstInOrder) {
    if (alsaSequencerPresent()) GTEST_SKIP() << "ALSA would be chosen before JACK here";
    JackServer server;
    ASSERT_TRUE(server.ok()) << "jackd did not start";
    MidiKeyboard keyboard;
    ASSERT_TRUE(keyboard.ok());
    MidiOpening opening = openMidiInput();
    ASSERT_TRUE(opening.input) << opening.offReason;
    EXPECT_TRUE(keyboard.connectedTo("Tamo Tracker:Tamo Tracker"));

    // 40 notes with their note-offs, a controller and a pitch bend, all in one period.
    std::vector<std::vector<uint8_t>> burst;
    for (int i = 0; i < 40; ++i) {
        burst.push_back({uint8_t(0x90 | (i % 16)), uint8_t(30 + i), 100});
        burst.push_back({uint8_t(0x80 | (i % 16)), uint8_t(30 + i), 0});
    }
    burst.push_back({0xB0, 7, 99});
    burst.push_back({0xE2, 0x00, 0x50});
    // Twice over: 168 messages between two takes, more than RtMidi keeps by default.
    ASSERT_TRUE(keyboard.send(burst));
    ASSERT_TRUE(keyboard.send(burst));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<MidiMessage> got = takeUntil(*opening.input, 2 * burst.size());
    ASSERT_EQ(got.size(), 2 * burst.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(bytesOf(got[i]), burst[i % burst.size()]) << "message " << i;
    got.clear();
    opening.input->take(got);
    EXPECT_TRUE(got.empty());
}
