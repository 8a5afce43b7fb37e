#pragma once
// OGG Vorbis decoding from bytes in memory into interleaved 16-bit samples.
#include <cstddef>
#include <optional>

#include "host/decode/decoded.h"

// The longest stream the decoder takes: longer ones are refused before any sound is
// decoded (by their stated length) or while decoding (by what they hold).
constexpr int kMaxOggSeconds = 600;

std::optional<DecodedSound> decodeOgg(const uint8_t* data, size_t size);
