#pragma once
// graphics/: the OpenGL driver over the host: renderer, drawing state, images, fonts.
//
// gxtkGraphics: the OpenGL 1.x fixed-function renderer of the one window.
//
//   coordinates: float layout pixels, origin top-left, y down; one unit is one window
//                coordinate (the projection is set up again at every beginFrame)
//   zoom:        the host's window pixels per layout pixel; the projection maps the
//                layout onto the whole window, so what is drawn at whole coordinates
//                covers exact zoom x zoom blocks (level and upright lines are drawn as
//                rectangles, points and other lines a zoom wide); scissor, read-back
//                and the copy to the window scale with it
//   vertex:      x, y (already transformed), u, v (0..1 of the texture), colour bytes
//                R, G, B, A premultiplied by alpha; 20 bytes, handed to GL as client arrays
//   batch:       the open run of primitives of one type and one surface in the single
//                1024-vertex buffer; it reaches GL only through a flush
//   type:        vertices per primitive: 1 point, 2 line, 3 triangle, 4 quad (indexed
//                triangles, 256 quads per draw call at most), n >= 5 convex fan
//   flush:       on a change of type or surface, a full buffer, setBlend, setScissor,
//                readPixels and endFrame; colour and matrix changes never split a batch
//
//   print:       a frame's drawing taken as a 64-bit hash of its vertices instead of being
//                drawn, so a caller can tell whether drawing it again would change a pixel;
//                beside it one hash per tile of kTileWidth x kTileHeight layout pixels,
//                of the drawing that reaches the tile and every state change, so that a
//                caller can redraw only the tiles that differ (under a scissor)
//   canvas:      the back buffer the frames draw into. The screen is never cleared, so each
//                frame relies on it still holding the frames before. It is lost with a new
//                context, and after a swap when the window does not keep it (GLX swap
//                method, buffer age, or a read-back at the first swap say so); it is
//                damaged when the window system asks for a refresh or the focus changes.
//                A frame that drew a small part of an intact canvas is copied to the
//                window by endFrame (GLX_MESA_copy_sub_buffer) instead of being swapped
//
// The renderer owns the buffer and the quad index table for its whole life; drawing
// allocates nothing. It does not check GL errors (texture creation does, in image.cpp),
// does not clamp colours, and knows nothing of fonts or images beyond surfaces.
// Only graphics/ calls gl*. Main thread only.
#include <cstdint>
#include <memory>
#include <vector>

#include "host/object.h"

class gxtkSurface;

struct Vertex {
    float x, y;         // window pixels, transformed
    float u, v;         // texture coordinates; left unwritten for untextured primitives
    uint32_t colour;    // bytes R, G, B, A in memory order, premultiplied by alpha
};
static_assert(sizeof(Vertex) == 20, "the client arrays use a stride of 20 bytes");

// One draw call as it was sent to GL (kept for tests and the frame statistics).
struct DrawCall {
    unsigned mode = 0;                     // GL_POINTS, GL_LINES, GL_TRIANGLES, GL_TRIANGLE_FAN
    int first = 0;                         // first vertex (fans), 0 otherwise
    int count = 0;                         // vertices, or indices for quads
    bool indexed = false;                  // glDrawElements over the quad table
    const gxtkSurface* surface = nullptr;  // bound texture, none for untextured batches
};

class gxtkGraphics : public Object {
public:
    static constexpr int kMaxVertices = 1024;
    static constexpr int kQuadIndices = 1536;   // 256 quads of 6 indices
    static constexpr int kTileWidth = 80;       // print tiles, layout pixels
    static constexpr int kTileHeight = 4;
    static constexpr int kTileColumns = 8;      // from (0, 0); the last column and row
    static constexpr int kTileRows = 120;       // take the rest
    static constexpr int kPrintTiles = kTileColumns * kTileRows;   // row by row

    gxtkGraphics();
    ~gxtkGraphics() override;

