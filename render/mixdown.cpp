// One pass of tamo-render over a song: passes, fade, muted channels, gain.
#include "render/mixdown.h"

#include <cmath>
#include <vector>

#include "audio/audio.h"

namespace {

// Frames of tick `tick` (counted from 0) at `rate`: the whole frames between its
// start and the next tick's start.
int framesOfTick(long long tick, int rate) {
    return int((tick + 1) * rate / 50 - tick * rate / 50);
}

class Mixer {
public:
    Mixer(gxtkAudio& device, const MixPlan& plan, const std::function<bool(const float*, int)>& sink)
        : device_(device), plan_(plan), sink_(sink),
          fadeFrames_(std::llround(plan.fadeSeconds * plan.rate)),
          block_(size_t(framesOfTick(0, plan.rate) + 1) * 2) {}

    // After one player tick with `passes` passes complete: mixes the tick, hands it
    // on, and says whether to go on.
    bool tick(int passes) {
        const bool fading = passesBefore_ >= plan_.loops;
        passesBefore_ = passes;
        int n = framesOfTick(ticks_++, plan_.rate);
        device_.render(block_.data(), n);
        if (fading) n = fade(n);
        else if (plan_.gain != 1.0f) scale(n);
        if (plan_.measurePeak) measure(n);
        if (n > 0 && !sink_(block_.data(), n)) {
            result.sinkFailed = true;
            return false;
        }
        result.frames += n;
        if (fading) return faded_ < fadeFrames_;
        return passes < plan_.loops || fadeFrames_ > 0;
    }

    MixResult result;

private:
    void scale(int n) {
        for (int i = 0; i < n * 2; ++i) block_[i] *= plan_.gain;
    }

    // Applies the falling level to the first `n` frames, fewer where the fade ends.
    int fade(int n) {
        n = int(std::min<long long>(n, fadeFrames_ - faded_));
        for (int f = 0; f < n; ++f, ++faded_) {
            float level = plan_.gain * float(1.0 - double(faded_) / double(fadeFrames_));
            block_[2 * f] *= level;
            block_[2 * f + 1] *= level;
        }
        return n;
    }

    void measure(int n) {
        float peak = result.peak;
        for (int i = 0; i < n * 2; ++i) peak = std::max(peak, std::fabs(block_[i]));
        result.peak = peak;
    }

    gxtkAudio& device_;
    const MixPlan& plan_;
    const std::function<bool(const float*, int)>& sink_;
    const long long fadeFrames_;
    std::vector<float> block_;     // one tick's frames
    long long ticks_ = 0;          // sounding ticks so far
    long long faded_ = 0;          // frames of the fade so far
    int passesBefore_ = 0;         // passes complete before the current tick
};

}  // namespace

MixResult mixDown(c_tamoPlay& player, gxtkAudio& device, const MixPlan& plan,
                  const std::function<bool(const float*, int)>& sink) {
    for (int c = 0; c < kChannels; ++c) player.channelEnable[c] = plan.channels[c];
    Mixer mixer(device, plan, sink);
    mixer.result.play =
        playPasses(player, plan.maxPassTicks, [&](int passes) { return mixer.tick(passes); });
    mixer.result.play.sinkFailed = mixer.result.sinkFailed;
    return mixer.result;
}
