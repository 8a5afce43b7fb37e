// The player's tick, seen through the exact channel calls it makes. A recorder stands
// in for the audio device; the eight samples are distinct handles without sound.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/sample.h"
#include "host/game.h"
#include "support/xvfb.h"
#include "tracker/core/player.h"
#include "tracker/core/songfile.h"

namespace {

struct Call {
    std::string op;          // "stop", "play", "volume", "rate"
    int channel = 0;
    float value = 0;         // volume or rate
    const c_Sound* sound = nullptr;
};

class Recorder : public ChannelOut {
public:
    void stop(int c) override { calls.push_back({"stop", c, 0, nullptr}); }
    void play(const c_Sound* s, int c, int flags) override {
        calls.push_back({"play", c, float(flags), s});
    }
    void setVolume(int c, float v) override { calls.push_back({"volume", c, v, nullptr}); }
    void setRate(int c, float r) override { calls.push_back({"rate", c, r, nullptr}); }

    std::vector<Call> calls;

    std::vector<Call> only(const std::string& op) const {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.op == op) out.push_back(c);
        return out;
    }
    float last(const std::string& op, int channel) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->op == op && it->channel == channel) return it->value;
        ADD_FAILURE() << "no " << op << " on channel " << channel;
        return NAN;
    }
    std::vector<int> channelsOf(const std::string& op) const {
        std::vector<int> out;
        for (const Call& c : calls)
            if (c.op == op) out.push_back(c.channel);
        return out;
    }
};

float rateOf(float semitones) { return float(std::pow(1.0594631433486938, double(semitones))); }

void expectRates(const std::vector<float>& rates, std::initializer_list<float> semitones) {
    ASSERT_EQ(rates.size(), semitones.size());
    size_t i = 0;
    for (float s : semitones) {
        EXPECT_FLOAT_EQ(rates[i], rateOf(s)) << "tick " << i << ", " << s << " semitones";
        ++i;
    }
}

// A player over a new song with a recorder and eight distinct (silent) samples.
class PlayerTick : public ::testing::Test {
protected:
    void SetUp() override {
        player.out = &rec;
        player.song.clear();
        player.speed = 4.0f;
        for (auto& s : player.waveSamples) s = std::make_shared<c_Sound>(nullptr);
    }

    // Instrument n: WAV, PWM, RPT/E2P, SWP/AMT, ENV, SPD, ARP1, ARP2.
    void instrument(int n, std::array<int, 8> params) {
        for (int j = 0; j < 8; ++j) player.song.param(n, j) = params[j];
    }
    // One cell of channel c (1..4) at song index `row`: note, volume, instrument, octave.
    void cell(int c, int row, char32_t note, char32_t volume = U'8', char32_t instr = U'1',
              char32_t octave = U'2') {
        player.song.trackColumns[noteColumn(c)].set(row, note);
        player.song.trackColumns[volumeColumn(c)].set(row, volume);
        player.song.trackColumns[instrumentColumn(c)].set(row, instr);
        player.song.trackColumns[octaveColumn(c)].set(row, octave);
    }
    // Runs one tick and returns its calls.
    Recorder tickOnce() {
        rec.calls.clear();
        player.playerTick();
        return rec;
    }
    // One tick with a trap on floating-point division by zero (SIGFPE ends the test).
    Recorder tickTrappingDivisionByZero() {
        rec.calls.clear();
        feenableexcept(FE_DIVBYZERO);
        player.playerTick();
        fedisableexcept(FE_DIVBYZERO);
        return rec;
    }
    // Ticks until the next tick reads a row (the start waits `speed` frames).
    void skipToRow() {
        for (int guard = 0; !player.rowDue() && guard < 100; ++guard) player.playerTick();
        rec.calls.clear();
    }
    const c_Sound* sample(int i) const { return player.waveSamples[i].get(); }

    Recorder rec;
    c_tamoPlay player;
};

// ---- rows and positions ----

