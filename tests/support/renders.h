#pragma once
// The committed checksums of the demo songs' renders (tests/e2e/render_checksums.txt):
// 64-bit FNV-1a of the samples of the WAV that tamo-render writes.
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "support/files.h"

// The bytes of the "data" chunk of a RIFF WAVE file (the samples), empty if none.
inline std::string sampleBytes(const std::string& wav) {
    if (wav.size() < 12 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(8, 4, "WAVE") != 0)
        return {};
    size_t at = 12;
    while (at + 8 <= wav.size()) {
        uint32_t size = 0;
        for (int i = 3; i >= 0; --i) size = size << 8 | uint8_t(wav[at + 4 + i]);
        if (wav.compare(at, 4, "data") == 0) return wav.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

// 64-bit FNV-1a, printed as 16 hex digits.
inline std::string checksum(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", (unsigned long long)h);
    return text;
}

// "name checksum" lines of the committed file.
inline std::map<std::string, std::string> committedChecksums() {
    std::map<std::string, std::string> sums;
    std::istringstream lines(readFile(TAMO_SOURCE_DIR "/tests/e2e/render_checksums.txt"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name, sum;
        if (words >> name >> sum && name[0] != '#') sums[name] = sum;
    }
    return sums;
}
