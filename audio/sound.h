#pragma once
// Application audio API: free functions on the current audio device (channels 0..31).
// The owner of audio/ completes this header; these signatures are the contract.
#include <memory>
#include "host/text.h"

class c_Sound;

std::shared_ptr<c_Sound> loadSound(const String& path);        // none when it fails
void playSound(const c_Sound* sound, int channel, int flags);   // flags 1: looped
void stopChannel(int channel);
void setChannelVolume(int channel, float volume);
void setChannelRate(int channel, float rate);