TEST_F(PlayerTick, RowsAreReadOnFrames4_8_12AtSpeed4) {
    instrument(1, {4, 0, 0, 0, 255, 0, 0, 0});
    for (int r = 0; r < 4; ++r) cell(1, r, U'y');
    std::vector<int> framesWithStarts;
    for (int frame = 0; frame <= 13; ++frame)
        if (!tickOnce().only("play").empty()) framesWithStarts.push_back(frame);
    EXPECT_EQ(framesWithStarts, (std::vector<int>{4, 8, 12}));
    EXPECT_EQ(player.playRow, 3);
}

TEST_F(PlayerTick, EveryTickSetsVolumesThenRatesInPairOrder) {
    Recorder r = tickOnce();
    std::vector<int> pairOrder{1, 5, 2, 6, 3, 7, 4, 8};
    EXPECT_EQ(r.channelsOf("volume"), pairOrder);
    EXPECT_EQ(r.channelsOf("rate"), pairOrder);
    ASSERT_EQ(r.calls.size(), 16u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(r.calls[i].op, "volume");
}

TEST_F(PlayerTick, StopAllChannelsStopsTheEightInItsOwnOrder) {
    stopAllChannels(rec);
    EXPECT_EQ(rec.channelsOf("stop"), (std::vector<int>{1, 2, 3, 4, 6, 5, 8, 7}));
}

TEST_F(PlayerTick, PatternEndInChannel4OrChannel1JumpsToTheNextPosition) {
    for (int endChannel : {4, 1}) {
        SCOPED_TRACE(endChannel);
        SetUp();
        player.playPosition = player.playRow = 0;
        player.tick = 0;
        player.song.songLength = 64;
        player.song.orderList[1] = 3;
        player.song.trackColumns[noteColumn(endChannel)].set(5, U'-');
        for (int row = 0; row < 6; ++row) {
            skipToRow();
            tickOnce();
        }
        EXPECT_EQ(player.playPosition, 1);
        EXPECT_EQ(player.playRow, 0);
        skipToRow();
        tickOnce();
        EXPECT_EQ(player.patternBase, 3 * 32);
        EXPECT_EQ(player.playRow, 1);
    }
}

TEST_F(PlayerTick, ATwoPositionSongLoopsBackToPositionZero) {
    player.song.songLength = 64;
    player.song.orderList[1] = 1;
    for (int row = 0; row < 63; ++row) {
        skipToRow();
        tickOnce();
    }
    EXPECT_EQ(player.playPosition, 1);
    EXPECT_EQ(player.playRow, 31);
    skipToRow();
    tickOnce();
    EXPECT_EQ(player.playPosition, 0);
    EXPECT_EQ(player.playRow, 0);
    EXPECT_EQ(player.loopCount, 1);
}

TEST_F(PlayerTick, PlaybackPastTheLastOrderEntryWrapsToPositionZero) {
    // A start beyond the song's length runs on to position 255, then back to 0.
    player.playPosition = 255;
    player.song.orderList[255] = 7;
    for (int row = 0; row < 32; ++row) {
        skipToRow();
        tickOnce();
        EXPECT_EQ(player.patternBase, 7 * 32);
    }
    EXPECT_EQ(player.playPosition, 0);
    tickOnce();
    EXPECT_EQ(player.patternBase, 0);
    // A position set out of range by hand restarts instead of reading outside the list.
    player.playPosition = 9999;
    tickOnce();
    EXPECT_EQ(player.playPosition, 0);
}

TEST_F(PlayerTick, AnUnloadedPlayerReadsEmptyCellsAndStaysSilent) {
    c_tamoPlay fresh;   // empty columns, as created
    fresh.out = &rec;
    int rows = 0;
    for (int i = 0; i < 200; ++i) {
        if (fresh.rowDue()) ++rows;
        fresh.playerTick();
    }
    EXPECT_EQ(rows, 49);   // on frames 4, 8, ..., 196
    EXPECT_TRUE(rec.only("play").empty());
    EXPECT_TRUE(rec.only("stop").empty());
    for (const Call& c : rec.only("volume")) EXPECT_EQ(c.value, 0.0f);
    EXPECT_EQ(fresh.playRow, 49 - 32);
}

// ---- notes ----

TEST_F(PlayerTick, ANoteStartsItsTwoSamplesAfterStoppingThePair) {
    instrument(1, {7, 0, 0, 0, 255, 0, 0, 0});   // WAV 7: noise and silence
    cell(2, 0, U'y');
    skipToRow();
    Recorder r = tickOnce();
    ASSERT_GE(r.calls.size(), 4u);
    EXPECT_EQ(r.calls[0].op, "stop");
    EXPECT_EQ(r.calls[0].channel, 2);
    EXPECT_EQ(r.calls[1].op, "stop");
    EXPECT_EQ(r.calls[1].channel, 6);
    EXPECT_EQ(r.calls[2].op, "play");
    EXPECT_EQ(r.calls[2].channel, 2);
    EXPECT_EQ(r.calls[2].sound, sample(6));   // "wav/hnoise.wav"
    EXPECT_EQ(r.calls[2].value, 1.0f);        // looped
    EXPECT_EQ(r.calls[3].op, "play");
    EXPECT_EQ(r.calls[3].channel, 6);
    EXPECT_EQ(r.calls[3].sound, sample(7));   // "wav/zero_64.wav"
    EXPECT_EQ(player.mainSample[1], player.waveSamples[6]);
}

TEST_F(PlayerTick, EveryWavValueSelectsItsSamplePairAndOthersKeepThePrevious) {
    const int mainOf[] = {1, 2, 0, 5, 1, 4, 6};
    const int secondOf[] = {3, 3, 3, 7, 7, 7, 7};
    for (int wav = 1; wav <= 7; ++wav) {
        instrument(1, {wav, 0, 0, 0, 255, 0, 0, 0});
        cell(1, player.playRow, U'y');
        skipToRow();
        Recorder r = tickOnce();
        auto plays = r.only("play");
        ASSERT_EQ(plays.size(), 2u) << "WAV " << wav;
        EXPECT_EQ(plays[0].sound, sample(mainOf[wav - 1])) << "WAV " << wav;
        EXPECT_EQ(plays[1].sound, sample(secondOf[wav - 1])) << "WAV " << wav;
    }
    instrument(2, {9, 0, 0, 0, 255, 0, 0, 0});   // not a WAV value
    cell(1, player.playRow, U'y', U'8', U'2');
    skipToRow();
    auto plays = tickOnce().only("play");
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[0].sound, sample(6));
    EXPECT_EQ(plays[1].sound, sample(7));
}

