#pragma once
// host/decode/: the decoders the host's loaders call; bytes in, samples or pixels out.
//
// What the host's file loaders hand to the graphics and audio layers.
#include <cstdint>
#include <vector>

struct ImagePixels {
    std::vector<uint8_t> data;  // width*height*depth bytes, rows top to bottom
    int width = 0;              // pixels
    int height = 0;             // pixels
    int depth = 0;              // bytes per pixel, 1..4
};

struct DecodedSound {
    std::vector<uint8_t> data;  // interleaved PCM
    int length = 0;             // sample frames (samples per channel)
    int channels = 0;           // 1 or 2 for the formats that upload
    int format = 0;             // bytes per sample: 1 unsigned 8-bit, 2 signed 16-bit LE
    int hertz = 0;              // sample rate
};
