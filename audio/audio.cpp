// Placeholder until the audio device lands.
#include "audio/audio.h"

gxtkAudio* audioDevice = nullptr;
gxtkAudio::gxtkAudio() { audioDevice = this; }
void gxtkAudio::suspend() {}
void gxtkAudio::resume() {}