TEST_F(PlayerTick, ANoteWithVolumeZeroRepitchesWithoutStartingASample) {
    instrument(1, {4, 0, 0, 0, 255, 0, 0, 0});
    cell(1, 0, U'y');
    cell(1, 1, U'q', U'0');   // an octave up, volume digit 0
    skipToRow();
    tickOnce();
    for (int i = 0; i < 3; ++i) tickOnce();
    ASSERT_GT(player.channels[0].envelope, 0.0f);
    Recorder r = tickOnce();
    EXPECT_TRUE(r.only("play").empty());
    EXPECT_TRUE(r.only("stop").empty());
    EXPECT_EQ(player.channels[0].playingNote, 12.0f);
    EXPECT_EQ(r.last("rate", 1), rateOf(12));   // an octave: 2.0000012
    // The envelope restarted: one step above 0.
    EXPECT_FLOAT_EQ(player.channels[0].envelope, 0.125f / 255);
    EXPECT_FLOAT_EQ(player.channelVolume[0], 1.0f);
}

TEST_F(PlayerTick, NoteOffStopsThePairOnlyWhileTheChannelHasVolume) {
    instrument(1, {4, 0, 0, 0, 255, 0, 0, 0});
    cell(1, 0, U'y');
    cell(1, 1, U'<', U'0');
    cell(3, 1, U'<', U'0');   // channel 3 never had a volume
    skipToRow();
    tickOnce();
    skipToRow();
    Recorder r = tickOnce();
    EXPECT_EQ(r.channelsOf("stop"), (std::vector<int>{1, 5}));
    EXPECT_TRUE(r.only("play").empty());
}

