#pragma once
// render/: the export program tamo-render over the tracker's core: options, mixdown,
// sound files.
//
// One pass of tamo-render over a song: the player on the loopback device, as many
// times through the song's loop as asked, then a fade, with some channels muted and a
// gain applied, handed on as float stereo frames (full scale 1.0).
//
//   pass:    from position 0 until playback would read position 0 again
//   tick:    rate / 50 frames; at a rate that is not a multiple of 50 the ticks take
//            turns in whole frames so that every second holds exactly `rate` frames
//   fade:    after the last pass playback goes on into the next one while the level
//            falls linearly from 1 to 0 over the fade's frames; the render ends there
#include <array>
#include <functional>

#include "tracker/core/player.h"

class gxtkAudio;

struct MixPlan {
    int loops = 1;                                      // passes before the fade
    double fadeSeconds = 0;
    int rate = kRenderHertz;                            // the device's rate
    std::array<float, kChannels> channels{1, 1, 1, 1};  // 1 sounds, 0 muted
    float gain = 1;                                     // applied to every frame
    int maxPassTicks = 60 * 60 * 50;                    // a pass never longer than an hour
    bool measurePeak = false;                           // fill MixResult::peak
};

struct MixResult {
    RenderSummary play;
    long long frames = 0;       // frames handed to the sink
    float peak = 0;             // largest |sample| handed on (after gain and fade), if measured
    bool sinkFailed = false;
};

// Plays `player`'s song copy on `device` (a loopback device at plan.rate) as planned;
// `sink` takes each block of frames and returns false to stop (a write error).
MixResult mixDown(c_tamoPlay& player, gxtkAudio& device, const MixPlan& plan,
                  const std::function<bool(const float*, int)>& sink);
