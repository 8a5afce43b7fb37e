#include "host/text.h"

// Both run over whole song columns: plain pointers keep them cheap in every build.
std::string narrow(const String& text) {
    std::string out(text.size(), '\0');
    const char32_t* in = text.data();
    char* to = out.data();
    for (size_t i = 0, n = text.size(); i < n; ++i) to[i] = char(in[i] & 0xFF);
    return out;
}

String widen(const std::string& bytes) {
    String out(bytes.size(), U'\0');
    const char* in = bytes.data();
    char32_t* to = out.data();
    for (size_t i = 0, n = bytes.size(); i < n; ++i) to[i] = char32_t(uint8_t(in[i]));
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