TEST_F(PlayerTick, AMutedChannelKeepsItsVolumeUntilItsNextVolumeDigit) {
    instrument(1, {4, 0, 0, 0, 255, 0, 0, 0});
    cell(1, 0, U'y', U'8');
    cell(1, 1, U'y', U'0');
    cell(1, 2, U'y', U'4');
    skipToRow();
    tickOnce();
    player.channelEnable[0] = 0.0f;
    skipToRow();
    Recorder muted = tickOnce();
    EXPECT_EQ(player.channelVolume[0], 1.0f);
    EXPECT_GT(muted.last("volume", 1), 0.99f);
    skipToRow();
    Recorder silent = tickOnce();
    EXPECT_EQ(player.channelVolume[0], 0.0f);
    EXPECT_EQ(silent.last("volume", 1), 0.0f);
    EXPECT_EQ(silent.last("volume", 5), 0.0f);
    EXPECT_TRUE(silent.only("play").empty());   // no start at volume 0
}

TEST_F(PlayerTick, ANoteOnAChannelWithoutInstrumentIsSilencedAtOnce) {
    // Instrument 0 keeps ENV 0: silence, without a division by zero.
    cell(1, 0, U'y', U'8', U'0');
    skipToRow();
    Recorder r = tickTrappingDivisionByZero();
    EXPECT_EQ(r.only("play").size(), 0u) << "instrument 0 has WAV 0, so no samples";
    EXPECT_EQ(r.last("volume", 1), 0.0f);
    EXPECT_EQ(player.channelVolume[0], 0.0f);
    EXPECT_EQ(player.channels[0].envelope, 0.0f);
}

TEST_F(PlayerTick, Env0OnASoundingChannelSilencesItWithFiniteLevels) {
    instrument(1, {4, 0, 0, 0, 0, 0, 0, 0});
    cell(1, 0, U'y', U'F');
    skipToRow();
    Recorder r = tickTrappingDivisionByZero();
    EXPECT_EQ(r.only("play").size(), 2u);   // the note starts, then falls silent
    EXPECT_EQ(r.last("volume", 1), 0.0f);
    EXPECT_EQ(r.last("volume", 5), 0.0f);
    EXPECT_EQ(player.channels[0].envelope, 0.0f);
    for (const Call& c : r.calls) EXPECT_TRUE(std::isfinite(c.value)) << c.op << c.channel;
}

// ---- envelopes ----

TEST_F(PlayerTick, Volume8WithEnv1FallsAnEighthATickAndIsSilentAfter8Ticks) {
    instrument(1, {4, 0, 0, 0, 1, 0, 0, 0});
    cell(1, 0, U'y', U'8');
    skipToRow();
    std::vector<float> volumes;
    for (int i = 0; i < 10; ++i) volumes.push_back(tickOnce().last("volume", 1));
    EXPECT_EQ(volumes, (std::vector<float>{0.875f, 0.75f, 0.625f, 0.5f, 0.375f, 0.25f, 0.125f,
                                           0.0f, 0.0f, 0.0f}));
}

TEST_F(PlayerTick, Volume9WithEnv1SustainsAtTheRemainingLevel) {
    instrument(1, {4, 0, 0, 0, 1, 0, 0, 0});
    cell(1, 0, U'y', U'9');
    skipToRow();
    float v = 0;
    for (int i = 0; i < 12; ++i) v = tickOnce().last("volume", 5);
    EXPECT_FLOAT_EQ(v, 0.125f);
    EXPECT_EQ(player.channels[0].envelope, 1.0f);
}

TEST_F(PlayerTick, EnvelopeToPitchLowersTheRateByTheEnvelope) {
    instrument(1, {4, 0, 3, 0, 2, 0, 0, 0});   // E2P 3, ENV 2
    cell(1, 0, U'y', U'F');
    skipToRow();
    tickOnce();
    Recorder r = tickOnce();                    // envelope 2 x 0.0625
    EXPECT_FLOAT_EQ(r.last("rate", 1), 1.0f - 3 * 0.125f);
    EXPECT_FLOAT_EQ(r.last("rate", 5), 1.0f - 3 * 0.125f);
}

