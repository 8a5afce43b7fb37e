#include "host/text.h"

#include <algorithm>

// Both run over whole song columns: one copy each, cheap in every build.
std::string narrow(const String& text) {
    std::string out(text.size(), '\0');
    std::transform(text.begin(), text.end(), out.begin(), [](char32_t c) { return char(c & 0xFF); });
    return out;
}

String widen(const std::string& bytes) {
    String out(bytes.size(), U'\0');
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::copy(in, in + bytes.size(), out.begin());
    return out;
}

std::string encodeUtf8(const String& text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | ((c >> 18) & 0x07));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

String toString(int value) {
    return widen(std::to_string(value));
}
