// The renderer: one vertex buffer, one quad index table, and the GL calls.
//
// Sections:
//   [construction and frame]  constructor, beginFrame, endFrame, clear
//   [canvas]                  whether the back buffer still holds the earlier frames
//   [print]                   hashing a frame's drawing instead of drawing it
//   [state]                   colour, alpha, blend, scissor, matrix
//   [batch]                   reserve, flush, the draw-call record
//   [primitives]              point, line, rect, oval, polygons, surfaces
//   [pixels]                  readPixels, writePixels, surface loading
#include "graphics/renderer.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <GL/glxext.h>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "graphics/image.h"
#include "host/game.h"

gxtkGraphics* graphicsDevice = nullptr;
gxtkGraphics* renderDevice = nullptr;

// [construction and frame] ---------------------------------------------------------

gxtkGraphics::gxtkGraphics() {
    for (int k = 0; k < kQuadIndices / 6; ++k) {
        uint16_t* q = quadIndices_ + k * 6;
        uint16_t base = uint16_t(k * 4);
        q[0] = base;
        q[1] = uint16_t(base + 1);
        q[2] = uint16_t(base + 2);
        q[3] = base;
        q[4] = uint16_t(base + 2);
        q[5] = uint16_t(base + 3);
    }
    std::memset(vertices_, 0, sizeof(vertices_));
    if (VXGame* game = VXGame::current()) {
        width_ = game->deviceWidth();
        height_ = game->deviceHeight();
    }
}

gxtkGraphics::~gxtkGraphics() {
    if (graphicsDevice == this) graphicsDevice = nullptr;
    if (renderDevice == this) renderDevice = nullptr;
}

// The frame's GL set-up waits for the first thing the frame sends to GL: with Mesa's
// software path a new viewport has the driver ask the X server for the window's size,
// and a frame that draws nothing should cost nothing.
int gxtkGraphics::beginFrame() {
    int resizes = resizes_;
    if (VXGame* game = VXGame::current()) {
        width_ = game->deviceWidth();
        height_ = game->deviceHeight();
        fbWidth_ = game->framebufferWidth();
        fbHeight_ = game->framebufferHeight();
        scale_ = std::max(1, game->zoom());
        resizes_ = game->resizes();
    }
    checkCanvas();
    if (resizes_ != resizes) {
        lost_ = true;   // a new size: the window's buffers are new
        probe_.clear();
    }
    frameDraws_ = 0;
    glReady_ = false;
    blend_ = 0;
    vertexCount_ = 0;
    return 1;
}

// Untextured drawing samples one opaque white texel, so that texturing stays on and a
// batch of text after a batch of rectangles changes only the bound texture.
void gxtkGraphics::bindWhite() {
    if (contextGeneration == 0) return;   // no context, as a surface's bind
    if (whiteGeneration_ == contextGeneration) {
        glBindTexture(GL_TEXTURE_2D, white_);
        return;
    }
    whiteGeneration_ = contextGeneration;
    const uint8_t texel[4] = {255, 255, 255, 255};
    glGenTextures(1, &white_);
    glBindTexture(GL_TEXTURE_2D, white_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
}

// Viewport, projection, client arrays, blending and scissor, once per frame that uses GL.
void gxtkGraphics::prepareGl() {
    if (glReady_) return;
    glReady_ = true;
    glViewport(0, 0, fbWidth_, fbHeight_);
    glPointSize(float(scale_));
    glLineWidth(float(scale_));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width_, height_, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const char* base = reinterpret_cast<const char*>(vertices_);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, sizeof(Vertex), base + offsetof(Vertex, x));
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), base + offsetof(Vertex, u));
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), base + offsetof(Vertex, colour));

    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    applyBlend();
    applyScissor();
}

void gxtkGraphics::applyBlend() { glBlendFunc(GL_ONE, blend_ == 1 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA); }

// The rectangle is top-down in window coordinates; GL counts rows from the bottom.
void gxtkGraphics::applyScissor() {
    const int* r = scissor_;
    if (!scissored()) {
        glDisable(GL_SCISSOR_TEST);
    } else {
        glEnable(GL_SCISSOR_TEST);
        int s = scale_;
        glScissor(r[0] * s, (height_ - r[1] - r[3]) * s, r[2] * s, r[3] * s);
    }
}

