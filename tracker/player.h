#pragma once
// The player: a frame-driven sequencer over a private copy of the song.
//
//   tick:     one call of playerTick, one 50 Hz update frame (20 ms)
//   row:      read every `speed` ticks; 32 rows make a pattern; "-" ends it early
//   voice:    tracker channel c (1..4) plays its main sample on audio channel c and its
//             second sample, detuned by PWM, on audio channel c + 4
//
// Every tick sets volume and rate of audio channels 1..8 (order 1,5,2,6,3,7,4,8); rows
// start and stop samples. The copy is loaded from the hand-off file "songs/tmp.dat"
// that the transport writes just before playback starts, so the player never reads
// the editor's song. Arithmetic is single precision but for the pitch power.
// (The owner of the player completes this header; the public names are the contract.)
#include <array>
#include <memory>

#include "host/object.h"
#include "tracker/song.h"

class c_Sound;

class c_tamoPlay : public Object {
public:
    c_tamoPlay();
    // Reloads the eight wave samples, then the song copy from `path`: "1" or "Loading Failed!".
    String loadIntoPlayer(const String& path);
    void playerTick();

    // Song copy.
    Song song;
    float speed = 4.0f;                       // frames per row (the copy's speed as float)
    std::array<std::shared_ptr<c_Sound>, kWaveSamples> waveSamples;

    // Playback position (set by the transport at each start).
    float tick = 0;                           // frames since the last row was read
    int playPosition = 0;                     // song position, 0..255
    int patternBase = 0;                      // orderList[playPosition] * 32
    int playRow = 0;                          // 0..31; 32 only inside one tick
    std::array<float, kChannels> channelEnable{1.0f, 1.0f, 1.0f, 1.0f};  // from the app
};

// Stops audio channels 1, 2, 3, 4, 6, 5, 8, 7 in that order.
void stopAllChannels();
