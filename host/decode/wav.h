#pragma once
// RIFF WAVE integer PCM decoding from bytes in memory. None when the bytes are refused.
#include <cstddef>
#include <optional>
#include <vector>

#include "host/decode/decoded.h"

std::optional<DecodedSound> decodeWav(const uint8_t* data, size_t size);

// The 44-byte header of an integer PCM file whose data chunk holds `dataBytes` bytes.
std::vector<uint8_t> wavHeader(int channels, int hertz, int bitsPerSample, uint32_t dataBytes);