// A frame that drew only a small part of an intact canvas is copied to the window
// there and then (the back buffer stays as it is), so it needs no swap.
void gxtkGraphics::endFrame() {
    if (vertexCount_ > 0) flush();
    presented_ = frameDrawn() && !lost_ && !damaged_ && copySmallFrame();
    lastFrameSwapped_ = needsSwap();
    if (lastFrameSwapped_ && kept_ == 0 && !useBufferAge_ && probe_.empty()) readProbe(probe_);
}

void gxtkGraphics::discardGraphics() {}

void gxtkGraphics::clear(float r, float g, float b) {
    if (printing_) {
        mix('C');
        mix(uint64_t(r * 256) << 40 ^ uint64_t(g * 256) << 20 ^ uint64_t(b * 256));
        return;
    }
    ++frameDraws_;
    vertexCount_ = 0;
    prepareGl();
    const float everything[4] = {-1e9f, -1e9f, 1e9f, 1e9f};
    addDrawn(everything);
    glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

// [state] --------------------------------------------------------------------------

// Each colour byte is component * alpha and the alpha byte 255 * alpha, truncated.
void gxtkGraphics::repack() {
    uint8_t bytes[4] = {uint8_t(int(red_ * alpha_)), uint8_t(int(green_ * alpha_)),
                        uint8_t(int(blue_ * alpha_)), uint8_t(int(255 * alpha_))};
    std::memcpy(&colour_, bytes, 4);
}

void gxtkGraphics::setAlpha(float alpha) {
    alpha_ = alpha;
    repack();
}

void gxtkGraphics::setColor(float r, float g, float b) {
    red_ = r;
    green_ = g;
    blue_ = b;
    repack();
}

void gxtkGraphics::setBlend(int mode) {
    if (printing_) {
        mix(uint64_t('B') << 32 | uint32_t(mode));
        return;
    }
    if (vertexCount_ > 0) flush();
    blend_ = mode;
    if (glReady_) applyBlend();
}

void gxtkGraphics::setScissor(int x, int y, int w, int h) {
    if (printing_) {
        mix(uint64_t('S') << 32 | uint32_t(x));
        mix(uint64_t(uint32_t(y)) << 32 | uint32_t(w));
        mix(uint32_t(h));
        return;
    }
    if (vertexCount_ > 0) flush();
    scissor_[0] = x;
    scissor_[1] = y;
    scissor_[2] = w;
    scissor_[3] = h;
    if (glReady_) applyScissor();
}

void gxtkGraphics::setMatrix(float ix, float iy, float jx, float jy, float tx, float ty) {
    ix_ = ix;
    iy_ = iy;
    jx_ = jx;
    jy_ = jy;
    tx_ = tx;
    ty_ = ty;
    transformed_ = !(ix == 1 && iy == 0 && jx == 0 && jy == 1 && tx == 0 && ty == 0);
}

// [batch] --------------------------------------------------------------------------

// The smallest rectangle holding n vertices: x0, y0, x1, y1.
struct Bounds {
    float x0, y0, x1, y1;
};
static Bounds boundsOf(const Vertex* v, int n) {
    Bounds b{v[0].x, v[0].y, v[0].x, v[0].y};
    for (int i = 1; i < n; ++i) {
        b.x0 = std::min(b.x0, v[i].x);
        b.y0 = std::min(b.y0, v[i].y);
        b.x1 = std::max(b.x1, v[i].x);
        b.y1 = std::max(b.y1, v[i].y);
    }
    return b;
}

// Room for n vertices of type `type` on `surface`: joins the open batch when it can,
// otherwise flushes it and starts a new one.
Vertex* gxtkGraphics::reserve(int type, int n, gxtkSurface* surface) {
    if (printing_) {
        mixPending();
        pendingKind_ = mixed(uint64_t(uint32_t(type)) << 32 | uint32_t(n),
                             uint64_t(reinterpret_cast<uintptr_t>(surface)));
        std::memset(vertices_, 0, sizeof(Vertex) * size_t(n));   // untextured u, v stay 0
        printPending_ = n;
        return vertices_;
    }
    cullLast();
    if (type == primType_ && surface == surface_ && vertexCount_ + n <= kMaxVertices) {
        Vertex* v = vertices_ + vertexCount_;
        vertexCount_ += n;
        lastCount_ = n;
        return v;
    }
    if (vertexCount_ > 0) flush();
    primType_ = type;
    surface_ = surface;
    vertexCount_ = n;
    lastCount_ = n;
    return vertices_;
}

// The primitive written last leaves the batch again when it lies wholly outside the
// scissor (by more than the two pixels a line or point may reach): it would change
// no pixel, and a layout repainted under a scissor sends only what reaches it.
void gxtkGraphics::cullLast() {
    const int n = lastCount_;
    lastCount_ = 0;
    if (n == 0 || n > vertexCount_ || !scissored()) return;
    Bounds b = boundsOf(vertices_ + vertexCount_ - n, n);
    if (!reaches(b.x0, b.y0, b.x1, b.y1)) vertexCount_ -= n;
}

void gxtkGraphics::put(Vertex& v, float x, float y) const {
    if (transformed_) {
        v.x = ix_ * x + jx_ * y + tx_;
        v.y = iy_ * x + jy_ * y + ty_;
    } else {
        v.x = x;
        v.y = y;
    }
    v.colour = colour_;
}

void gxtkGraphics::record(unsigned mode, int first, int count, bool indexed) {
    DrawCall& call = log_[drawCalls_ % kLogSize];
    call.mode = mode;
    call.first = first;
    call.count = count;
    call.indexed = indexed;
    call.surface = surface_;
    ++drawCalls_;
    ++frameDraws_;
}

// Adds what the open batch covers, within the scissor, to the frame's drawn rectangle.
void gxtkGraphics::markDirty() {
    Bounds b = boundsOf(vertices_, vertexCount_);
    float box[4] = {b.x0, b.y0, b.x1, b.y1};
    if (const int* r = scissor_; r[2] >= 0) {
        box[0] = std::max(box[0], float(r[0]));
        box[1] = std::max(box[1], float(r[1]));
        box[2] = std::min(box[2], float(r[0] + r[2]));
        box[3] = std::min(box[3], float(r[1] + r[3]));
        if (box[0] > box[2] || box[1] > box[3]) return;
    }
    addDrawn(box);
}

// Joins the box to a drawn rectangle it overlaps or touches, else keeps it apart; with
// every place taken, joins it to the rectangle that grows the least by it.
void gxtkGraphics::addDrawn(const float box[4]) {
    auto grown = [&](const float* r) {
        return (std::max(r[2], box[2]) - std::min(r[0], box[0])) * (std::max(r[3], box[3]) - std::min(r[1], box[1])) -
               (r[2] - r[0]) * (r[3] - r[1]);
    };
    int best = -1;
    for (int i = 0; i < drawnAreas_ && best < 0; ++i) {
        const float* r = drawn_[i];
        if (box[0] <= r[2] + 1 && r[0] <= box[2] + 1 && box[1] <= r[3] + 1 && r[1] <= box[3] + 1) best = i;
    }
    if (best < 0 && drawnAreas_ < kDrawnAreas) {
        std::copy(box, box + 4, drawn_[drawnAreas_++]);
        return;
    }
    if (best < 0) {
        best = 0;
        for (int i = 1; i < drawnAreas_; ++i)
            if (grown(drawn_[i]) < grown(drawn_[best])) best = i;
    }
    float* r = drawn_[best];
    r[0] = std::min(r[0], box[0]), r[1] = std::min(r[1], box[1]);
    r[2] = std::max(r[2], box[2]), r[3] = std::max(r[3], box[3]);
}

void gxtkGraphics::flush() {
    cullLast();
    if (vertexCount_ <= 0) return;
    prepareGl();
    markDirty();
    if (surface_) surface_->bind();
    else bindWhite();   // also after a surface's upload bound its own texture
    switch (primType_) {
    case 1:
        glDrawArrays(GL_POINTS, 0, vertexCount_);
        record(GL_POINTS, 0, vertexCount_, false);
        break;
    case 2:
        glDrawArrays(GL_LINES, 0, vertexCount_);
        record(GL_LINES, 0, vertexCount_, false);
        break;
    case 3:
        glDrawArrays(GL_TRIANGLES, 0, vertexCount_);
        record(GL_TRIANGLES, 0, vertexCount_, false);
        break;
    case 4:
        glDrawElements(GL_TRIANGLES, vertexCount_ / 4 * 6, GL_UNSIGNED_SHORT, quadIndices_);
        record(GL_TRIANGLES, 0, vertexCount_ / 4 * 6, true);
        break;
    default:
        for (int first = 0; first < vertexCount_; first += primType_) {
            glDrawArrays(GL_TRIANGLE_FAN, first, primType_);
            record(GL_TRIANGLE_FAN, first, primType_, false);
        }
        break;
    }
    vertexCount_ = 0;
}

void gxtkGraphics::forgetSurface(const gxtkSurface* surface) {
    if (surface_ != surface) return;
    if (vertexCount_ > 0) flush();
    surface_ = nullptr;
    primType_ = 0;
}

// [canvas] -------------------------------------------------------------------------

namespace {
// The window's own word on its back buffer: kept over a swap (GLX_SWAP_COPY_OML), and
// whether it reports the buffer's age.
struct WindowBuffer {
    bool copies = false;
    bool reportsAge = false;
    PFNGLXCOPYSUBBUFFERMESAPROC copySubBuffer = nullptr;   // copies a rectangle to the window
};

WindowBuffer currentWindowBuffer() {
    WindowBuffer w;
    Display* display = glXGetCurrentDisplay();
    GLXContext context = glXGetCurrentContext();
    if (!display || !context) return w;
    int screen = DefaultScreen(display);
    const char* extensions = glXQueryExtensionsString(display, screen);
    w.reportsAge = extensions && std::strstr(extensions, "GLX_EXT_buffer_age");
    if (extensions && std::strstr(extensions, "GLX_MESA_copy_sub_buffer"))
        w.copySubBuffer = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(
            glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
    int id = 0, count = 0;
    glXQueryContext(display, context, GLX_FBCONFIG_ID, &id);
    int wanted[] = {GLX_FBCONFIG_ID, id, None};
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, wanted, &count);
    int method = 0;
    if (configs && count > 0) glXGetFBConfigAttrib(display, configs[0], GLX_SWAP_METHOD_OML, &method);
    if (configs) XFree(configs);
    w.copies = method == GLX_SWAP_COPY_OML;
    return w;
}

unsigned backBufferAge() {
    unsigned age = 0;
    Display* display = glXGetCurrentDisplay();
    GLXDrawable drawable = glXGetCurrentDrawable();
    if (display && drawable) glXQueryDrawable(display, drawable, GLX_BACK_BUFFER_AGE_EXT, &age);
    return age;
}
}  // namespace

// Decides, at the start of a frame, whether the canvas still holds the frames before:
// a new context starts lost; a frame that drew nothing was not swapped and leaves it
// as it was; after a swap it is kept only when the window is known to keep it.
void gxtkGraphics::checkCanvas() {
    damaged_ = damagePending_;
    damagePending_ = false;
    if (generation_ != contextGeneration) {
        generation_ = contextGeneration;
        lost_ = true;
        probe_.clear();
        WindowBuffer w = contextGeneration > 0 ? currentWindowBuffer() : WindowBuffer();
        kept_ = w.copies ? 1 : 0;
        useBufferAge_ = w.reportsAge;
        copySubBuffer_ = reinterpret_cast<void*>(w.copySubBuffer);
    } else if (lastFrameSwapped_) {
        lost_ = !canvasKeptAfterSwap();
    }
    lastFrameSwapped_ = false;
    presented_ = false;
    drawnAreas_ = 0;
}

// The window's word first; without one, the pixels read before the first swap are
// compared with the same pixels after it (a window that exchanges buffers shows a
// never-drawn buffer there), once per context.
bool gxtkGraphics::canvasKeptAfterSwap() {
    if (kept_ == 1) return true;
    if (useBufferAge_) return backBufferAge() == 1;
    if (kept_ == -1 || probe_.empty()) return false;
    bool inked = false;
    for (uint32_t p : probe_) inked = inked || (p & 0xffffff) != 0;
    std::vector<uint32_t> now;
    readProbe(now);
    if (inked) kept_ = now == probe_ ? 1 : -1;
    std::vector<uint32_t>().swap(probe_);
    return kept_ == 1;
}

// Copies the drawn rectangles to the window when together they cover under a tenth of
// it.
bool gxtkGraphics::copySmallFrame() {
    if (!copySubBuffer_ || width_ <= 0 || height_ <= 0 || drawnAreas_ == 0) return false;
    int pixels[kDrawnAreas][4];
    long covered = 0;
    for (int i = 0; i < drawnAreas_; ++i) {
        const float* d = drawn_[i];
        int* p = pixels[i];
        p[0] = std::max(0, int(std::floor(d[0])) - 1), p[1] = std::max(0, int(std::floor(d[1])) - 1);
        p[2] = std::min(width_, int(std::ceil(d[2])) + 1), p[3] = std::min(height_, int(std::ceil(d[3])) + 1);
        if (p[2] <= p[0] || p[3] <= p[1]) return false;
        covered += long(p[2] - p[0]) * (p[3] - p[1]);
    }
    if (covered * 10 > long(width_) * height_) return false;
    Display* display = glXGetCurrentDisplay();
    GLXDrawable drawable = glXGetCurrentDrawable();
    if (!display || !drawable) return false;
    auto copy = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(copySubBuffer_);
    int s = scale_;
    for (int i = 0; i < drawnAreas_; ++i) {
        const int* p = pixels[i];
        copy(display, drawable, p[0] * s, (height_ - p[3]) * s, (p[2] - p[0]) * s, (p[3] - p[1]) * s);
    }
    return true;
}

// Two whole rows of the canvas, at a third and two thirds of its height.
void gxtkGraphics::readProbe(std::vector<uint32_t>& out) {
    int w = fbWidth_, h = fbHeight_;
    if (contextGeneration == 0 || w <= 0 || h <= 0) return;
    out.assign(size_t(w) * 2, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, h / 3, w, 1, GL_BGRA, GL_UNSIGNED_BYTE, out.data());
    glReadPixels(0, h * 2 / 3, w, 1, GL_BGRA, GL_UNSIGNED_BYTE, out.data() + w);
}

// [print] --------------------------------------------------------------------------

void gxtkGraphics::beginPrint() {
    if (vertexCount_ > 0) flush();
    printing_ = true;
    print_ = 0xcbf29ce484222325ull;
    std::fill(std::begin(tiles_), std::end(tiles_), print_);
    printPending_ = 0;
}

uint64_t gxtkGraphics::endPrint() {
    mixPending();
    printing_ = false;
    return print_;
}

void gxtkGraphics::mix(uint64_t word) {
    print_ = mixed(print_, word);
    for (uint64_t& tile : tiles_) tile = mixed(tile, word);
}

// Mixes the primitive the last reserve wrote, as one hash of its kind and its vertex
// bytes, into the print and into the tiles its vertices reach.
void gxtkGraphics::mixPending() {
    if (printPending_ == 0) return;
    uint64_t hash = pendingKind_;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(vertices_);
    const size_t size = size_t(printPending_) * sizeof(Vertex);   // a multiple of 4
    size_t i = 0;
    for (uint64_t word; i + 8 <= size; i += 8) {
        std::memcpy(&word, bytes + i, 8);
        hash = mixed(hash, word);
    }
    if (i < size) {
        uint32_t word;
        std::memcpy(&word, bytes + i, 4);
        hash = mixed(hash, word);
    }
    Bounds b = boundsOf(vertices_, printPending_);
    printPending_ = 0;
    printDrawing(hash, b.x0, b.y0, b.x1, b.y1);
}

// The tiles get a margin of two pixels, for lines and points.
void gxtkGraphics::printDrawing(uint64_t hash, float x0, float y0, float x1, float y1) {
    auto cell = [](float v, int size, int count) {
        return std::clamp(int(std::floor(v / float(size))), 0, count - 1);
    };
    print_ = mixed(print_, hash);
    const int c0 = cell(x0 - 2, kTileWidth, kTileColumns), c1 = cell(x1 + 2, kTileWidth, kTileColumns);
    const int r0 = cell(y0 - 2, kTileHeight, kTileRows), r1 = cell(y1 + 2, kTileHeight, kTileRows);
    for (int r = r0; r <= r1; ++r)
        for (uint64_t* tile = tiles_ + r * kTileColumns + c0; tile <= tiles_ + r * kTileColumns + c1; ++tile)
            *tile = mixed(*tile, hash);
}

// [primitives] ---------------------------------------------------------------------

void gxtkGraphics::drawPoint(float x, float y) {
    Vertex* v = reserve(1, 1, nullptr);
    put(v[0], x, y);
    v[0].x += 0.5f;
    v[0].y += 0.5f;
}

// Zoomed, a level or upright line is drawn as the rectangle of the pixels Mesa gives
// it at 1x, so it is a zoom thick: a level one from its first pixel up to, not
// including, its last; an upright one without its two end pixels. A slanted line is
// drawn a zoom wide.
void gxtkGraphics::drawLine(float x1, float y1, float x2, float y2) {
    if (scale_ > 1 && !transformed_ && (x1 == x2 || y1 == y2)) {
        if (y1 == y2) drawRect(x1 < x2 ? x1 : x2 + 1, y1, std::fabs(x2 - x1), 1);
        else drawRect(x1, std::min(y1, y2) + 1, 1, std::max(0.0f, std::fabs(y2 - y1) - 1));
        return;
    }
    Vertex* v = reserve(2, 2, nullptr);
    put(v[0], x1, y1);
    put(v[1], x2, y2);
    for (int k = 0; k < 2; ++k) {
        v[k].x += 0.5f;
        v[k].y += 0.5f;
    }
}

// Under a scissor an upright rectangle is cut to it first: the same pixels, but the
// rasterizer no longer walks a whole-window background to paint a strip of it.
void gxtkGraphics::drawRect(float x, float y, float w, float h) {
    if (scissored() && !printing_ && !transformed_) {
        const int* r = scissor_;
        float x0 = std::max(x, float(r[0])), y0 = std::max(y, float(r[1]));
        float x1 = std::min(x + w, float(r[0] + r[2])), y1 = std::min(y + h, float(r[1] + r[3]));
        if (x1 > x0 && y1 > y0) x = x0, y = y0, w = x1 - x0, h = y1 - y0;
    }
    Vertex* v = reserve(4, 4, nullptr);
    put(v[0], x, y);
    put(v[1], x + w, y);
    put(v[2], x + w, y + h);
    put(v[3], x, y + h);
}

// The segment count follows the ellipse's size on screen: about one segment per
// pixel of radius sum, at least 12, at most the whole buffer, a multiple of 4.
void gxtkGraphics::drawOval(float x, float y, float w, float h) {
    float xr = w * 0.5f, yr = h * 0.5f;
    float cx = x + xr, cy = y + yr;
    int estimate;
    if (transformed_) {
        float a = std::sqrt((ix_ * xr) * (ix_ * xr) + (iy_ * xr) * (iy_ * xr));
        float b = std::sqrt((jx_ * yr) * (jx_ * yr) + (jy_ * yr) * (jy_ * yr));
        estimate = int(a + b);
    } else {
        estimate = int(std::fabs(double(xr)) + std::fabs(double(yr)));
    }
    int segments;
    if (estimate < 12) segments = 12;
    else if (estimate > kMaxVertices) segments = kMaxVertices;
    else segments = estimate & ~3;

    Vertex* v = reserve(segments, segments, nullptr);
    for (int i = 0; i < segments; ++i) {
        float theta = float(i) * 6.2831855f / float(segments);
        put(v[i], cx + xr * std::cos(theta), cy - yr * std::sin(theta));
    }
}

void gxtkGraphics::drawPoly(const float* xy, int length) {
    int n = length / 2;
    if (n <= 0 || n > kMaxVertices) return;
    Vertex* v = reserve(n, n, nullptr);
    for (int k = 0; k < n; ++k) put(v[k], xy[2 * k], xy[2 * k + 1]);
}

void gxtkGraphics::drawTexturedPoly(const float* xyuv, int length, gxtkSurface* surface,
                                    int srcX, int srcY) {
    int n = length / 4;
    if (n <= 0 || n > kMaxVertices || !surface) return;
    Vertex* v = reserve(n, n, surface);
    float us = surface->us(), vs = surface->vs();
    for (int k = 0; k < n; ++k) {
        const float* p = xyuv + 4 * k;
        put(v[k], p[0], p[1]);
        v[k].u = (p[2] + srcX) * us;
        v[k].v = (p[3] + srcY) * vs;
    }
}

void gxtkGraphics::drawSurface(gxtkSurface* surface, float x, float y) {
    if (!surface) return;
    float w = float(surface->width()), h = float(surface->height());
    float u1 = w * surface->us(), v1 = h * surface->vs();
    Vertex* v = reserve(4, 4, surface);
    put(v[0], x, y);
    put(v[1], x + w, y);
    put(v[2], x + w, y + h);
    put(v[3], x, y + h);
    v[0].u = 0;  v[0].v = 0;
    v[1].u = u1; v[1].v = 0;
    v[2].u = u1; v[2].v = v1;
    v[3].u = 0;  v[3].v = v1;
}

void gxtkGraphics::drawSurfaceRect(gxtkSurface* surface, float x, float y, int srcX,
                                   int srcY, int srcW, int srcH) {
    if (!surface) return;
    float us = surface->us(), vs = surface->vs();
    float u0 = srcX * us, v0 = srcY * vs;
    float u1 = (srcX + srcW) * us, v1 = (srcY + srcH) * vs;
    Vertex* v = reserve(4, 4, surface);
    put(v[0], x, y);
    put(v[1], x + srcW, y);
    put(v[2], x + srcW, y + srcH);
    put(v[3], x, y + srcH);
    v[0].u = u0; v[0].v = v0;
    v[1].u = u1; v[1].v = v0;
    v[2].u = u1; v[2].v = v1;
    v[3].u = u0; v[3].v = v1;
}

// [pixels] -------------------------------------------------------------------------

// True when rows 0..h-1 of w elements at offset + r * pitch lie inside `size`.
static bool rectFits(size_t size, int w, int h, int offset, int pitch) {
    if (w <= 0 || h <= 0 || offset < 0 || pitch < 0) return false;
    long long last = (long long)offset + (long long)(h - 1) * pitch + w;
    return last <= (long long)size;
}

void gxtkGraphics::readPixels(std::vector<int>& pixels, int x, int y, int w, int h,
                              int offset, int pitch) {
    if (vertexCount_ > 0) flush();
    if (!rectFits(pixels.size(), w, h, offset, pitch)) return;
    // Zoomed, each layout pixel reads as the top-left pixel of its block.
    int s = scale_, sw = w * s, sh = h * s;
    size_t words = size_t(sw) * size_t(sh);
    if (readBuffer_.size() < words) readBuffer_.resize(words);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x * s, (height_ - y - h) * s, sw, sh, GL_BGRA, GL_UNSIGNED_BYTE,
                 readBuffer_.data());
    for (int r = 0; r < h; ++r) {
        const uint32_t* src = readBuffer_.data() + size_t(sh - 1 - r * s) * sw;
        int* dst = &pixels[size_t(offset) + size_t(r) * pitch];
        if (s == 1) {
            std::memcpy(dst, src, size_t(w) * 4);
            continue;
        }
        for (int c = 0; c < w; ++c) dst[c] = int(src[size_t(c) * s]);
    }
}

void gxtkGraphics::writePixels(gxtkSurface* surface, const std::vector<int>& pixels, int x,
                               int y, int w, int h, int offset, int pitch) {
    if (surface) surface->updatePixels(pixels, x, y, w, h, offset, pitch);
}

std::shared_ptr<gxtkSurface> gxtkGraphics::loadSurface(const String& path) {
    return loadSurfaceFile(path);
}

std::shared_ptr<gxtkSurface> gxtkGraphics::createSurface(int width, int height) {
    return makeEmptySurface(width, height);
}

int gxtkGraphics::loadSurfaceData(gxtkSurface* surface, const String& path) {
    return surface ? loadSurfaceFileData(surface, path) : 0;
}
