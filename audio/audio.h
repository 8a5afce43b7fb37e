#pragma once
// gxtkAudio: numbered channels over OpenAL (owner of audio/ completes this header).
#include <cstdint>

#include "host/object.h"

struct AudioLoopback {};   // tag: open an OpenAL Soft loopback device instead of the output

class gxtkAudio : public Object {
public:
    gxtkAudio();
    // Renders into memory: 16-bit stereo at `hertz`, driven by render().
    gxtkAudio(AudioLoopback, int hertz = 44100);
    ~gxtkAudio() override;
    bool isLoopback() const;
    // Mixes `frames` stereo frames of what the channels play (loopback device only).
    void render(int16_t* interleavedStereo, int frames);
    void suspend();
    void resume();
};

extern gxtkAudio* audioDevice;
