// Surfaces (memory copy plus a lazily made texture) and images (frames on a surface).
//
// Sections:
//   [surface pixels]   setPixels, updatePixels
//   [surface texture]  bind, upload, discard
//   [loading]          loadSurfaceFile, loadSurfaceFileData, makeEmptySurface
//   [images]           c_Image, applyFlags, loadImage, drawImage
#include "graphics/image.h"

#include <GL/gl.h>

#include "graphics/drawing.h"
#include "graphics/renderer.h"
#include "host/datapath.h"
#include "host/game.h"

bool gxtkSurface::refuseExactSize = false;

static unsigned formatForDepth(int depth) {
    switch (depth) {
    case 1: return GL_LUMINANCE;
    case 2: return GL_LUMINANCE_ALPHA;
    case 3: return GL_RGB;
    default: return GL_RGBA;
    }
}

// [surface pixels] -----------------------------------------------------------------

// A batch that still uses this surface is drawn before the texture goes.
gxtkSurface::~gxtkSurface() {
    if (graphicsDevice) graphicsDevice->forgetSurface(this);
    discard();
}

// Premultiplied once here, so drawing does no per-pixel work. A texture made from
// earlier pixels is dropped, so the next bind uploads these.
void gxtkSurface::setPixels(std::vector<uint8_t> data, int width, int height, int depth) {
    if (generation_ == contextGeneration && generation_ > 0) glDeleteTextures(1, &texture_);
    generation_ = -1;
    pixels_ = std::move(data);
    width_ = width;
    height_ = height;
    depth_ = depth;
    format_ = formatForDepth(depth);
    size_t count = size_t(width) * size_t(height);
    if (pixels_.size() < count * size_t(depth)) return;   // short data stays as it is
    uint8_t* p = pixels_.data();
    if (depth == 2) {
        for (size_t k = 0; k < count; ++k, p += 2) p[0] = uint8_t(p[0] * p[1] / 255);
    } else if (depth == 4) {
        for (size_t k = 0; k < count; ++k, p += 4) {
            p[0] = uint8_t(p[0] * p[3] / 255);
            p[1] = uint8_t(p[1] * p[3] / 255);
            p[2] = uint8_t(p[2] * p[3] / 255);
        }
    }
}

void gxtkSurface::updatePixels(const std::vector<int>& pixels, int x, int y, int w, int h,
                               int offset, int pitch) {
    if (format_ != GL_RGBA) return;
    if (w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > width_ || y + h > height_) return;
    if (offset < 0 || pitch < 0 ||
        (long long)offset + (long long)(h - 1) * pitch + w > (long long)pixels.size())
        return;
    if (pixels_.empty()) pixels_.resize(size_t(width_) * size_t(height_) * 4);
    for (int r = 0; r < h; ++r) {
        const int* src = pixels.data() + offset + size_t(r) * pitch;
        uint8_t* dst = pixels_.data() + (size_t(y + r) * width_ + x) * 4;
        for (int c = 0; c < w; ++c, dst += 4) {
            uint32_t argb = uint32_t(src[c]);
            uint32_t a = argb >> 24;
            dst[0] = uint8_t(((argb >> 16) & 255) * a / 255);
            dst[1] = uint8_t(((argb >> 8) & 255) * a / 255);
            dst[2] = uint8_t((argb & 255) * a / 255);
            dst[3] = uint8_t(a);
        }
    }
    if (generation_ == contextGeneration && generation_ > 0) {
        glBindTexture(GL_TEXTURE_2D, texture_);
        upload(x, y, w, h);
    }
}

// [surface texture] ----------------------------------------------------------------

// Sends a rectangle of the memory copy to the bound texture: one call when whole rows
// are contiguous, else one call per row.
void gxtkSurface::upload(int x, int y, int w, int h) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const uint8_t* base = pixels_.data();
    if (w == width_) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, format_, GL_UNSIGNED_BYTE,
                        base + size_t(y) * width_ * depth_);
        return;
    }
    for (int r = 0; r < h; ++r) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, y + r, w, 1, format_, GL_UNSIGNED_BYTE,
                        base + (size_t(y + r) * width_ + x) * depth_);
    }
}

static int nextPowerOfTwo(int n) {
    int p = 1;
    while (p < n) p *= 2;
    return p;
}

