// The instrument voice, seen through the channel calls of the player and of the note
// preview, tick by tick, against recordings in tests/tracker/golden/ taken from the
// tracker before the voice was shared: the demo songs, a song whose fifteen
// instruments and cells reach every parameter, command and mute, and notes previewed
// through each of those instruments. TAMO_RECORD_GOLDEN=1 writes the recordings anew.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "audio/sample.h"
#include "editor_harness.h"
#include "host/datapath.h"
#include "host/game.h"
#include "tracker/core/player.h"

namespace {

// Each call as a short word: s1 (stop), p1:3/1 (sample 3 on 1, flags 1), v1=0.875 (a
// volume), r5=1.01 (a rate); a volume or rate equal to the last one sent to that
// channel is the word without its value (v1), one equal to the value of the call just
// before it keeps only the '=' (v5=). Each tick is one line, '"' when it equals the
// line before.
class TickLog : public ChannelOut {
public:
    explicit TickLog(std::map<const c_Sound*, int> samples) : samples_(std::move(samples)) {}
    void stop(int c) override {
        line_ += "s" + std::to_string(c) + " ";
        lastValue_.clear();
    }
    void play(const c_Sound* s, int c, int flags) override {
        auto it = samples_.find(s);
        line_ += "p" + std::to_string(c) + ":" + (it == samples_.end() ? "?" : std::to_string(it->second)) +
                 "/" + std::to_string(flags) + " ";
        lastValue_.clear();
    }
    void setVolume(int c, float v) override { value("v", c, v); }
    void setRate(int c, float r) override { value("r", c, r); }

    void endTick() {
        lines.push_back(line_ == last_ ? "\"" : line_);
        lastValue_.clear();
        last_ = line_;
        line_.clear();
    }
    std::vector<std::string> lines;

private:
    void value(const std::string& kind, int c, float v) {
        std::string word = kind + std::to_string(c);
        auto sent = sent_.find(word);
        bool same = sent != sent_.end() && std::memcmp(&sent->second, &v, sizeof v) == 0;
        sent_[word] = v;
        const std::string text = number(v);
        if (same) line_ += word + " ";
        else line_ += word + "=" + (text == lastValue_ ? "" : text) + " ";
        lastValue_ = text;
    }
    // The shortest decimal that reads back as exactly `v`.
    static std::string number(float v) {
        char text[32];
        for (int digits = 1; digits <= 9; ++digits) {
            std::snprintf(text, sizeof text, "%.*g", digits, double(v));
            if (std::strtof(text, nullptr) == v) break;
        }
        return text;
    }
    std::map<const c_Sound*, int> samples_;
    std::map<std::string, float> sent_;
    std::string line_, last_, lastValue_;
};

std::string goldenPath(const std::string& name) {
    return std::string(TAMO_SOURCE_DIR) + "/tests/tracker/golden/" + name + ".txt";
}

// Compares `lines` with the recording `name`, naming the first tick that differs.
void expectGolden(const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = goldenPath(name);
    if (std::getenv("TAMO_RECORD_GOLDEN")) {
        std::ofstream out(path);
        for (const auto& l : lines) out << l << "\n";
        return;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::vector<std::string> golden;
    for (std::string l; std::getline(in, l);) golden.push_back(l);
    ASSERT_EQ(lines.size(), golden.size()) << name;
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], golden[i]) << name << ", tick " << i;
}

// WAV, PWM, RPT/E2P, SWP/AMT, ENV, SPD, ARP1, ARP2: every range end, ENV 0, WAV values
// outside the table, the one-shot arpeggio, swing periods odd and even.
const int kInstruments[16][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},        {1, 0, 0, 0, 1, 0, 0, 0},
    {2, 4, 0, 0x20, 8, 0, 0, 0},     {3, 15, 3, 0x5F, 20, 2, 4, 7},
    {4, 8, 16, 0x3F, 255, 3, 12, 5}, {5, 1, 17, 0x18, 3, 1, 3, 9},
    {6, 7, 0, 0xF7, 40, 15, 7, 12},  {7, 12, 15, 0x00, 0, 4, 0, 0},
    {0, 3, 0, 0x11, 10, 0, 0, 0},    {9, 5, 2, 0x2A, 16, 2, 2, 2},
    {1, 9, 31, 0xEE, 6, 5, 11, 1},   {2, 2, 8, 0x7C, 2, 7, 12, 12},
    {3, 6, 20, 0x93, 12, 1, 0, 6},   {5, 11, 1, 0x4B, 30, 0, 9, 3},
    {6, 14, 24, 0xA5, 5, 9, 1, 10},  {7, 10, 6, 0xC1, 9, 3, 5, 8},
};

