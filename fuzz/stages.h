#pragma once
// Checks that take outside bytes further than a reader: into an OpenAL buffer that is
// mixed, through the player for 1,500 ticks, and through the tracker's own LOAD. Each
// builds what it needs once per process (a loopback device; a host with a data folder
// in a temporary directory and the tracker started on it) and reuses it, so the fuzz
// targets stay fast; an input never depends on the one before it.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "audio/audio.h"
#include "audio/sample.h"
#include "host/delegate.h"
#include "host/game.h"
#include "host/input.h"
#include "tracker/app/app.h"
#include "tracker/core/player.h"
#include "tracker/core/songfile.h"

namespace fuzzstage {

inline void writeBytes(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

// A loopback device of OpenAL Soft, made once.
inline gxtkAudio& loopback() {
    static gxtkAudio device(AudioLoopback{}, 44100);
    return device;
}

// The harness's own code gets no coverage: its branches are not the system's, and
// tracing them cost more than the player's tick.
#if defined(__clang__)
#define FUZZ_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_NO_COVERAGE
#endif

// Every volume and rate the player sends: finite, and only to audio channels 1..8.
class FiniteOut : public ChannelOut {
public:
    bool sound = true;
    FUZZ_NO_COVERAGE void stop(int channel) override { onChannel(channel); }
    FUZZ_NO_COVERAGE void play(const c_Sound*, int channel, int) override { onChannel(channel); }
    FUZZ_NO_COVERAGE void setVolume(int channel, float volume) override {
        onChannel(channel);
        if (!std::isfinite(volume)) sound = false;
    }
    FUZZ_NO_COVERAGE void setRate(int channel, float rate) override {
        onChannel(channel);
        if (!std::isfinite(rate)) sound = false;
    }

private:
    FUZZ_NO_COVERAGE void onChannel(int channel) {
        if (channel < 1 || channel > 8) sound = false;
    }
};

// The tracker on a host whose data folder is a fresh temporary one: the repository's
// font, buttons and waves linked in, an empty "songs" folder, no window. Made once;
// the folder goes when the process ends.
class TrackerStage {
public:
    TrackerStage() {
        char pattern[] = "/tmp/tamo-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        root_ = pattern;
        namespace fs = std::filesystem;
        fs::path data = fs::path(root_) / "data";
        fs::create_directories(data / "songs");
        for (const char* name : {"glimfont.png", "glim_font.png", "button1.png", "button_navrow.png", "wav"})
            fs::create_symlink(fs::path(TAMO_SOURCE_DIR) / "data" / name, data / name);
        setenv("ALSOFT_DRIVERS", "null", 0);
        host_.setDataRoot(widen(root_));
        app_ = std::make_unique<c_SoundEngine>();
        host_.runStart();
        Song empty;
        empty.clear();
        baseline_ = encodeUtf8(writeSong(empty));
    }
    ~TrackerStage() {
        app_.reset();
        std::filesystem::remove_all(root_);
    }

    c_SoundEngine& app() { return *app_; }
    std::string songPath(const char* name) const { return root_ + "/data/songs/" + name; }

    // LOAD of the song file `name` as a user does it: the name typed, F12, then the
    // updates after which the screen repaints its whole layout, and that repaint.
    void load(const char* name) {
        loadOnly(name);
        host_.runRender();
    }
    // Brings the tracker back to the same state before each input: the empty song
    // loaded the same way, without its repaint (nothing of the reset is checked). No
    // print of a shown screen is kept, so the input's repaint always draws in full.
    void reset() {
        writeBytes(songPath("base.dat"), reinterpret_cast<const uint8_t*>(baseline_.data()),
                   baseline_.size());
        loadOnly("base.dat");
        app_->shownPrint = {};
    }
    // A left click at (x, y) and one update.
    void click(float x, float y) {
        host_.postMouseEvent(c_VXGameEvent::MouseDown, 0, x, y, 0);
        host_.postMouseEvent(c_VXGameEvent::MouseUp, 0, x, y, 0);
        host_.runUpdate();
    }

private:
    void loadOnly(const char* name) {
        app_->fileName = widen(name);
        host_.postKeyEvent(c_VXGameEvent::KeyDown, Key::F12);
        host_.postKeyEvent(c_VXGameEvent::KeyUp, Key::F12);
        for (int i = 0; i < 3; ++i) host_.runUpdate();
    }

    std::string root_;
    std::string baseline_;
    VXGlfwGame host_;
    std::unique_ptr<c_SoundEngine> app_;
};

inline TrackerStage& tracker() {
    static TrackerStage stage;
    return stage;
}

// Everything of the player that the ticks to come depend on besides the song it
// plays, word by word (a float by its bits), so two equal states send the same calls
// from there on. Three counters only ever grow or start again at 0, and past the
// largest value any of the song's instruments 0..15 compares them with they act
// alike: they are kept at most one above it. The count of passes is left out, as no
// tick reads it, and so is each voice's last rate factor, which only saves a power.
static_assert(sizeof(Voice) == 44 && sizeof(ChannelState) == 60 && sizeof(c_tamoPlay) == 3976,
              "a new field of the player must join playerState");

class PlayerState {
public:
    explicit PlayerState(const c_tamoPlay& player) {
        int arpeggio = 0, swing = 0;
        for (int n = 0; n < 16; ++n) {
            Instrument instrument = Instrument::of(player.played(), n);
            arpeggio = std::max(arpeggio, 3 * instrument.arpeggioSpeed());
            swing = std::max(swing, instrument.swingPeriod());
        }
        add(player.speed, player.tick, player.playPosition, player.patternBase, player.playRow,
            player.lentChannel, player.source != nullptr);
        for (int i = 0; i < kChannels; ++i) {
            const ChannelState& c = player.channels[i];
            add(c.envelope, c.bendAmount, c.bendLevel, c.arpeggioOffset,
                std::min(c.arpeggioStep, arpeggio + 1), std::min(c.noteTicks, arpeggio + 1),
                std::min(c.swingCounter, swing + 1), c.swingDirection, c.detuneDepth);
            add(c.rowNote, c.lastRowNote, c.playingNote, c.slide);
            add(player.channelEnable[i], player.rowInstrument[i], player.channelVolume[i],
                player.rowOctave[i], player.channelInstrument[i], player.channelOctave[i]);
            add(player.mainSample[i].get(), player.secondSample[i].get());
        }
    }
    bool operator==(const PlayerState& other) const { return words_ == other.words_; }

private:
    template <class... T> void add(T... values) { (word(values), ...); }
    void word(int v) { words_.push_back(uint64_t(uint32_t(v))); }
    void word(bool v) { words_.push_back(v); }
    void word(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        words_.push_back(bits);
    }
    void word(const void* p) { words_.push_back(uint64_t(reinterpret_cast<uintptr_t>(p))); }
    std::vector<uint64_t> words_;
};

}  // namespace fuzzstage

// WAV bytes through the sample upload path: an accepted sound gets a buffer, plays
// looped on a loopback channel and is mixed.
inline bool checkUploadWav(const uint8_t* data, size_t size) {
    gxtkAudio& device = fuzzstage::loopback();
    auto sound = decodeSoundFile(U"fuzz.wav", data, size);
    if (!sound) return true;
    auto sample = std::make_shared<gxtkSample>();
    sample->upload(*sound);
    if (sample->buffer == 0) return false;
    device.playSample(sample, 0, 1);
    int16_t mixed[2 * 256];
    device.render(mixed, 256);
    device.stopChannel(0);
    return true;
}

// A song file's bytes played for 1,500 ticks (30 s) from position 0: every volume and
// rate the player sends is finite and goes to channels 1..8. Playback that comes back
// to position 0 in a state it had there before only repeats the ticks since, call for
// call, so the check ends there: nothing it would see is left unseen.
inline bool checkPlaySong(const uint8_t* data, size_t size) {
    fuzzstage::FiniteOut out;
    c_tamoPlay player;
    player.out = &out;
    static String decoded = scratchStorage();
    ScratchText text(decoded);
    decodeText(data, size, text.text());
    if (!player.takeSongText(text.done())) return true;
    std::vector<fuzzstage::PlayerState> atStart;   // after each return to position 0
    int passes = player.loopCount;
    for (int tick = 0; tick < 1500 && out.sound; ++tick) {
        player.playerTick();
        if (player.loopCount == passes) continue;
        passes = player.loopCount;
        fuzzstage::PlayerState now(player);
        if (std::find(atStart.begin(), atStart.end(), now) != atStart.end()) break;
        atStart.push_back(std::move(now));
    }
    return out.sound;
}

// LOAD as the tracker runs it, from a file in its songs folder: the answer is one of
// the two LOAD messages; a loaded song has the cells and the order list the song reader
// makes of the file (the order spinner may clamp the entry under the cursor, position
// 0), every column keeps 8192 cells, and an undo right after the load keeps the cells.
inline bool checkLoadSong(const uint8_t* data, size_t size) {
    fuzzstage::TrackerStage& stage = fuzzstage::tracker();
    stage.reset();
    fuzzstage::writeBytes(stage.songPath("fuzz.dat"), data, size);
    stage.load("fuzz.dat");
    c_SoundEngine& app = stage.app();
    Song expected;
    expected.clear();
    static String decoded = scratchStorage();
    ScratchText text(decoded);
    decodeText(data, size, text.text());
    bool readable = readSong(text.done(), expected);
    if (app.status != (readable ? Status::FileLoaded : Status::FileNotFound)) return false;
    if (!readable) return true;
    if (app.song.trackColumns != expected.trackColumns) return false;
    if (!std::equal(app.song.orderList.begin() + 1, app.song.orderList.end(),
                    expected.orderList.begin() + 1))
        return false;
    stage.click(597, 346);   // UNDO
    return app.song.trackColumns == expected.trackColumns;
}