// ---- arpeggio ----

TEST_F(PlayerTick, ArpeggioSpd2Amt15Plays0_0_4_4_7_7Repeating) {
    instrument(1, {4, 0, 0, 15, 255, 2, 4, 7});
    cell(1, 0, U'y', U'F');
    skipToRow();
    std::vector<float> rates;
    for (int i = 0; i < 12; ++i) rates.push_back(tickOnce().last("rate", 1));
    expectRates(rates, {0, 0, 4, 4, 7, 7, 0, 0, 4, 4, 7, 7});
}

TEST_F(PlayerTick, ArpeggioWithRptHoldsTheBaseNoteAfterOneCycle) {
    instrument(1, {4, 0, 16, 15, 255, 2, 4, 7});   // RPT 1, E2P 0
    cell(1, 0, U'y', U'F');
    skipToRow();
    std::vector<float> rates;
    for (int i = 0; i < 14; ++i) rates.push_back(tickOnce().last("rate", 1));
    expectRates(rates, {0, 0, 4, 4, 7, 7, 0, 0, 0, 0, 0, 0, 0, 0});
}

// ---- detune, slides, rates ----

TEST_F(PlayerTick, TheSecondVoiceSwingsAroundTheMainRateByPwmOver800) {
    instrument(1, {1, 40, 0, 2 * 16, 255, 0, 0, 0});   // PWM 40, SWP 2: period 6
    cell(1, 0, U'y', U'F');
    skipToRow();
    std::vector<float> offsets;
    for (int i = 0; i < 12; ++i) {
        Recorder r = tickOnce();
        offsets.push_back(r.last("rate", 5) - r.last("rate", 1));
    }
    const float up = 40 / 800.0f, down = -up;
    // Counter 1, 2 below 3: up; 3 leaves it; 4, 5, 6 down; 6 restarts the count.
    std::vector<float> expected{up, up, up, down, down, down, up, up, up, down, down, down};
    ASSERT_EQ(offsets.size(), expected.size());
    for (size_t i = 0; i < offsets.size(); ++i) EXPECT_NEAR(offsets[i], expected[i], 1e-6) << i;
}

TEST_F(PlayerTick, AShortSwingKeepsItsDirectionAtTheHalfwayCount) {
    instrument(1, {1, 80, 0, 1 * 16, 255, 0, 0, 0});   // SWP 1: period 3, halfway 1
    cell(1, 0, U'y', U'F');
    skipToRow();
    std::vector<float> offsets;
    for (int i = 0; i < 7; ++i) {
        Recorder r = tickOnce();
        offsets.push_back(r.last("rate", 5) - r.last("rate", 1));
    }
    // The first count is halfway and keeps the direction of the ticks before (up: no
    // swing on instrument 0); after that the count never falls below halfway again,
    // so the swing stays down.
    const float up = 80 / 800.0f, down = -up;
    std::vector<float> expected{up, down, down, down, down, down, down};
    for (size_t i = 0; i < offsets.size(); ++i) EXPECT_NEAR(offsets[i], expected[i], 1e-6) << i;
}

TEST_F(PlayerTick, SlidesMoveTheRateByTheVolumeDigitEachTick) {
    instrument(1, {4, 0, 0, 0, 255, 0, 0, 0});
    cell(1, 0, U'y', U'8');
    cell(1, 1, U'+', U'4');   // down by 4 x 0.005 a tick
    cell(1, 2, U'#', U'2');   // up by 2 x 0.005 a tick
    skipToRow();
    tickOnce();
    skipToRow();
    size_t starts = 0;
    std::vector<float> down, up;
    for (int i = 0; i < 4; ++i) {
        Recorder r = tickOnce();
        down.push_back(r.last("rate", 1));
        starts += r.only("play").size();
    }
    for (int i = 0; i < 4; ++i) {
        Recorder r = tickOnce();
        up.push_back(r.last("rate", 1));
        starts += r.only("play").size();
    }
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(down[i], 1.0f - 0.02f * (i + 1), 1e-5) << i;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(up[i], down[3] + 0.01f * (i + 1), 1e-5) << i;
    EXPECT_EQ(starts, 0u) << "slide rows start nothing";
}

