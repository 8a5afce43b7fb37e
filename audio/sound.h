#pragma once
// Application audio API: free functions on the current audio device (channels 0..31).
// Without a device they do nothing (loadSound returns none).
#include <memory>

#include "audio/sample.h"
#include "host/text.h"

// Resolves `path` as a data path ("wav/saw_64.wav" is in the data folder) and loads
// the whole sound; none when the file is missing, has another ending than ".wav" or
// ".ogg", or its bytes are refused. Without a host the path is a plain file name.
std::shared_ptr<c_Sound> loadSound(const String& path);
void playSound(const c_Sound* sound, int channel, int flags);   // flags 1: looped
void stopChannel(int channel);
void setChannelVolume(int channel, float volume);
void setChannelRate(int channel, float rate);
