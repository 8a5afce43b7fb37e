// gxtkAudio: the device, its 33 channels and the application's audio functions.
//
// Sections:
//   [start-up]   output device with fallbacks, loopback device, context, teardown
//   [sources]    lazy sources and the take-over from a stopped channel
//   [channels]   play, stop, pause, resume, state, volume, pan, rate, music
//   [suspend]    suspend and resume of the audibly playing channels
//   [rest]       pausing the output's mixer while nothing sounds
//   [samples]    loading and the discarded buffer flush
//   [api]        the free functions on audioDevice
#include "audio/audio.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/output_config.h"
#include "audio/sound.h"
#include "host/datapath.h"
#include "host/errors.h"
#include "host/game.h"

gxtkAudio* audioDevice = nullptr;

namespace {

ALCdevice* alcDevice(void* d) { return static_cast<ALCdevice*>(d); }

ALint sourceState(uint32_t source) {
    ALint state = AL_INITIAL;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    return state;
}

}  // namespace

// ---- [start-up] ----

gxtkAudio::gxtkAudio() {
    audioDevice = this;
    openOutput();
    clearChannels();
    obtainSource(kMusicChannel);
}

gxtkAudio::gxtkAudio(AudioLoopback, int hertz) {
    audioDevice = this;
    openLoopback(hertz);
    clearChannels();
    obtainSource(kMusicChannel);
}

// The tracker's short mixing period, unless the user chose one (output_config.h).
static void chooseOwnPeriod() {
    VXGame* host = VXGame::current();
    if (host) chooseOutputConfig(narrow(host->mapDataPath(toDataPath(U"alsoft.conf"))));
}

void gxtkAudio::openOutput() {
    chooseOwnPeriod();
    ALCdevice* device = alcOpenDevice(nullptr);
    if (!device) device = alcOpenDevice("Generic Hardware");
    if (!device) device = alcOpenDevice("Generic Software");
    device_ = device;
    if (!device) {
        printLine(U"OpenAl error: alcOpenDevice failed");
        return;
    }
    // No effect sends: nothing here uses them, and a context made without them leaves
    // out the send state of each of its 256 voices (about 0.8 MiB).
    const ALCint attributes[] = {ALC_MAX_AUXILIARY_SENDS, 0, 0};
    startContext(attributes);
    if (current_) findRest(device);
}

// OpenAL Soft's wave writer is a capture, not a sound device: after a pause it leaves
// its file position inside the header it has just mended, so the samples of the next
// run overwrite the header. A capture therefore never rests.
static bool canRest(ALCdevice* device) {
    const char* name = alcGetString(device, ALC_ALL_DEVICES_SPECIFIER);   // its own full name
    if (name && std::strcmp(name, "Wave File Writer") == 0) return false;
    return alcIsExtensionPresent(device, "ALC_SOFT_pause_device");
}

void gxtkAudio::findRest(void* device) {
    ALCdevice* alc = alcDevice(device);
    if (!canRest(alc)) return;
    pauseDevice_ = reinterpret_cast<void (*)(void*)>(alcGetProcAddress(alc, "alcDevicePauseSOFT"));
    resumeDevice_ = reinterpret_cast<void (*)(void*)>(alcGetProcAddress(alc, "alcDeviceResumeSOFT"));
    if (!pauseDevice_ || !resumeDevice_) pauseDevice_ = resumeDevice_ = nullptr;
}

// A loopback device mixes only inside render(). It mixes in float and render()
// rounds to 16 bits itself: OpenAL's own 16-bit output adds dither noise and a
// limiter, and the renderer must be exact (silence is 0, levels are the gains).
int gxtkAudio::periodFrames() const {
    if (!device_ || loopback_) return 0;
    ALCint refresh = 0, frequency = 0;
    alcGetIntegerv(alcDevice(device_), ALC_REFRESH, 1, &refresh);
    alcGetIntegerv(alcDevice(device_), ALC_FREQUENCY, 1, &frequency);
    return refresh > 0 ? frequency / refresh : 0;
}

int gxtkAudio::outputHertz() const {
    ALCint frequency = 0;
    if (device_) alcGetIntegerv(alcDevice(device_), ALC_FREQUENCY, 1, &frequency);
    return frequency;
}

