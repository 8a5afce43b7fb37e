#pragma once
// Picture decoding from bytes in memory (any format the image decoder reads), with the
// file's own channel count. None when the bytes are not a picture.
#include <cstddef>
#include <optional>

#include "host/decode/decoded.h"

std::optional<ImagePixels> decodeImage(const uint8_t* data, size_t size);
