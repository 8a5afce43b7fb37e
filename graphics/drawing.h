#pragma once
// The drawing API: free functions on the one drawing context, forwarding to the
// renderer (graphics/renderer.h). Valid only inside the render handler, while
// renderDevice is set.
//
//   colour:  red, green, blue 0..255, alpha 0..1 (not clamped)
//   blend:   1 additive, anything else premultiplied alpha
//   matrix:  ix, iy, jx, jy, tx, ty; a point (x, y) maps to
//            (ix*x + jx*y + tx, iy*x + jy*y + ty); handed to the renderer lazily by
//            validateMatrix before each drawing call
//   stack:   pushMatrix / popMatrix, 6 floats a level, starts with room for 32 levels
//            and doubles when full; a pop on an empty stack does nothing
//   fonts:   the current font draws text; setFont(nullptr) selects the default font,
//            loading "glim_font.png" (padded) the first time
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/renderer.h"
#include "host/text.h"

class c_Image;
class c_Font;
class gxtkSurface;

class c_GraphicsContext {
public:
    c_GraphicsContext();

    std::shared_ptr<c_Font> defaultFont;   // may be none
    std::shared_ptr<c_Font> font;          // current; may be none
    int matrixDepth = 0;                   // floats on the stack, a multiple of 6
    float ix = 1, iy = 0, jx = 0, jy = 1, tx = 0, ty = 0;   // current transform
    int transformed = 0;                   // 1 when the matrix is not the identity
    int matrixDirty = 0;                   // 1 when the renderer lacks the matrix
    float red = 0, green = 0, blue = 0;    // 0..255
    float alpha = 0;                       // 0..1
    int blend = 0;                         // 1 additive, else premultiplied alpha
    float scissorX = 0, scissorY = 0, scissorW = 0, scissorH = 0;   // window pixels
    std::vector<float> matrixStack;        // 192 floats at start, doubles when full
};

// The context, made by initGraphicsModule.
c_GraphicsContext* graphicsContext();

void setColor(float r, float g, float b);     // 0..255 each
void setAlpha(float a);                        // 0..1
void setBlend(int mode);                       // 1 additive, else premultiplied alpha
void setScissor(float x, float y, float w, float h);

void setMatrix(float ix, float iy, float jx, float jy, float tx, float ty);
void transform(float ix, float iy, float jx, float jy, float tx, float ty);
void translate(float x, float y);
void scale(float sx, float sy);
void rotate(float degrees);
void pushMatrix();
void popMatrix();
void validateMatrix();

void clearScreen(float r, float g, float b);
void drawPoint(float x, float y);
void drawRect(float x, float y, float w, float h);
void drawLine(float x1, float y1, float x2, float y2);
void drawOval(float x, float y, float w, float h);
void drawPoly(const std::vector<float>& xy);
void drawTexturedPoly(const std::vector<float>& xyuv, gxtkSurface* surface, int srcX, int srcY);
void drawSurface(gxtkSurface* surface, float x, float y);
void drawSurfaceRect(gxtkSurface* surface, float x, float y, int srcX, int srcY, int srcW,
                     int srcH);
void readPixels(std::vector<int>& pixels, int x, int y, int w, int h, int offset, int pitch);
void writePixels(gxtkSurface* surface, const std::vector<int>& pixels, int x, int y, int w,
                 int h, int offset, int pitch);

void drawImage(const c_Image* image, float x, float y, int frame);
void drawText(const String& text, int x, int y, float alignX = 0, float alignY = 0);
float textWidth(const String& text);
std::shared_ptr<c_Image> loadImage(const String& path, int flags = 0);
std::shared_ptr<c_Font> loadFont(const String& path, bool padded);
void setFont(std::shared_ptr<c_Font> font);

// The canvas of this frame (renderer.h): lost, it no longer holds the earlier frames;
// damaged, the window's picture may have been spoilt. False outside rendering.
bool canvasLost();
bool canvasDamaged();
// Runs `paint` without drawing anything and returns a hash of what it would have drawn:
// equal hashes, equal pixels; the same tile by tile (gxtkGraphics::kTileWidth x
// kTileHeight layout pixels, row by row), for the pixels of each tile. All 0 outside
// rendering.
struct DrawingPrint {
    uint64_t whole = 0;
    std::array<uint64_t, gxtkGraphics::kPrintTiles> tiles{};
};
void beginDrawingPrint();
DrawingPrint endDrawingPrint();
template <class F> DrawingPrint drawingPrint(F paint) {
    beginDrawingPrint();
    paint();
    return endDrawingPrint();
}

// Module start (the host's start-up) and the per-frame reset (the delegate's render).
void initGraphicsModule();
void resetDrawingState();