void gxtkAudio::openLoopback(int hertz) {
    loopback_ = true;
    hertz_ = hertz;
    if (alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
        auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
            alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        auto supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
            alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
        renderSamples_ = reinterpret_cast<void (*)(void*, void*, int)>(
            alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
        ALCdevice* device = open && supported && renderSamples_ ? open(nullptr) : nullptr;
        if (device && !supported(device, hertz, ALC_STEREO_SOFT, ALC_FLOAT_SOFT)) {
            alcCloseDevice(device);
            device = nullptr;
        }
        device_ = device;
    }
    if (!device_) {
        renderSamples_ = nullptr;
        printLine(U"OpenAl error: alcOpenDevice failed");
        return;
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY, hertz,
                                 ALC_HRTF_SOFT, ALC_FALSE,
                                 ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE,
                                 ALC_MAX_AUXILIARY_SENDS, 0, 0};
    startContext(attributes);
}

void gxtkAudio::startContext(const int* attributes) {
    ALCcontext* context = alcCreateContext(alcDevice(device_), attributes);
    context_ = context;
    if (!context) {
        printLine(U"OpenAl error: alcCreateContext failed");
        return;
    }
    current_ = alcMakeContextCurrent(context) == ALC_TRUE;
    if (!current_) printLine(U"OpenAl error: alcMakeContextCurrent failed");
    // Sources are not attenuated by distance: the position set by setPan only steers.
    alDistanceModel(AL_NONE);
}

void gxtkAudio::clearChannels() {
    for (auto& c : channels_) c = gxtkChannel();
}

// Teardown, so a test or a tool can open a fresh device: sources go first (that
// detaches every buffer), then the discarded buffers, then context and device.
gxtkAudio::~gxtkAudio() {
    ALCcontext* other = alcGetCurrentContext();   // another device's, kept current after
    if (current_) alcMakeContextCurrent(static_cast<ALCcontext*>(context_));
    for (auto& c : channels_) {
        if (c.source != 0 && current_) {
            alSourceStop(c.source);
            alDeleteSources(1, &c.source);
        }
        c = gxtkChannel();   // may discard samples held only by the channel
    }
    if (current_)
        for (uint32_t name : discardedBuffers()) alDeleteBuffers(1, &name);
    endAudioGeneration();
    if (context_) {
        alcMakeContextCurrent(other != context_ ? other : nullptr);
        alcDestroyContext(static_cast<ALCcontext*>(context_));
    }
    if (device_) alcCloseDevice(alcDevice(device_));
    if (audioDevice == this) audioDevice = nullptr;
}

bool gxtkAudio::isLoopback() const { return loopback_; }
bool gxtkAudio::isOpen() const { return current_; }
int gxtkAudio::hertz() const { return hertz_; }

// Exactly `frames` frames, mixed in blocks through one scratch buffer that is
// allocated once; each sample is rounded to nearest and clamped to 16 bits.
void gxtkAudio::render(int16_t* interleavedStereo, int frames) {
    if (frames <= 0) return;
    mix_.resize(kMixFrames * 2);
    for (int done = 0; done < frames;) {
        int n = std::min(frames - done, kMixFrames);
        render(mix_.data(), n);
        int16_t* out = interleavedStereo + size_t(done) * 2;
        for (int i = 0; i < n * 2; ++i) out[i] = pcm16(mix_[i]);
        done += n;
    }
}

void gxtkAudio::render(float* interleavedStereo, int frames) {
    if (frames <= 0) return;
    if (!loopback_ || !renderSamples_ || !current_) {
        std::fill(interleavedStereo, interleavedStereo + size_t(frames) * 2, 0.0f);
        return;
    }
    renderSamples_(device_, interleavedStereo, frames);
}

// ---- [sources] ----

// The channel's source, got on first use; 0 when OpenAL has none and no stopped
// channel can give one up.
uint32_t gxtkAudio::obtainSource(int channel) {
    gxtkChannel& c = channels_[channel];
    if (c.source != 0) return c.source;
    alGetError();
    ALuint name = 0;
    alGenSources(1, &name);
    if (alGetError() == AL_NO_ERROR && name != 0) {
        c.source = name;
        return name;
    }
    c.source = 0;
    c.source = takeStoppedSource();
    return c.source;
}

// The source of the lowest-numbered sample channel that holds one and is stopped.
uint32_t gxtkAudio::takeStoppedSource() {
    for (int i = 0; i < kMusicChannel; ++i) {
        gxtkChannel& other = channels_[i];
        if (other.source != 0 && getChannelState(i) == 0) {
            uint32_t name = other.source;
            other.source = 0;
            return name;
        }
    }
    return 0;
}

bool gxtkAudio::sourceStopped(uint32_t source) const { return sourceState(source) == AL_STOPPED; }

// ---- [channels] ----

// Cuts whatever the channel played; gain, pitch and position stay on the source.
int gxtkAudio::playSample(const std::shared_ptr<gxtkSample>& sample, int channel, int flags) {
    flushDiscarded();
    uint32_t source = obtainSource(channel);
    if (source == 0) return -1;
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, sample ? ALint(sample->buffer) : 0);
    alSourcei(source, AL_LOOPING, flags != 0 ? AL_TRUE : AL_FALSE);
    alSourcePlay(source);
    gxtkChannel& c = channels_[channel];
    c.sample = sample;
    c.flags = flags;
    c.state = 1;
    wake();
    return 0;
}

