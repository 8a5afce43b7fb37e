#pragma once
// audio/: the OpenAL driver over the host: channels, samples, the loopback device.
//
// gxtkAudio: the audio device, numbered playback channels over OpenAL.
//
//   channel:  0..31 sample channels, 32 the music channel; each owns at most one
//             OpenAL source, got on first use and then kept (another channel takes
//             it over only when OpenAL has no more sources and this one is stopped)
//   state:    0 stopped, 1 playing, 2 paused; a playing channel whose one-shot sound
//             has ended is seen as stopped the next time its state is examined
//   volume:   the OpenAL gain, 1.0 = as recorded; rate: the pitch, 2.0 = an octave up;
//             pan: an angle in radians, 0 centre, pi/2 fully right
//   values:   handed to OpenAL unchanged; they stay on the source for later starts
//
// The output device is the default one (with two named fallbacks). The loopback
// device mixes the same channels into memory, 16-bit stereo, only when render() is
// called: deterministic and faster than real time, for offline rendering and tests.
// It mixes in float and rounds to 16 bits itself (no dither, no limiter), so
// silence renders as 0 and levels follow the gains exactly.
// Rest: the output device's mixer pauses once no channel has been audible (playing
// at a gain above 0) for kQuietCalls calls of rest() in a row, so a tracker at rest
// costs no mixing; a start, a gain above 0 or a resume on any channel wakes it at
// once. A paused mixer does not advance its sources, which sound nothing meanwhile.
// The loopback device never rests (it mixes only inside render()), nor does OpenAL
// Soft's wave writer (a capture whose file a pause would break).
// Start-up problems print one line and the program runs on silently. Only this
// folder calls OpenAL; everything runs on the main thread (OpenAL mixes the output
// device on its own thread). Channel numbers are not range-checked.
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/sample.h"
#include "host/object.h"

struct AudioLoopback {};   // tag: open an OpenAL Soft loopback device instead of the output

struct gxtkChannel {
    uint32_t source = 0;                    // OpenAL source name, 0 while it has none
    std::shared_ptr<gxtkSample> sample;     // the sample last started (kept alive by it)
    int flags = 0;                          // flags of the last start; non-zero = looped
    int state = 0;                          // 0 stopped, 1 playing, 2 paused
};

class gxtkAudio : public Object {
public:
    static constexpr int kChannels = 33;        // 0..31 samples, 32 music
    static constexpr int kMusicChannel = 32;
    static constexpr int kQuietCalls = 100;     // quiet rest() calls before a rest (2 s of updates)

    gxtkAudio();
    // Renders into memory: 16-bit stereo at `hertz`, driven by render().
    gxtkAudio(AudioLoopback, int hertz = 44100);
    ~gxtkAudio() override;
    bool isLoopback() const;
    bool isOpen() const;    // a device and a current context exist
    int hertz() const;      // loopback output rate (0 for the output device)
    int periodFrames() const;   // the output device's mixing period, read back (0: none)
    int outputHertz() const;    // the device's mixing rate, read back (0: none)
    // Mixes `frames` stereo frames of what the channels play (loopback device only;
    // the output device leaves the block untouched).
    void render(int16_t* interleavedStereo, int frames);
    // The same mix before rounding: float, full scale at 1.0, nothing clamped.
    void render(float* interleavedStereo, int frames);

    virtual void suspend();
    virtual void resume();
    virtual std::shared_ptr<gxtkSample> loadSample(const String& path);
    virtual int loadSampleInto(gxtkSample& sample, const String& path);
    virtual int playSample(const std::shared_ptr<gxtkSample>& sample, int channel, int flags);
    virtual void stopChannel(int channel);
    virtual void pauseChannel(int channel);
    virtual void resumeChannel(int channel);
    virtual int getChannelState(int channel);
    virtual void setVolume(int channel, float volume);
    virtual void setPan(int channel, float pan);
    virtual void setRate(int channel, float rate);
    virtual int playMusic(const String& path, int flags);
    virtual void stopMusic() { stopChannel(kMusicChannel); }
    virtual void pauseMusic() { pauseChannel(kMusicChannel); }
    virtual void resumeMusic() { resumeChannel(kMusicChannel); }
    virtual int getMusicState() { return getChannelState(kMusicChannel); }
    virtual void setMusicVolume(float volume) { setVolume(kMusicChannel, volume); }

    // Called once per update: counts the calls in a row that found nothing audible and
    // pauses the output device's mixer at the kQuietCalls-th.
    void rest();
    bool resting() const { return resting_; }   // the mixer is paused

    // Deletes the discarded buffers no source holds any more (the rest wait).
    void flushDiscarded();
    // Read-only view of a channel record (tests and diagnostics).
    const gxtkChannel& channel(int c) const { return channels_[c]; }

private:
    void openOutput();
    void openLoopback(int hertz);
    void startContext(const int* attributes);
    void clearChannels();
    uint32_t obtainSource(int channel);
    uint32_t takeStoppedSource();
    bool sourceStopped(uint32_t source) const;
    void findRest(void* device);   // the pause and resume calls, where the device may rest
    bool anyAudible() const;
    void wake();   // resumes a resting mixer

    void* device_ = nullptr;    // ALCdevice*, none if no device opened
    void* context_ = nullptr;   // ALCcontext*
    bool loopback_ = false;
    bool current_ = false;      // the context was made current
    int hertz_ = 0;             // loopback output rate
    void (*renderSamples_)(void*, void*, int) = nullptr;   // alcRenderSamplesSOFT
    void (*pauseDevice_)(void*) = nullptr;    // alcDevicePauseSOFT, none: never rests
    void (*resumeDevice_)(void*) = nullptr;   // alcDeviceResumeSOFT
    bool resting_ = false;                    // the output's mixer is paused
    int quietCalls_ = 0;                      // rest() calls in a row that heard nothing
    static constexpr int kMixFrames = 1024;   // frames mixed per call into mix_
    std::vector<float> mix_;                  // float stereo scratch of the loopback mix
    gxtkChannel channels_[kChannels];
};

extern gxtkAudio* audioDevice;

// A float sample (full scale 1.0) as a 16-bit one: scaled by 32768, rounded to
// nearest (halves away from zero) and clamped, exactly as render() does it.
inline int16_t pcm16(float sample) {
    float v = sample * 32768.0f;
    v = v > 32767.0f ? 32767.0f : v < -32768.0f ? -32768.0f : v;
    return int16_t(v >= 0 ? int(v + 0.5f) : -int(0.5f - v));
}