void gxtkSurface::bind() {
    if (contextGeneration == 0) return;
    if (generation_ == contextGeneration) {
        glBindTexture(GL_TEXTURE_2D, texture_);
        return;
    }
    generation_ = contextGeneration;
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    for (int k = 0; k < 16 && glGetError() != GL_NO_ERROR; ++k) {}   // not this texture's
    texWidth_ = width_;
    texHeight_ = height_;
    glTexImage2D(GL_TEXTURE_2D, 0, format_, width_, height_, 0, format_, GL_UNSIGNED_BYTE,
                 nullptr);
    bool refused = glGetError() != GL_NO_ERROR;
    if (refused || refuseExactSize) {
        texWidth_ = nextPowerOfTwo(width_);
        texHeight_ = nextPowerOfTwo(height_);
        glTexImage2D(GL_TEXTURE_2D, 0, format_, texWidth_, texHeight_, 0, format_,
                     GL_UNSIGNED_BYTE, nullptr);
    }
    us_ = float(1.0 / texWidth_);
    vs_ = float(1.0 / texHeight_);
    if (!pixels_.empty()) upload(0, 0, width_, height_);
}

// A texture of an earlier context is not deleted: that context no longer exists.
void gxtkSurface::discard() {
    if (generation_ == contextGeneration && generation_ > 0) {
        glDeleteTextures(1, &texture_);
        generation_ = -1;
    }
    pixels_.clear();
    pixels_.shrink_to_fit();
}

// [loading] ------------------------------------------------------------------------

int loadSurfaceFileData(gxtkSurface* surface, const String& path) {
    VXGame* game = VXGame::current();
    if (!surface || !game) return 0;
    std::optional<ImagePixels> picture = game->loadImagePixels(path);
    if (!picture || picture->width <= 0 || picture->height <= 0 || picture->depth < 1 ||
        picture->depth > 4)
        return 0;
    surface->setPixels(std::move(picture->data), picture->width, picture->height,
                       picture->depth);
    return 1;
}

std::shared_ptr<gxtkSurface> loadSurfaceFile(const String& path) {
    auto surface = std::make_shared<gxtkSurface>();
    if (!loadSurfaceFileData(surface.get(), path)) return nullptr;
    surface->bind();
    return surface;
}

std::shared_ptr<gxtkSurface> makeEmptySurface(int width, int height) {
    auto surface = std::make_shared<gxtkSurface>();
    surface->width_ = width;
    surface->height_ = height;
    surface->depth_ = 4;
    surface->format_ = GL_RGBA;
    surface->bind();
    return surface;
}

// [images] -------------------------------------------------------------------------

c_Image::c_Image(std::shared_ptr<gxtkSurface> s, int flags) : surface(std::move(s)) {
    width = surface->width();
    height = surface->height();
    frames.emplace_back(0, 0);
    applyFlags(flags);
}

void c_Image::applyFlags(int newFlags) {
    flags = newFlags;
    if (flags & ImageFlagPadX) {
        for (c_Frame& f : frames) f.x += 1;
        width -= 2;
    }
    if (flags & ImageFlagPadY) {
        for (c_Frame& f : frames) f.y += 1;
        height -= 2;
    }
    if (flags & ImageFlagCentreHandle) {
        handleX = width * 0.5f;
        handleY = height * 0.5f;
        flags &= ~ImageFlagCentreHandle;
    }
    if (frames.size() == 1 && frames[0].x == 0 && frames[0].y == 0 &&
        width == surface->width() && height == surface->height())
        flags |= ImageFlagWholeSurface;
}

std::shared_ptr<c_Image> loadImage(const String& path, int flags) {
    String resolved = toDataPath(path);
    std::shared_ptr<gxtkSurface> surface =
        graphicsDevice ? graphicsDevice->loadSurface(resolved) : loadSurfaceFile(resolved);
    if (!surface) return nullptr;
    return std::make_shared<c_Image>(std::move(surface), flags);
}

void drawImage(const c_Image* image, float x, float y, int frame) {
    if (!renderDevice || !image || frame < 0 || frame >= int(image->frames.size())) return;
    validateMatrix();
    gxtkSurface* surface = image->surface.get();
    if (image->flags & ImageFlagWholeSurface) {
        renderDevice->drawSurface(surface, x - image->handleX, y - image->handleY);
    } else {
        const c_Frame& f = image->frames[size_t(frame)];
        renderDevice->drawSurfaceRect(surface, x - image->handleX, y - image->handleY, f.x,
                                      f.y, image->width, image->height);
    }
}