    virtual int width() { return width_; }
    virtual int height() { return height_; }
    virtual int beginFrame();      // frame set-up (GL's waits for the first GL use); always 1
    virtual void endFrame();       // flushes the open batch
    // Whether this frame sent anything to GL.
    bool frameDrawn() const { return frameDraws_ > 0; }
    // Whether the window needs a swap to show this frame: not when it drew nothing, nor
    // when endFrame copied its small drawn rectangle to the window already.
    bool needsSwap() const { return frameDrawn() && !presented_; }
    // The canvas does not hold the earlier frames: a frame that draws must draw everything.
    bool canvasLost() const { return lost_; }
    // The window's picture may be damaged: this frame should draw and be swapped.
    bool canvasDamaged() const { return damaged_; }
    void markDamaged() { damagePending_ = true; }   // from the next frame on
    // From beginPrint to endPrint primitives are hashed, not drawn; endPrint returns the hash.
    void beginPrint();
    uint64_t endPrint();
    // The tiles of the last print, kPrintTiles of them.
    const uint64_t* tilePrints() const { return tiles_; }
    bool printing() const { return printing_; }
    // A scissor smaller than the window is set.
    bool scissored() const {
        const int* r = scissor_;
        return r[2] >= 0 && !(r[0] <= 0 && r[1] <= 0 && r[0] + r[2] >= width_ && r[1] + r[3] >= height_);
    }
    // Whether drawing within x0..x1, y0..y1 may reach a pixel inside the scissor (lines
    // and points two pixels beyond their vertices).
    bool reaches(float x0, float y0, float x1, float y1) const {
        const int* r = scissor_;
        return r[2] < 0 || !(x1 + 2 < r[0] || y1 + 2 < r[1] || x0 - 2 > r[0] + r[2] || y0 - 2 > r[1] + r[3]);
    }
    // While printing: a drawing taken whole as `hash` (of everything its vertices follow
    // from), drawing nothing outside x0..x1, y0..y1, is mixed into the print and the
    // tiles it reaches.
    void printDrawing(uint64_t hash, float x0, float y0, float x1, float y1);
    static uint64_t mixed(uint64_t hash, uint64_t word) {
        hash = (hash ^ word) * 0x100000001b3ull;
        return hash ^ hash >> 29;   // the high bits reach the low ones
    }
    virtual void discardGraphics();

    // Surfaces (image.cpp does the work).
    virtual std::shared_ptr<gxtkSurface> loadSurface(const String& path);
    virtual std::shared_ptr<gxtkSurface> createSurface(int width, int height);
    virtual int loadSurfaceData(gxtkSurface* surface, const String& path);

    virtual void clear(float r, float g, float b);   // drops the open batch unseen
    virtual void setAlpha(float alpha);               // 0..1
    virtual void setColor(float r, float g, float b); // 0..255 each
    virtual void setBlend(int mode);                  // 1 additive, else premultiplied
    virtual void setScissor(int x, int y, int w, int h);
    virtual void setMatrix(float ix, float iy, float jx, float jy, float tx, float ty);

    virtual void drawPoint(float x, float y);
    virtual void drawRect(float x, float y, float w, float h);
    virtual void drawLine(float x1, float y1, float x2, float y2);
    virtual void drawOval(float x, float y, float w, float h);
    virtual void drawPoly(const float* xy, int length);   // x0, y0, x1, y1, ...
    void drawPoly(const std::vector<float>& xy) { drawPoly(xy.data(), int(xy.size())); }
    virtual void drawTexturedPoly(const float* xyuv, int length, gxtkSurface* surface,
                                  int srcX, int srcY);
    virtual void drawSurface(gxtkSurface* surface, float x, float y);
    virtual void drawSurfaceRect(gxtkSurface* surface, float x, float y,
                                 int srcX, int srcY, int srcW, int srcH);

    // Pixels as 0xAARRGGBB words, row r of the rectangle at pixels[offset + r * pitch].
    // A rectangle that does not fit the array is refused (nothing read or written).
    virtual void readPixels(std::vector<int>& pixels, int x, int y, int w, int h,
                            int offset, int pitch);
    virtual void writePixels(gxtkSurface* surface, const std::vector<int>& pixels, int x,
                             int y, int w, int h, int offset, int pitch);

    // Sends the open batch to GL if it holds vertices.
    void flush();
    // A surface that is going away leaves the batch first (flushed if it is in use).
    void forgetSurface(const gxtkSurface* surface);

    // What the batch holds and what reached GL, for tests and statistics.
    int batchType() const { return primType_; }
    int vertexCount() const { return vertexCount_; }
    const gxtkSurface* batchSurface() const { return surface_; }
    const Vertex* vertices() const { return vertices_; }
    const uint16_t* quadIndices() const { return quadIndices_; }
    uint32_t packedColour() const { return colour_; }
    bool transformed() const { return transformed_; }
    int drawCallCount() const { return drawCalls_; }      // since resetDrawCalls
    const DrawCall& drawCall(int i) const { return log_[i % kLogSize]; }
    void resetDrawCalls() { drawCalls_ = 0; }

private:
    static constexpr int kLogSize = 64;