// The sample reference stays until the next start replaces it.
void gxtkAudio::stopChannel(int channel) {
    gxtkChannel& c = channels_[channel];
    if (c.state == 0) return;
    alSourceStop(c.source);
    c.state = 0;
}

void gxtkAudio::pauseChannel(int channel) {
    gxtkChannel& c = channels_[channel];
    if (c.state != 1) return;
    if (sourceStopped(c.source)) {
        c.state = 0;   // the sound had already ended
        return;
    }
    alSourcePause(c.source);
    c.state = 2;
}

void gxtkAudio::resumeChannel(int channel) {
    gxtkChannel& c = channels_[channel];
    if (c.state != 2) return;
    alSourcePlay(c.source);
    c.state = 1;
    wake();
}

int gxtkAudio::getChannelState(int channel) {
    gxtkChannel& c = channels_[channel];
    if (c.state == 1 && sourceStopped(c.source)) c.state = 0;
    return c.state;
}

void gxtkAudio::setVolume(int channel, float volume) {
    alSourcef(obtainSource(channel), AL_GAIN, volume);
    if (volume > 0 && channels_[channel].state == 1) wake();
}

void gxtkAudio::setPan(int channel, float pan) {
    alSource3f(obtainSource(channel), AL_POSITION, std::sin(pan), 0.0f, -std::cos(pan));
}

void gxtkAudio::setRate(int channel, float rate) { alSourcef(obtainSource(channel), AL_PITCH, rate); }

// The whole file is decoded into one buffer; there is no streaming.
int gxtkAudio::playMusic(const String& path, int flags) {
    stopChannel(kMusicChannel);
    std::shared_ptr<gxtkSample> sample = loadSample(path);
    if (!sample) return -1;
    playSample(sample, kMusicChannel, flags);
    return 0;
}

// ---- [suspend] ----

// Pauses the sources of audibly playing channels; their recorded state stays 1.
void gxtkAudio::suspend() {
    for (auto& c : channels_)
        if (c.state == 1 && sourceState(c.source) == AL_PLAYING) alSourcePause(c.source);
}

// Restarts what suspend paused; channels paused by pauseChannel (state 2) stay.
void gxtkAudio::resume() {
    for (auto& c : channels_)
        if (c.state == 1 && sourceState(c.source) == AL_PAUSED) alSourcePlay(c.source);
    wake();
}

// ---- [rest] ----

// A channel is audible while its source plays at a gain above 0.
bool gxtkAudio::anyAudible() const {
    for (const auto& c : channels_) {
        if (c.state != 1 || sourceState(c.source) != AL_PLAYING) continue;
        float gain = 0;
        alGetSourcef(c.source, AL_GAIN, &gain);
        if (gain > 0) return true;
    }
    return false;
}

void gxtkAudio::rest() {
    if (resting_ || !pauseDevice_) return;
    quietCalls_ = anyAudible() ? 0 : quietCalls_ + 1;
    if (quietCalls_ < kQuietCalls) return;
    pauseDevice_(device_);
    resting_ = true;
}

// The sources are set before the mixer resumes, so its first period already has them.
void gxtkAudio::wake() {
    quietCalls_ = 0;
    if (!resting_) return;
    resumeDevice_(device_);
    resting_ = false;
}

// ---- [samples] ----

std::shared_ptr<gxtkSample> gxtkAudio::loadSample(const String& path) {
    flushDiscarded();
    auto sample = std::make_shared<gxtkSample>();
    if (!loadSampleInto(*sample, path)) return nullptr;
    return sample;
}

int gxtkAudio::loadSampleInto(gxtkSample& sample, const String& path) {
    std::optional<DecodedSound> sound = loadAudioFile(path);
    if (!sound) return 0;
    sample.upload(*sound);
    return 1;
}

// Buffers still attached to a source cannot be deleted; finished sources let theirs
// go first. Names that still fail wait for the next flush, in their order.
void gxtkAudio::flushDiscarded() {
    std::vector<uint32_t>& list = discardedBuffers();
    if (list.empty()) return;
    for (auto& c : channels_)
        if (c.state != 0 && sourceStopped(c.source)) alSourcei(c.source, AL_BUFFER, 0);
    std::vector<uint32_t> kept;
    for (uint32_t name : list) {
        alGetError();
        alDeleteBuffers(1, &name);
        if (alGetError() != AL_NO_ERROR) kept.push_back(name);
    }
    list.swap(kept);
}

// ---- [api] ----

void playSound(const c_Sound* sound, int channel, int flags) {
    if (audioDevice && sound && sound->sample) audioDevice->playSample(sound->sample, channel, flags);
}

void stopChannel(int channel) {
    if (audioDevice) audioDevice->stopChannel(channel);
}

void setChannelVolume(int channel, float volume) {
    if (audioDevice) audioDevice->setVolume(channel, volume);
}

void setChannelRate(int channel, float rate) {
    if (audioDevice) audioDevice->setRate(channel, rate);
}
