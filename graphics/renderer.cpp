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
void setColor(float, float, float) {}
void setAlpha(float) {}
void setBlend(int) {}
void setScissor(float, float, float, float) {}
void drawRect(float, float, float, float) {}
void drawLine(float, float, float, float) {}
void drawImage(const c_Image*, float, float, int) {}
void drawText(const String&, int, int, float, float) {}
float textWidth(const String&) { return 0; }
std::shared_ptr<c_Image> loadImage(const String&, int) { return nullptr; }
std::shared_ptr<c_Font> loadFont(const String&, bool) { return nullptr; }
void setFont(std::shared_ptr<c_Font>) {}
