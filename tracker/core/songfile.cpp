// Song files: the TAM1 writer and reader on text, and song names.
//
//   [layout]   sizes and offsets of the fields
//   [text]     songDigest, writeSong, readSong
//   [names]    isSongName, cutSongName
#include "tracker/core/songfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

// ---- [layout] ----

namespace {

const String kMagic = U"TAM1";
constexpr int kHeaderLength = 7;                // magic, length, speed, P
constexpr int kStoredInstrumentEntries = 249;   // instrumentTable[0..248]
constexpr int kStoredDescriptions = 31;         // slots 1..31

// Character offsets of the fields after the columns, for P patterns.
long orderOffset(long patterns) { return kHeaderLength + kColumns * patterns * kRowsPerPattern; }
long instrumentOffset(long patterns) { return orderOffset(patterns) + kOrderLength; }
long descriptionOffset(long patterns) { return instrumentOffset(patterns) + kStoredInstrumentEntries; }

// A number field read back: the code point, capped at the largest one.
int number(char32_t c) { return int(std::min<char32_t>(c, 0x10FFFF)); }

}  // namespace

int storedPatterns(const Song& song) {
    int largest = *std::max_element(song.orderList.begin(), song.orderList.end());
    return std::clamp(largest + 1, 1, kPatterns);
}

long songFileLength(long patterns) {
    return descriptionOffset(patterns) + kStoredDescriptions * kDescriptionLength;
}

const size_t kMaxSongFileBytes = size_t(4 * songFileLength(kPatterns) + 3);

// ---- [text] ----

namespace {

struct Digest {
    uint64_t value = 14695981039346656037ull;   // FNV-1a offset basis
    void byte(uint64_t b) {
        value ^= b & 0xFF;
        value *= 1099511628211ull;                // FNV prime
    }
    // The low four bytes of `word`, lowest first.
    void add(uint64_t word) {
        byte(word);
        byte(word >> 8);
        byte(word >> 16);
        byte(word >> 24);
    }
    // Byte cells are read eight to a step, from storage and then from the fill, the
    // same steps however much of the column is stored: multiplying by the odd prime is
    // one to one, so a change within one step always shows.
    void add(const Column& cells) {
        const size_t size = cells.size();
        add(size);
        const char* bytes = cells.byteCells();
        if (!bytes || cells.fill() > 0xFF) {
            for (size_t i = 0; i < size; ++i) add(uint64_t(cells[i]));
            return;
        }
        const size_t stored = cells.storedCells();
        uint64_t fill = 0x0101010101010101ull * uint8_t(cells.fill());
        size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            uint64_t eight = fill;
            if (i + 8 <= stored) std::memcpy(&eight, bytes + i, 8);
            else if (i < stored) std::memcpy(&eight, bytes + i, stored - i);
            value ^= eight;
            value *= 1099511628211ull;
        }
        for (; i < size; ++i) byte(uint8_t(cells[i]));
    }
    void add(const String& text) {
        add(text.size());   // keeps "ab"+"c" apart from "a"+"bc"
        for (char32_t c : text) add(uint64_t(c));
    }
};

}  // namespace

uint64_t songDigest(const Song& song) {
    Digest d;
    d.add(uint64_t(song.songLength));
    d.add(uint64_t(song.speed));
    for (const Column& column : song.trackColumns) d.add(column);
    for (int entry : song.orderList) d.add(uint64_t(uint32_t(entry)));
    for (int value : song.instrumentTable) d.add(uint64_t(uint32_t(value)));
    for (const String& text : song.instrumentDescriptions) d.add(text);
    return d.value;
}

String writeSong(const Song& song) {
    String text;
    writeSong(song, text);
    return text;
}

void writeSong(const Song& song, String& text) {
    const int patterns = storedPatterns(song);
    const int cells = patterns * kRowsPerPattern;
    text.clear();
    text.reserve(size_t(songFileLength(patterns)));
    text += kMagic;
    text += char32_t(song.songLength / kRowsPerPattern);
    text += char32_t(song.speed);
    text += char32_t(patterns);
    for (int k = 0; k < kColumns; ++k) song.trackColumns[k].appendTo(text, size_t(cells), emptyCell(k));
    for (int entry : song.orderList) text += char32_t(entry);
    for (int i = 0; i < kStoredInstrumentEntries; ++i) text += char32_t(song.instrumentTable[i]);
    for (int slot = 1; slot <= kStoredDescriptions; ++slot) {
        const String& field = song.instrumentDescriptions[slot];
        const size_t kept = std::min(field.size(), size_t(kDescriptionLength));
        text.append(field, 0, kept);
        text.append(kDescriptionLength - kept, U' ');
    }
}

bool readSong(const String& text, Song& song) {
    if (text.size() < size_t(kHeaderLength) || text.compare(0, kMagic.size(), kMagic) != 0) return false;
    const long patterns = long(text[6]);
    if (patterns < 1 || patterns > kPatterns) return false;
    if (text.size() < size_t(songFileLength(patterns))) return false;

    const size_t cells = size_t(patterns) * kRowsPerPattern;
    Song loaded = song;   // keeps instrument entries 249..254 and description slot 0
    loaded.songLength = number(text[4]) * kRowsPerPattern;
    loaded.speed = text[5] == 0 ? 5 : number(text[5]);
    for (int k = 0; k < kColumns; ++k)
        loaded.trackColumns[k] =
            Column(text.data() + kHeaderLength + k * cells, cells, kColumnLength, emptyCell(k));
    const size_t order = size_t(orderOffset(patterns));
    for (int i = 0; i < kOrderLength; ++i) loaded.orderList[i] = number(text[order + i]);
    const size_t instruments = size_t(instrumentOffset(patterns));
    for (int i = 0; i < kStoredInstrumentEntries; ++i)
        loaded.instrumentTable[i] = number(text[instruments + i]);
    const size_t descriptions = size_t(descriptionOffset(patterns));
    for (int slot = 1; slot <= kStoredDescriptions; ++slot)
        loaded.instrumentDescriptions[slot] =
            text.substr(descriptions + (slot - 1) * kDescriptionLength, kDescriptionLength);
    song = std::move(loaded);
    return true;
}

// ---- [names] ----

bool isSongName(const String& name) {
    const std::string bytes = narrow(name);
    if (bytes.empty() || bytes[0] == '/' || bytes.find('\0') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        size_t end = bytes.find('/', start);
        if (bytes.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") == 0)
            return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

String cutSongName(const String& name) {
    for (size_t i = name.size(); i-- > 5;)
        if (name[i] == U'\\' && name.compare(i - 5, 5, U"songs") == 0) return name.substr(i);
    return name;
}

bool startsAsSong(const std::string& bytes) { return bytes.compare(0, kMagic.size(), narrow(kMagic)) == 0; }
