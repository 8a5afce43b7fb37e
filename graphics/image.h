#pragma once
// Surfaces and images.
//
//   surface: one decoded picture kept twice, as premultiplied bytes in memory and as a
//            texture of the current GL context; the texture is made lazily at the first
//            bind in a context and rebuilt from the memory copy after a new context
//            (contextGeneration grew)
//   image:   what the application holds: a surface, frames (rectangles in it), a
//            handle (the point that lands on the drawing position) and flags
//   us, vs:  texture coordinate per pixel, 1 / texture width and 1 / texture height;
//            the texture is the picture's size unless GL refused it, then the next
//            powers of two, and us, vs absorb the difference
//
// Loaders return none silently; the caller carries on.
#include <cstdint>
#include <memory>
#include <vector>

#include "host/object.h"

class gxtkSurface : public Object {
public:
    gxtkSurface() = default;
    ~gxtkSurface() override;
    gxtkSurface(const gxtkSurface&) = delete;
    gxtkSurface& operator=(const gxtkSurface&) = delete;

    virtual void discard();             // deletes this context's texture, drops the pixels
    virtual int width() const { return width_; }
    virtual int height() const { return height_; }
    virtual int isLoaded() const { return 1; }
    virtual void bind();                // makes the texture if this context has none

    // Takes the bytes (width * height * depth, rows top down) and premultiplies them.
    void setPixels(std::vector<uint8_t> data, int width, int height, int depth);
    // Stores 0xAARRGGBB words premultiplied into the memory copy and the texture.
    // Only RGBA surfaces change; a rectangle outside the surface or the array is refused.
    void updatePixels(const std::vector<int>& pixels, int x, int y, int w, int h,
                      int offset, int pitch);

    int depth() const { return depth_; }
    unsigned format() const { return format_; }
    int generation() const { return generation_; }
    unsigned texture() const { return texture_; }
    float us() const { return us_; }
    float vs() const { return vs_; }
    int textureWidth() const { return texWidth_; }
    int textureHeight() const { return texHeight_; }
    const std::vector<uint8_t>& pixels() const { return pixels_; }

    // Tests set this to make texture creation behave as if GL refused the exact size.
    static bool refuseExactSize;

private:
    friend std::shared_ptr<gxtkSurface> makeEmptySurface(int width, int height);
    void upload(int x, int y, int w, int h);

    std::vector<uint8_t> pixels_;   // width * height * depth bytes, empty when none
    int width_ = 0;                 // pixels
    int height_ = 0;
    int depth_ = 0;                 // bytes per pixel, 1..4
    unsigned format_ = 0;           // GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA
    int generation_ = -1;           // contextGeneration of the texture, -1 when none
    unsigned texture_ = 0;          // GL texture name
    float us_ = 0, vs_ = 0;         // 1 / texture size, 0 until the texture exists
    int texWidth_ = 0;              // texture size, pixels
    int texHeight_ = 0;
};

// Surface loading behind the renderer's loadSurface / loadSurfaceData / createSurface.
std::shared_ptr<gxtkSurface> loadSurfaceFile(const String& path);   // bound at once
int loadSurfaceFileData(gxtkSurface* surface, const String& path);  // 1 or 0
std::shared_ptr<gxtkSurface> makeEmptySurface(int width, int height);

class c_Frame : public Object {
public:
    c_Frame(int x = 0, int y = 0) : x(x), y(y) {}
    int x, y;   // the frame's top-left corner in the surface, pixels
};

enum ImageFlags {
    ImageFlagCentreHandle = 1,       // handle at the frame centre; not kept in the flags
    ImageFlagPadX = 2,               // 1-pixel border left and right of each frame
    ImageFlagPadY = 4,               // 1-pixel border above and below each frame
    ImageFlagWholeSurface = 65536,   // one frame covering the whole surface
};

class c_Image : public Object {
public:
    // One frame at (0, 0) of the whole surface, handle (0, 0), then the flags applied.
    c_Image(std::shared_ptr<gxtkSurface> surface, int flags);
    void applyFlags(int flags);

    std::shared_ptr<gxtkSurface> surface;
    int width = 0;                       // one frame, padding taken off
    int height = 0;
    std::vector<c_Frame> frames;
    int flags = 0;                       // ImageFlags
    float handleX = 0, handleY = 0;      // pixels from the frame's top-left corner
    std::shared_ptr<c_Image> source;     // none for every image this program makes
};