TEST_F(PlayerTick, RatesFollowTheLatchedOctaveAndNote) {
    instrument(1, {4, 0, 0, 0, 255, 0, 0, 0});
    cell(1, 0, U'q', U'8', U'1', U'2');   // C-4: factor 2
    cell(2, 0, U'y', U'8', U'1', U'3');   // C-4 through the octave digit
    cell(3, 0, U'p', U'8', U'1', U'3');   // semitone 40 still plays
    skipToRow();
    Recorder r = tickOnce();
    EXPECT_EQ(r.last("rate", 1), rateOf(12));   // an octave: 2.0000012
    EXPECT_EQ(r.last("rate", 2), rateOf(12));
    EXPECT_EQ(r.last("rate", 3), rateOf(40));
    EXPECT_EQ(r.only("play").size(), 6u);
}

// ---- loading the copy ----

// The hand-off file read through a real host (data folder in a temp folder) and
// samples loaded on a loopback device.
class LoadIntoPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("data/songs"));
        std::filesystem::create_symlink(std::string(TAMO_SOURCE_DIR) + "/data/wav", dir.file("data/wav"));
        host.setDataRoot(widen(dir.path()));
    }
    void writeHandOff(const String& text) {
        std::ofstream(dir.file("data/songs/tmp.dat"), std::ios::binary) << encodeUtf8(text);
    }

    TempDir dir;
    VXGlfwGame host;
    gxtkAudio device{AudioLoopback{}, 44100};
    c_tamoPlay player;
};

TEST_F(LoadIntoPlayer, ReadsTheHandOffFileAndReloadsTheSamples) {
    Song song;
    song.clear();
    song.songLength = 64;
    song.orderList[1] = 2;
    song.trackColumns[noteColumn(3)].set(2 * 32 + 7, U'q');
    String text = writeSong(song);
    text[5] = 0;   // a stored speed of 0 plays at speed 5
    writeHandOff(text);

    EXPECT_TRUE(player.loadIntoPlayer(U"songs/tmp.dat"));
    EXPECT_EQ(player.speed, 5.0f);
    EXPECT_EQ(player.song.songLength, 64);
    EXPECT_EQ(player.song.orderList[1], 2);
    EXPECT_EQ(player.song.cell(noteColumn(3), 2 * 32 + 7), U'q');
    EXPECT_EQ(player.song.cell(noteColumn(3), 8191), U'.');
    std::array<const c_Sound*, kWaveSamples> first;
    for (int i = 0; i < kWaveSamples; ++i) {
        ASSERT_TRUE(player.waveSamples[i]) << narrow(kWaveFiles[i]);
        first[i] = player.waveSamples[i].get();
    }
    auto kept = player.waveSamples[0];   // keeps the old sample alive: a new one cannot share its address
    EXPECT_TRUE(player.loadIntoPlayer(U"songs/tmp.dat"));
    EXPECT_NE(player.waveSamples[0].get(), first[0]) << "samples are loaded again";
}

TEST_F(LoadIntoPlayer, AMissingOrCutFileKeepsThePreviousCopy) {
    Song song;
    song.clear();
    song.speed = 7;
    song.trackColumns[noteColumn(1)].set(0, U'w');
    writeHandOff(writeSong(song));
    ASSERT_TRUE(player.loadIntoPlayer(U"songs/tmp.dat"));
    EXPECT_EQ(player.speed, 7.0f);

    std::filesystem::remove(dir.file("data/songs/tmp.dat"));
    EXPECT_FALSE(player.loadIntoPlayer(U"songs/tmp.dat"));
    String cut = writeSong(Song());
    writeHandOff(cut.substr(0, cut.size() / 2));
    EXPECT_FALSE(player.loadIntoPlayer(U"songs/tmp.dat"));
    EXPECT_EQ(player.speed, 7.0f);
    EXPECT_EQ(player.song.cell(noteColumn(1), 0), U'w');
    EXPECT_TRUE(player.waveSamples[7]) << "the samples are reloaded even so";
}

}  // namespace
