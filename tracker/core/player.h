#pragma once
// The player: a frame-driven sequencer over a private copy of the song.
//
//   tick:     one call of playerTick, one 50 Hz update frame (20 ms)
//   row:      read every `speed` ticks; 32 rows make a pattern; "-" ends it early
//   position: index into the order list; after the last position (songLength / 32)
//             playback loops to position 0, and it never runs past position 255
//   voice:    tracker channel c (1..4) plays its main sample on audio channel c and its
//             second sample, detuned by PWM, on audio channel c + 4; one instrument
//             voice (voice.h) per channel computes its level and rates
//
// Every tick sets volume and rate of audio channels 1..8 (order 1,5,2,6,3,7,4,8); rows
// start and stop samples. PLAY's copy is loaded from the hand-off file "songs/tmp.dat"
// that the transport writes just before playback starts. Live play (the editor's loop
// and song-from-cursor) reads the edited song itself instead, through `source`, so an
// edit is heard the next time playback reaches it; it may lend one channel to the
// editor's note preview. Arithmetic is single precision
// but for the pitch power.
//
// The player owns its song copy and its eight samples. It does not own the audio
// device: every channel operation goes through a ChannelOut, the audio device's
// channels by default, so a test can record the exact calls of each tick.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "tracker/core/channels.h"
#include "tracker/core/song.h"
#include "tracker/core/voice.h"

class c_Sound;
class gxtkAudio;

// Per tracker channel playback state: the voice and what the rows gave it; zeroed
// at creation, kept between playbacks.
struct ChannelState : Voice {
    float rowNote = 0;          // noteValue of the row just read (0..28, 127..130, 255)
    float lastRowNote = 0;      // rowNote of the most recently completed row read
    float playingNote = 0;      // last note 0..28 read on the channel
    float slide = 0;            // accumulated slide, added to the rate factor
};

class c_tamoPlay {
public:
    c_tamoPlay();
    // Reloads the eight wave samples, then the song copy from the file at `path`; false
    // (copy untouched) when the file is missing or refused.
    bool loadIntoPlayer(const String& path);
    // Loads the eight wave samples again (index order), replacing the previous ones.
    void reloadSamples();
    // Replaces the song copy from a song file's text; false (copy untouched) when refused.
    bool takeSongText(const String& text);
    // One frame of playback.
    void playerTick();
    // True when the next playerTick reads a row.
    bool rowDue() const { return tick == speed; }
    // Stops c and c + 4, then starts `main` looped on c and `second` on c + 4 (when loaded).
    void startVoicePair(const c_Sound* main, int channel, const c_Sound* second);
    // A row's note on channel c: "<" stops the pair; a note 0..43 with volume > 0 starts it.
    void triggerNote(const c_Sound* main, float pitch, int channel, const c_Sound* second,
                     int volumeDigit, int octaveDigit);

    // Channel operations go here (not owned); the audio device by default.
    ChannelOut* out;

    // Song copy: empty columns until the first load (their cells read as empty cells).
    Song song;                                // columns, order list, instruments, songLength
    const Song* source = nullptr;             // the song played instead of the copy (live play)
    const Song& played() const { return source ? *source : song; }
    float speed = 4.0f;                       // frames per row (the copy's speed as float)
    std::array<std::shared_ptr<c_Sound>, kWaveSamples> waveSamples;  // none when missing

    // Playback position (set by the transport at each start).
    float tick = 0;                           // frames since the last row was read
    int playPosition = 0;                     // song position, 0..255
    int patternBase = 0;                      // orderList[playPosition] * 32
    int playRow = 0;                          // 0..31; 32 only inside one tick
    std::array<float, kChannels> channelEnable{1.0f, 1.0f, 1.0f, 1.0f};  // from the app
    int loopCount = 0;                        // times playback has wrapped to position 0
    int lentChannel = 0;                      // tracker channel 1..4 the note preview sounds
                                              // on, sent nothing until a row's note or note
                                              // off there takes it back; 0: none

    // Per channel (index 0..3 for tracker channels 1..4).
    std::array<ChannelState, kChannels> channels{};
    std::array<int, kChannels> rowInstrument{};      // instrument digit of the row just read
    std::array<float, kChannels> channelVolume{};    // volume digit x 0.125 x enable
    std::array<int, kChannels> rowOctave{};          // octave digit of the row just read
    std::array<std::shared_ptr<c_Sound>, kChannels> mainSample;    // from the last WAV
    std::array<std::shared_ptr<c_Sound>, kChannels> secondSample;  // from the last WAV
    std::array<int, kChannels> channelInstrument{};  // last non-zero instrument digit
    std::array<int, kChannels> channelOctave{};      // octave latched with channelInstrument

private:
    void readRow();
    void endRow();
    void sendLevels(const std::array<Instrument, kChannels>& instruments);
    void sendRates(const std::array<Instrument, kChannels>& instruments);
};

// ---- [once through] ----
// Playing a song once through into memory (the WAV export and its tests).

constexpr int kRenderHertz = 44100;
constexpr int kFramesPerTick = kRenderHertz / 50;   // 882 stereo frames per tick

struct RenderSummary {
    int ticks = 0;          // ticks rendered
    int rows = 0;           // rows read
    int passes = 0;         // times playback returned to position 0
    bool looped = false;    // playback returned to position 0 (false: stopped early)
    bool sinkFailed = false;  // the sink refused frames (a write error)
    double seconds() const { return ticks / 50.0; }
};

// Plays `player`'s song copy from position 0 for as long as `afterTick` wants: the
// ticks before the first row run without sound, then `afterTick` is called after each
// sounding tick with the passes completed so far (a pass ends where the next tick
// would read position 0 again) and returns false to stop. A pass that does not come
// back to position 0 within `maxPassTicks` ticks ends the play there.
RenderSummary playPasses(c_tamoPlay& player, int maxPassTicks,
                         const std::function<bool(int passes)>& afterTick);

// Plays the song once through on the loopback `device`, each tick followed by
// kFramesPerTick frames handed to `sink`, until the next tick would read position 0
// again (a looping song gives a seamless loop) or `maxTicks` ticks have sounded.
// `sink` returns false to stop early (a write error).
RenderSummary playOnceThrough(c_tamoPlay& player, gxtkAudio& device,
                              const std::function<bool(const int16_t*, int)>& sink,
                              int maxTicks);
