// tamo-demosongs FOLDER: writes the demo songs of demos.cpp into FOLDER as song files.
#include <cstdio>
#include <stdexcept>

#include "composer.h"
#include "host/text.h"
#include "tracker/core/songfile.h"

// ---- Composer ----

static int semitoneOf(const std::string& name) {
    static const char* names[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                    "F#", "G-", "G#", "A-", "A#", "B-"};
    for (int k = 0; k < 12; ++k)
        if (name.compare(0, 2, names[k]) == 0) return k;
    throw std::runtime_error("unknown note name " + name);
}

Composer::Composer(int speed, int patterns) {
    song_.clear();
    song_.speed = speed;
    song_.songLength = patterns * kRowsPerPattern;
}

void Composer::instrument(int n, const Instrument& i, const std::string& description) {
    if (description.size() > size_t(kDescriptionLength))
        throw std::runtime_error("description longer than 21 characters: " + description);
    song_.param(n, 0) = i.wav;
    song_.param(n, 1) = i.pwm;
    song_.param(n, 2) = i.rpt * 16 + i.e2p;
    song_.param(n, 3) = i.swp * 16 + i.amt;
    song_.param(n, 4) = i.env;
    song_.param(n, 5) = i.spd;
    song_.param(n, 6) = i.arp1;
    song_.param(n, 7) = i.arp2;
    String text = widen(description);
    text.resize(kDescriptionLength, U' ');
    song_.instrumentDescriptions[n] = text;
}

void Composer::order(std::initializer_list<int> patterns) {
    int i = 0;
    for (int p : patterns) song_.orderList[i++] = p;
    song_.songLength = i * kRowsPerPattern;
}

void Composer::put(int p, int row, int channel, const std::string& note, int volume,
                   int instrument) {
    int index = p * kRowsPerPattern + row;
    char32_t noteChar;
    int octaveDigit = 0;
    int inst = instrument;
    if (note == "off") noteChar = U'<';
    else if (note == "dn") noteChar = U'+', inst = 0;
    else if (note == "up") noteChar = U'#', inst = 0;
    else if (note == "end") noteChar = U'-', inst = 0, volume = 0;
    else {
        // "C-2" is octave digit 2, noteValue 0; higher octaves fold into the upper
        // note keys of octave digit 3, as the editor's top rows do.
        int octave = note.at(2) - '0';
        int k = semitoneOf(note);
        octaveDigit = octave < 3 ? octave : 3;
        int v = k + 12 * (octave - octaveDigit);
        if (octave < 0 || v > 28) throw std::runtime_error("note out of range: " + note);
        noteChar = noteCharacter(v);
    }
    song_.trackColumns[noteColumn(channel)].set(index, noteChar);
    song_.trackColumns[volumeColumn(channel)].set(index, U"0123456789ABCDEF"[volume & 15]);
    song_.trackColumns[instrumentColumn(channel)].set(index, inst ? instrumentDigit(inst) : U'0');
    song_.trackColumns[octaveColumn(channel)].set(index, char32_t(U'0' + octaveDigit));
}

void Composer::line(int p, int channel, int row, int step, const std::string& tokens,
                    int volume, int instrument) {
    size_t at = 0;
    while (at < tokens.size() && row < kRowsPerPattern) {
        size_t end = tokens.find(' ', at);
        if (end == std::string::npos) end = tokens.size();
        std::string token = tokens.substr(at, end - at);
        at = end + 1;
        if (token.empty()) continue;
        if (token != "." && token != "_") put(p, row, channel, token, volume, instrument);
        row += step;
    }
}

void Composer::drums(int p, int channel, const std::string& rows, std::initializer_list<Hit> kit) {
    for (int row = 0; row < int(rows.size()) && row < kRowsPerPattern; ++row)
        for (const Hit& h : kit)
            if (h.key == rows[row]) put(p, row, channel, h.note, h.volume, h.instrument);
}

void Composer::copyPattern(int from, int to) {
    for (auto& column : song_.trackColumns)
        for (int r = 0; r < kRowsPerPattern; ++r)
            column.set(to * kRowsPerPattern + r, column[from * kRowsPerPattern + r]);
}

// ---- Writing the files ----

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamo-demosongs FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    std::string name;
    Song song;
    for (int i = 0; buildDemo(i, name, song); ++i) {
        std::string bytes = encodeUtf8(writeSong(song));
        if (bytes.empty()) {
            std::fprintf(stderr, "tamo-demosongs: the song writer gave no text for %s\n", name.c_str());
            return 1;
        }
        std::string path = folder + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
            std::fprintf(stderr, "tamo-demosongs: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s: %d patterns, speed %d, %zu bytes\n", path.c_str(),
                    song.songLength / kRowsPerPattern, song.speed, bytes.size());
    }
    return 0;
}
