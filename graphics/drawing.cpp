// The drawing context and the drawing API's free functions.
//
// Sections:
//   [context]     the one c_GraphicsContext, module start, per-frame reset
//   [state]       colour, alpha, blend, scissor
//   [matrix]      setMatrix, transform, translate, scale, rotate, the stack
//   [primitives]  forwarding to the renderer after validateMatrix
//   [canvas]      the canvas' state and drawing prints
#include "graphics/drawing.h"

#include <algorithm>
#include <cmath>

#include "graphics/renderer.h"
#include "host/delegate.h"

// [context] ------------------------------------------------------------------------

static c_GraphicsContext* context = nullptr;

c_GraphicsContext::c_GraphicsContext() : matrixStack(192, 0.0f) {}

// Made at module start, or at first use by a caller that runs before it.
static c_GraphicsContext& ctx() {
    if (!context) context = new c_GraphicsContext();
    return *context;
}

c_GraphicsContext* graphicsContext() { return &ctx(); }

void initGraphicsModule() { ctx(); }

static bool isIdentity(float ix, float iy, float jx, float jy, float tx, float ty) {
    return ix == 1 && iy == 0 && jx == 0 && jy == 1 && tx == 0 && ty == 0;
}

static void setCurrentMatrix(float ix, float iy, float jx, float jy, float tx, float ty) {
    c_GraphicsContext& c = ctx();
    c.ix = ix;
    c.iy = iy;
    c.jx = jx;
    c.jy = jy;
    c.tx = tx;
    c.ty = ty;
    c.transformed = isIdentity(ix, iy, jx, jy, tx, ty) ? 0 : 1;
    c.matrixDirty = 1;
}

// Working values for a new frame; the identity reaches the renderer at the first draw.
void resetDrawingState() {
    renderDevice = graphicsDevice;
    c_GraphicsContext& c = ctx();
    c.matrixDepth = 0;
    setCurrentMatrix(1, 0, 0, 1, 0, 0);
    setColor(255, 255, 255);
    setAlpha(1);
    setBlend(0);
    setScissor(0, 0, float(deviceWidth()), float(deviceHeight()));
}

// [state] --------------------------------------------------------------------------

void setColor(float r, float g, float b) {
    ctx().red = r;
    ctx().green = g;
    ctx().blue = b;
    if (renderDevice) renderDevice->setColor(r, g, b);
}

void setAlpha(float a) {
    ctx().alpha = a;
    if (renderDevice) renderDevice->setAlpha(a);
}

void setBlend(int mode) {
    ctx().blend = mode;
    if (renderDevice) renderDevice->setBlend(mode);
}

void setScissor(float x, float y, float w, float h) {
    ctx().scissorX = x;
    ctx().scissorY = y;
    ctx().scissorW = w;
    ctx().scissorH = h;
    if (renderDevice) renderDevice->setScissor(int(x), int(y), int(w), int(h));
}

// [matrix] -------------------------------------------------------------------------

void setMatrix(float ix, float iy, float jx, float jy, float tx, float ty) {
    setCurrentMatrix(ix, iy, jx, jy, tx, ty);
}

void transform(float ix, float iy, float jx, float jy, float tx, float ty) {
    const c_GraphicsContext& c = ctx();
    setCurrentMatrix(c.ix * ix + c.jx * iy, c.iy * ix + c.jy * iy, c.ix * jx + c.jx * jy,
                     c.iy * jx + c.jy * jy, c.ix * tx + c.jx * ty + c.tx,
                     c.iy * tx + c.jy * ty + c.ty);
}

void translate(float x, float y) { transform(1, 0, 0, 1, x, y); }

void scale(float sx, float sy) { transform(sx, 0, 0, sy, 0, 0); }

void rotate(float degrees) {
    float radians = degrees * 0.017453292f;
    float s = float(std::sin(double(radians)));
    float c = float(std::cos(double(radians)));
    transform(c, -s, s, c, 0, 0);
}

void pushMatrix() {
    c_GraphicsContext& c = ctx();
    if (c.matrixDepth == int(c.matrixStack.size()))
        c.matrixStack.resize(c.matrixStack.size() * 2, 0.0f);
    float* top = c.matrixStack.data() + c.matrixDepth;
    top[0] = c.ix;
    top[1] = c.iy;
    top[2] = c.jx;
    top[3] = c.jy;
    top[4] = c.tx;
    top[5] = c.ty;
    c.matrixDepth += 6;
}

// A pop without a matching push leaves the matrix as it is.
void popMatrix() {
    c_GraphicsContext& c = ctx();
    if (c.matrixDepth < 6) return;
    c.matrixDepth -= 6;
    const float* top = c.matrixStack.data() + c.matrixDepth;
    setCurrentMatrix(top[0], top[1], top[2], top[3], top[4], top[5]);
}

void validateMatrix() {
    c_GraphicsContext& c = ctx();
    if (!c.matrixDirty || !renderDevice) return;
    renderDevice->setMatrix(c.ix, c.iy, c.jx, c.jy, c.tx, c.ty);
    c.matrixDirty = 0;
}

// [primitives] ---------------------------------------------------------------------

void clearScreen(float r, float g, float b) {
    if (renderDevice) renderDevice->clear(r, g, b);
}

void drawPoint(float x, float y) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawPoint(x, y);
}

void drawRect(float x, float y, float w, float h) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawRect(x, y, w, h);
}

void drawLine(float x1, float y1, float x2, float y2) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawLine(x1, y1, x2, y2);
}

void drawOval(float x, float y, float w, float h) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawOval(x, y, w, h);
}

void drawPoly(const std::vector<float>& xy) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawPoly(xy.data(), int(xy.size()));
}

void drawTexturedPoly(const std::vector<float>& xyuv, gxtkSurface* surface, int srcX, int srcY) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawTexturedPoly(xyuv.data(), int(xyuv.size()), surface, srcX, srcY);
}

void drawSurface(gxtkSurface* surface, float x, float y) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawSurface(surface, x, y);
}

void drawSurfaceRect(gxtkSurface* surface, float x, float y, int srcX, int srcY, int srcW,
                     int srcH) {
    if (!renderDevice) return;
    validateMatrix();
    renderDevice->drawSurfaceRect(surface, x, y, srcX, srcY, srcW, srcH);
}

void readPixels(std::vector<int>& pixels, int x, int y, int w, int h, int offset, int pitch) {
    if (renderDevice) renderDevice->readPixels(pixels, x, y, w, h, offset, pitch);
}

void writePixels(gxtkSurface* surface, const std::vector<int>& pixels, int x, int y, int w,
                 int h, int offset, int pitch) {
    if (renderDevice) renderDevice->writePixels(surface, pixels, x, y, w, h, offset, pitch);
}

// [canvas] -------------------------------------------------------------------------

bool canvasLost() { return renderDevice && renderDevice->canvasLost(); }
bool canvasDamaged() { return renderDevice && renderDevice->canvasDamaged(); }

void beginDrawingPrint() {
    if (renderDevice) renderDevice->beginPrint();
}

DrawingPrint endDrawingPrint() {
    DrawingPrint print;
    if (!renderDevice) return print;
    print.whole = renderDevice->endPrint();
    std::copy_n(renderDevice->tilePrints(), print.tiles.size(), print.tiles.begin());
    return print;
}
