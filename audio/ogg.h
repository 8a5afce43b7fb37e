#pragma once
// OGG Vorbis decoding from bytes in memory into interleaved 16-bit samples.
#include <cstddef>
#include <optional>

#include "host/decoded.h"

std::optional<DecodedSound> decodeOgg(const uint8_t* data, size_t size);
