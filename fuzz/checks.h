#pragma once
// What must hold when outside bytes meet a reader, shared by the fuzz targets (which
// abort when a check fails) and the regression test that replays the inputs the
// fuzzers once found (tests/e2e/fuzz_cases/TARGET/). Each check returns false when
// the reader accepted the bytes but handed back something inconsistent; a crash or
// an undefined operation inside the reader is caught by the sanitizers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/decode/ogg.h"
#include "host/decode/wav.h"
#include "graphics/font.h"
#include "graphics/image.h"
#include "host/decode/image.h"
#include "host/datapath.h"
#include "tracker/core/songfile.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAMO_FUZZ_POISON 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TAMO_FUZZ_POISON 1
#endif
#ifdef TAMO_FUZZ_POISON
#include <sanitizer/asan_interface.h>
#endif

// A text a check writes, in storage kept for the whole run: a long song's text would
// otherwise be a mapping of its own at every input, and its pages faulting in cost
// more than the check. Under the address checks everything past the text (from one
// after its end) is poisoned while the check uses it, and all of it after: a read
// beyond the end, or through a pointer kept from an earlier input, faults as it
// would on a text of its own.
class ScratchText {
public:
    explicit ScratchText(String& kept) : text_(kept) { poison(0, false); }
    ~ScratchText() { poison(0, true); }
    ScratchText(const ScratchText&) = delete;
    ScratchText& operator=(const ScratchText&) = delete;
    // The text to write into.
    String& text() { return text_; }
    // The text once written.
    const String& done() {
        poison(text_.size() + 1, true);
        return text_;
    }

private:
    void poison(size_t from, bool on) {
#ifdef TAMO_FUZZ_POISON
        char32_t* begin = text_.data() + from;
        size_t bytes = (text_.capacity() + 1 - from) * sizeof(char32_t);
        if (on) ASAN_POISON_MEMORY_REGION(begin, bytes);
        else ASAN_UNPOISON_MEMORY_REGION(begin, bytes);
#else
        (void)from;
        (void)on;
#endif
    }
    String& text_;
};

// Storage for a ScratchText, large enough for the longest song so it never moves.
inline String scratchStorage() {
    String text;
    text.reserve(size_t(songFileLength(kPatterns)));
    return text;
}

// The song reader on bytes decoded as a song file's text: an accepted song keeps 8192
// cells in every column and writes back to a text that reads again to the same order
// list and the same cells in the patterns it plays.
inline bool checkReadSong(const uint8_t* data, size_t size) {
    static String decoded = scratchStorage(), written = scratchStorage();
    ScratchText text(decoded);
    decodeText(data, size, text.text());
    Song song;
    song.clear();
    if (!readSong(text.done(), song)) return true;
    for (const auto& column : song.trackColumns)
        if (column.size() != size_t(kColumnLength)) return false;
    Song again;
    again.clear();
    ScratchText back(written);
    writeSong(song, back.text());
    if (!readSong(back.done(), again)) return false;
    if (again.orderList != song.orderList) return false;
    int last = 0;
    for (int p : song.orderList) last = p > last ? p : last;
    // An order entry above 255 names cells past the end: then every cell counts.
    size_t cells = size_t(last + 1) * kRowsPerPattern;
    for (int k = 0; k < kColumns; ++k)
        if (!again.trackColumns[k].samePrefix(song.trackColumns[k], cells)) return false;
    return true;
}

// Whole-file text decoding: never more characters than bytes, each at most U+10FFFF.
inline bool checkDecodeText(const uint8_t* data, size_t size) {
    String text = decodeText(data, size);
    if (text.size() > size) return false;
    for (char32_t c : text)
        if (c > 0x10FFFF) return false;
    return true;
}

// The WAV reader: an accepted sound holds the samples it states, and never more bytes
// than the file had.
inline bool checkDecodeWav(const uint8_t* data, size_t size) {
    auto sound = decodeWav(data, size);
    if (!sound) return true;
    if (sound->data.size() > size) return false;
    if (sound->length < 0 || sound->channels < 0 || sound->format < 0) return false;
    size_t stated = size_t(sound->length) * size_t(sound->channels) * size_t(sound->format);
    return stated <= sound->data.size();
}

// Picture decoding: an accepted picture holds width x height x depth bytes.
inline bool checkDecodeImage(const uint8_t* data, size_t size) {
    auto image = decodeImage(data, size);
    if (!image) return true;
    if (image->width <= 0 || image->height <= 0 || image->depth < 1 || image->depth > 4)
        return false;
    return image->data.size() ==
           size_t(image->width) * size_t(image->height) * size_t(image->depth);
}

// The OGG reader: an accepted sound is 16-bit, holds exactly the frames it states,
// and is never longer than the decoder's bound.
inline bool checkDecodeOgg(const uint8_t* data, size_t size) {
    auto sound = decodeOgg(data, size);
    if (!sound) return true;
    if (sound->channels < 1 || sound->format != 2 || sound->hertz <= 0 || sound->length < 0)
        return false;
    if (sound->data.size() != size_t(sound->length) * size_t(sound->channels) * 2) return false;
    return sound->length <= (long long)kMaxOggSeconds * sound->hertz;
}

// Every glyph of a strip font lies inside its page and has no negative size.
inline bool glyphsInsidePage(const c_Font& font, const c_Image& page) {
    for (const auto& [code, g] : font.glyphs) {
        if (g.width < 0 || g.height < 0 || g.x < 0 || g.y < 0) return false;
        if (g.x + g.width > page.width || g.y + g.height > page.height) return false;
    }
    return true;
}

// A picture into a surface and into a font, both ways: premultiplied pixels never
// hold a colour above their alpha, and a font built from the picture keeps its glyphs
// inside it.
inline bool checkLoadPicture(const uint8_t* data, size_t size) {
    auto picture = decodeImage(data, size);
    if (!picture) return true;
    auto surface = std::make_shared<gxtkSurface>();
    surface->setPixels(std::move(picture->data), picture->width, picture->height, picture->depth);
    const std::vector<uint8_t>& pixels = surface->pixels();
    int depth = surface->depth();
    if (depth == 2 || depth == 4)
        for (size_t i = 0; i + size_t(depth) <= pixels.size(); i += size_t(depth))
            for (int c = 0; c + 1 < depth; ++c)
                if (pixels[i + size_t(c)] > pixels[i + size_t(depth) - 1]) return false;
    auto image = std::make_shared<c_Image>(surface, 0);
    for (bool padded : {false, true}) {
        auto font = buildStripFont(image, padded);
        if (font && !glyphsInsidePage(*font, *image)) return false;
    }
    return true;
}

#include "fuzz/stages.h"

// The check of a fuzz target by its name ("readsong", ...), or null.
inline bool (*checkFor(const std::string& target))(const uint8_t*, size_t) {
    if (target == "readsong") return checkReadSong;
    if (target == "decodetext") return checkDecodeText;
    if (target == "decodewav") return checkDecodeWav;
    if (target == "decodeimage") return checkDecodeImage;
    if (target == "decodeogg") return checkDecodeOgg;
    if (target == "loadpicture") return checkLoadPicture;
    if (target == "uploadwav") return checkUploadWav;
    if (target == "playsong") return checkPlaySong;
    if (target == "loadsong") return checkLoadSong;
    return nullptr;
}
