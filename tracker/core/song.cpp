#include "tracker/core/song.h"

#include <cmath>

const std::array<const char32_t*, kWaveSamples> kWaveFiles = {
    U"wav/ramp_64.wav", U"wav/ramp_b_64.wav", U"wav/ramp_c_64.wav", U"wav/saw_64.wav",
    U"wav/fx2b.wav",    U"wav/tri_64.wav",    U"wav/hnoise.wav",    U"wav/zero_64.wav",
};

// The piano keys of a German keyboard, in noteValue order 0..28.
static const char32_t kNoteKeys[] = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0p";

String emptyColumn(int column) {
    return String(kColumnLength, emptyCell(column));
}

void Song::clear() {
    for (int k = 0; k < kColumns; ++k) trackColumns[k] = emptyColumn(k);
    orderList.fill(0);
    instrumentTable.fill(0);
    for (auto& d : instrumentDescriptions) d.clear();
    songLength = 32;
    speed = 4;
}

char32_t Song::cell(int column, int index) const {
    const String& c = trackColumns[column];
    if (index < 0 || size_t(index) >= c.size()) return emptyCell(column);
    return c[index];
}

int Song::param(int instrument, int j) const {
    int i = instrument * 8 + j;
    return (i >= 0 && i < kInstrumentTableLength) ? instrumentTable[i] : 0;
}

int& Song::param(int instrument, int j) {
    static int scratch;
    int i = instrument * 8 + j;
    if (i < 0 || i >= kInstrumentTableLength) return scratch = 0;
    return instrumentTable[i];
}

int noteValue(char32_t c) {
    switch (c) {
        case U'.': return kNoteEmpty;
        case U'<': return kNoteOff;
        case U'+': return kSlideDown;
        case U'#': return kSlideUp;
        case U'-': return kPatternEnd;
        default: break;
    }
    for (int v = 0; v < 29; ++v)
        if (kNoteKeys[v] == c) return v;
    return 0;
}

char32_t noteCharacter(int v) {
    return (v >= 0 && v < 29) ? kNoteKeys[v] : U'y';
}

int decimalValue(char32_t c) {
    return (c >= U'0' && c <= U'9') ? int(c - U'0') : 0;
}

int hexValue(char32_t c) {
    if (c >= U'a' && c <= U'f') return int(c - U'a') + 10;
    if (c >= U'A' && c <= U'F') return int(c - U'A') + 10;
    return decimalValue(c);
}

char32_t instrumentDigit(int instrument) {
    if (instrument >= 10 && instrument <= 15) return char32_t(U'A' + (instrument - 10));
    return char32_t(U'0' + (instrument % 10));
}

double pitchFactor(double semitone) {
    return std::pow(kSemitone, semitone);
}

std::optional<std::pair<int, int>> wavPair(int wav) {
    static const int kMain[] = {1, 2, 0, 5, 1, 4, 6};
    static const int kSecond[] = {3, 3, 3, 7, 7, 7, 7};
    if (wav < 1 || wav > 7) return std::nullopt;
    return std::make_pair(kMain[wav - 1], kSecond[wav - 1]);
}
