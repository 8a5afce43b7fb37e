// The default channel output: the audio device's channels.
#include "tracker/core/channels.h"

#include "audio/sound.h"

void ChannelOut::stop(int channel) { stopChannel(channel); }
void ChannelOut::play(const c_Sound* sound, int channel, int flags) { playSound(sound, channel, flags); }
void ChannelOut::setVolume(int channel, float volume) { setChannelVolume(channel, volume); }
void ChannelOut::setRate(int channel, float rate) { setChannelRate(channel, rate); }

ChannelOut& audioChannels() {
    static ChannelOut device;
    return device;
}

void stopAllChannels(ChannelOut& out) {
    static const int kOrder[] = {1, 2, 3, 4, 6, 5, 8, 7};
    for (int channel : kOrder) out.stop(channel);
}

void stopAllChannels() { stopAllChannels(audioChannels()); }

