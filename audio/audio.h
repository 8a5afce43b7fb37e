#pragma once
// gxtkAudio: numbered channels over OpenAL (owner of audio/ completes this header).
#include "host/object.h"

class gxtkAudio : public Object {
public:
    gxtkAudio();
    void suspend();
    void resume();
};

extern gxtkAudio* audioDevice;
