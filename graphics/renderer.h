#pragma once
// gxtkGraphics: the OpenGL 1.x renderer (owner of graphics/ completes this header).
#include "host/object.h"

class gxtkGraphics : public Object {
public:
    gxtkGraphics();
    int beginFrame();      // always 1
    void endFrame();       // flushes the open batch
    void discardGraphics();
};

extern gxtkGraphics* graphicsDevice;   // the renderer, from start-up on
extern gxtkGraphics* renderDevice;     // == graphicsDevice only while rendering
