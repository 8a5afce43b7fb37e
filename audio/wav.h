#pragma once
// RIFF WAVE integer PCM decoding from bytes in memory. None when the bytes are refused.
#include <cstddef>
#include <optional>

#include "host/decoded.h"

std::optional<DecodedSound> decodeWav(const uint8_t* data, size_t size);
