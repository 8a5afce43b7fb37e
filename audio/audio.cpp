// Placeholder until the audio device lands.
#include "audio/audio.h"
#include "audio/sound.h"

gxtkAudio* audioDevice = nullptr;
gxtkAudio::gxtkAudio() { audioDevice = this; }
gxtkAudio::gxtkAudio(AudioLoopback, int) { audioDevice = this; }
gxtkAudio::~gxtkAudio() { if (audioDevice == this) audioDevice = nullptr; }
bool gxtkAudio::isLoopback() const { return false; }
void gxtkAudio::render(int16_t*, int) {}
void gxtkAudio::suspend() {}
void gxtkAudio::resume() {}
std::shared_ptr<c_Sound> loadSound(const String&) { return nullptr; }
void playSound(const c_Sound*, int, int) {}
void stopChannel(int) {}
void setChannelVolume(int, float) {}
void setChannelRate(int, float) {}
