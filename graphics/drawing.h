#pragma once
// Drawing API used by the application (valid only inside the render handler).
// The owner of graphics/ completes this header; these signatures are the contract.
#include <memory>
#include "host/text.h"

class c_Image;
class c_Font;

void setColor(float r, float g, float b);     // 0..255 each
void setAlpha(float a);                        // 0..1
void setBlend(int mode);                       // 1 additive, else premultiplied alpha
void setScissor(float x, float y, float w, float h);
void drawRect(float x, float y, float w, float h);
void drawLine(float x1, float y1, float x2, float y2);
void drawImage(const c_Image* image, float x, float y, int frame);
void drawText(const String& text, int x, int y, float alignX = 0, float alignY = 0);
float textWidth(const String& text);
std::shared_ptr<c_Image> loadImage(const String& path, int flags = 0);
std::shared_ptr<c_Font> loadFont(const String& path, bool padded);
void setFont(std::shared_ptr<c_Font> font);

// Module start (the host's start-up) and the per-frame reset (the delegate's render).
void initGraphicsModule();
void resetDrawingState();
