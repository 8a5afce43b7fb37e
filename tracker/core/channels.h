#pragma once
// The channel output the player and the editor's note preview share: every channel
// operation of the tracker goes through a ChannelOut, the audio device's channels by
// default, so a test can record the exact calls. Channels are the audio device's
// numbers; the tracker uses 1..8 (tracker channel c plays on c and c + 4).
class c_Sound;

// Where channel operations go. The default forwards to the
// application audio API (audio/sound.h); tests substitute a recorder.
class ChannelOut {
public:
    virtual ~ChannelOut() = default;
    virtual void stop(int channel);
    virtual void play(const c_Sound* sound, int channel, int flags);   // flags 1: looped
    virtual void setVolume(int channel, float volume);
    virtual void setRate(int channel, float rate);
};

// The audio device's channels (the default ChannelOut).
ChannelOut& audioChannels();

// Stops audio channels 1, 2, 3, 4, 6, 5, 8, 7 in that order.
void stopAllChannels();
void stopAllChannels(ChannelOut& out);