    Vertex* reserve(int type, int n, gxtkSurface* surface);
    void put(Vertex& v, float x, float y) const;
    void markDirty();
    void cullLast();
    void record(unsigned mode, int first, int count, bool indexed);
    void repack();
    void mix(uint64_t word);   // into the print and every tile
    void mixPending();
    void prepareGl();
    void applyBlend();
    void applyScissor();
    void checkCanvas();
    bool canvasKeptAfterSwap();
    bool copySmallFrame();
    void readProbe(std::vector<uint32_t>& out);

    int width_ = 0;                 // window size, screen coordinates
    int height_ = 0;
    int fbWidth_ = 0;               // framebuffer size, pixels (a zoom times the above)
    int fbHeight_ = 0;
    int scale_ = 1;                 // window pixels per layout pixel
    int resizes_ = 0;               // the host's count of window size changes, last frame
    uint32_t colour_ = 0;           // packed colour of every new vertex
    float red_ = 0, green_ = 0, blue_ = 0;   // 0..255, last setColor
    float alpha_ = 0;               // 0..1, last setAlpha
    float ix_ = 1, iy_ = 0, jx_ = 0, jy_ = 1, tx_ = 0, ty_ = 0;   // current transform
    bool transformed_ = false;      // false exactly when the matrix is the identity
    Vertex vertices_[kMaxVertices];
    uint16_t quadIndices_[kQuadIndices];
    int primType_ = 0;              // vertices per primitive of the open batch
    int vertexCount_ = 0;           // vertices in the open batch
    int lastCount_ = 0;             // of them, the last primitive's, until it is culled or kept
    gxtkSurface* surface_ = nullptr;   // texture of the open batch, none if untextured
    std::vector<uint32_t> readBuffer_; // readPixels' scratch rows, grows only
    int drawCalls_ = 0;             // draw calls since resetDrawCalls
    DrawCall log_[kLogSize];        // the latest draw calls, a ring
    int frameDraws_ = 0;            // draw calls and clears since beginFrame
    bool glReady_ = false;          // this frame's GL set-up is done
    int blend_ = 0;                 // 1 additive, else premultiplied alpha
    int scissor_[4] = {0, 0, -1, -1};   // x, y, w, h top-down; w < 0 or the whole window: none
    bool printing_ = false;         // between beginPrint and endPrint
    uint64_t print_ = 0;            // the hash being taken
    int printPending_ = 0;          // vertices at vertices_[0] not yet mixed into it
    uint64_t pendingKind_ = 0;      // their primitive's type and surface, mixed with them
    uint64_t tiles_[kPrintTiles] = {};   // the print of each tile
    int generation_ = 0;            // contextGeneration of the last frame
    bool lost_ = false;             // this frame's canvas does not hold the earlier ones
    bool damaged_ = false;          // this frame's window picture may be damaged
    bool damagePending_ = false;    // a refresh or focus change since the last frame
    bool lastFrameSwapped_ = false; // the previous frame needed a swap
    bool presented_ = false;        // this frame was copied to the window by endFrame
    // What this frame drew, as up to kDrawnAreas rectangles (x0, y0, x1, y1), so that
    // a moved play line and the meters reach the window as two small copies.
    static constexpr int kDrawnAreas = 4;
    float drawn_[kDrawnAreas][4] = {};
    int drawnAreas_ = 0;            // rectangles in drawn_
    void addDrawn(const float box[4]);
    unsigned white_ = 0;            // the 1 x 1 white texture of untextured drawing
    int whiteGeneration_ = -1;      // contextGeneration of white_
    void bindWhite();
    void* copySubBuffer_ = nullptr; // glXCopySubBufferMESA when the window offers it
    int kept_ = 0;                  // 1 the window keeps the canvas over a swap, -1 not, 0 unknown
    bool useBufferAge_ = false;     // the window reports the back buffer's age
    std::vector<uint32_t> probe_;   // pixels read before the first swap, to compare after it
};

extern gxtkGraphics* graphicsDevice;   // the renderer, from start-up on
extern gxtkGraphics* renderDevice;     // == graphicsDevice only while rendering
