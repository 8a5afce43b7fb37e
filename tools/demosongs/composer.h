#pragma once
// A small composing kit over the song model: the demo songs are written as code with
// it, so a change to a demo is a readable diff and the file is always regenerated.
//
//   note token:  "C-2", "C#2", ... as the screen names them ("C-2" is the sample's own
//                pitch, rate 1.0), or "off" (note off "<"), "dn" ("+" slide down),
//                "up" ("#" slide up), "end" ("-" pattern end); "." or "_" is a rest
//   volume:      0..15 (8 = 1.0; 9..15 sustain at volume - 1.0 after the decay)
//   instrument:  1..15
#include <string>

#include "tracker/core/song.h"

struct Instrument {
    int wav = 1;      // 1..7 waveform pair
    int pwm = 0;      // 0..15 detune depth of the second voice
    int rpt = 0;      // 0..1 arpeggio once (1) or repeating (0)
    int e2p = 0;      // 0..15 envelope to pitch
    int swp = 0;      // 0..15 detune swing period, 3 ticks per unit
    int amt = 0;      // 0..15 arpeggio amount
    int env = 1;      // 1..255 envelope length
    int spd = 0;      // 0..15 arpeggio step, ticks
    int arp1 = 0;     // 0..12 first arpeggio interval, semitones
    int arp2 = 0;     // 0..12 second arpeggio interval, semitones
};

class Composer {
public:
    explicit Composer(int speed, int patterns);
    Song& song() { return song_; }

    void instrument(int n, const Instrument& i, const std::string& description);
    // The order list: pattern numbers played at positions 0, 1, ...; sets the length.
    void order(std::initializer_list<int> patterns);

    // One cell of channel 1..4 on row 0..31 of pattern p.
    void put(int p, int row, int channel, const std::string& note, int volume, int instrument);
    // A run of tokens separated by spaces, one every `step` rows from `row`; rests skip.
    void line(int p, int channel, int row, int step, const std::string& tokens, int volume,
              int instrument);
    // A drum line: one character per row from row 0, looked up in `kit` ("." is a rest).
    struct Hit { char key; const char* note; int volume; int instrument; };
    void drums(int p, int channel, const std::string& rows, std::initializer_list<Hit> kit);
    // Copies pattern `from` into pattern `to` (all four channels).
    void copyPattern(int from, int to);

private:
    Song song_;
};

// Builds demo song number `index` (0-based); false past the last one.
bool buildDemo(int index, std::string& name, Song& song);