void setInstruments(Song& song) {
    for (int n = 0; n < 16; ++n)
        for (int j = 0; j < 8; ++j) song.param(n, j) = kInstruments[n][j];
}

// Four patterns of cells drawn from a fixed sequence: notes, every command, volume
// digits 0..F, instruments 0..F (0 keeps the channel's), octaves 0..3; a pattern end
// in channel 1 and in channel 4.
Song everyParameterSong() {
    Song song;
    song.clear();
    setInstruments(song);
    song.songLength = 4 * kRowsPerPattern;
    song.speed = 3;
    for (int p = 0; p < 4; ++p) song.orderList[p] = p;
    const String notes = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0p<+#.";
    const String digits = U"0123456789ABCDEF";
    unsigned seed = 12345;
    auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int c = 1; c <= kChannels; ++c) {
        for (int row = 0; row < 4 * kRowsPerPattern; ++row) {
            if (next(3) != 0) continue;   // two rows in three stay empty
            song.trackColumns[noteColumn(c)].set(row, notes[next(unsigned(notes.size()))]);
            song.trackColumns[volumeColumn(c)].set(row, digits[next(16)]);
            song.trackColumns[instrumentColumn(c)].set(row, digits[next(16)]);
            song.trackColumns[octaveColumn(c)].set(row, U"0123"[next(4)]);
        }
    }
    song.trackColumns[noteColumn(1)].set(1 * 32 + 20, U'-');
    song.trackColumns[noteColumn(4)].set(2 * 32 + 10, U'-');
    return song;
}

class PlayerGolden : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& s : player.waveSamples) s = std::make_shared<c_Sound>(nullptr);
        for (int i = 0; i < kWaveSamples; ++i) samples[player.waveSamples[i].get()] = i;
    }
    // `ticks` ticks from position 0; `beforeTick` may change the channel switches.
    std::vector<std::string> play(int ticks, const std::function<void(int)>& beforeTick = {}) {
        TickLog log(samples);
        player.out = &log;
        for (int t = 0; t < ticks; ++t) {
            if (beforeTick) beforeTick(t);
            player.playerTick();
            log.endTick();
        }
        player.out = &audioChannels();
        return log.lines;
    }
    std::map<const c_Sound*, int> samples;
    c_tamoPlay player;
};

TEST_F(PlayerGolden, DemoSongsSendTheRecordedCallsEveryTick) {
    for (const char* name : {"demo1", "demo2", "demo3"}) {
        VXGlfwGame game;
        game.setDataRoot(widen(TAMO_SOURCE_DIR));
        ASSERT_TRUE(player.takeSongText(loadText(U"songs/" + widen(name)))) << name;
        player.playPosition = 0;
        player.playRow = 0;
        player.tick = 0;
        expectGolden(std::string("player_") + name, play(700));
    }
}

TEST_F(PlayerGolden, EveryParameterCommandAndMuteSendsTheRecordedCalls) {
    player.song = everyParameterSong();
    player.speed = 3.0f;
    expectGolden("player_every_parameter", play(600, [&](int t) {
        if (t == 200) player.channelEnable[1] = 0.0f;
        if (t == 420) player.channelEnable[1] = 1.0f;
        if (t == 300) player.channelEnable[3] = 0.0f;
    }));
}

// The preview of notes typed through each instrument, in Standby and in Editing.
class PreviewGolden : public EditorHarness {};

TEST_F(PreviewGolden, NotesThroughEveryInstrumentSendTheRecordedCalls) {
    std::map<const c_Sound*, int> samples;
    for (int i = 0; i < kWaveSamples; ++i) samples[fakeSamples[i].get()] = i;
    setInstruments(app->song);
    TickLog log(samples);
    editorOf(*app).out = &log;
    auto updates = [&](int n) {
        for (int i = 0; i < n; ++i) {
            update();
            log.endTick();
        }
    };
    for (int n = 1; n <= 15; ++n) {
        app->currentInstrument = n;
        app->octave = n % 4;
        app->cursorColumn = 1 + 2 * (n % 4);
        type(U"y");
        log.endTick();
        updates(24);
        type(U"i");
        log.endTick();
        updates(6);
        type(U"<");
        log.endTick();
        updates(2);
    }
    editing();
    for (int n = 1; n <= 15; ++n) {
        app->currentInstrument = n;
        app->octave = (n + 1) % 4;
        type(U"2");
        log.endTick();
        updates(12);
        type(U".");
        log.endTick();
        updates(2);
    }
    editorOf(*app).out = &channels;
    expectGolden("preview_every_instrument", log.lines);
}

}  // namespace
