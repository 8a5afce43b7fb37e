// Placeholder until the renderer lands.
#include "graphics/renderer.h"
#include "graphics/drawing.h"

gxtkGraphics* graphicsDevice = nullptr;
gxtkGraphics* renderDevice = nullptr;
gxtkGraphics::gxtkGraphics() {}
int gxtkGraphics::beginFrame() { return 1; }
void gxtkGraphics::endFrame() {}
void gxtkGraphics::discardGraphics() {}
void initGraphicsModule() {}
void resetDrawingState() {}
void setFont(std::shared_ptr<c_Font>) {}
