#pragma once
// The instrument voice: one sounding note of an instrument, stepped once per update
// frame. The player steps one voice per tracker channel; the editor's note preview
// steps one of its own. Both send what the voice computes to a channel pair (main
// sample on c, the detuned second sample on c + 4), each in its own order.
//
//   level:    the envelope rises from 0 by 0.125 / ENV per tick; the level heard is
//             the note's volume minus the envelope. ENV 0 silences the voice at once
//   bend:     with E2P the pitch falls by E2P x the envelope (drums)
//   arpeggio: base note, ARP1 and ARP2 for SPD ticks each, scaled by AMT / 15; with
//             RPT it plays one cycle and holds the base note
//   swing:    the second sample is detuned by PWM / 800, up for half of SWP x 3 ticks
//             and down for the other half
//   rate:     2^(semitones / 12), the exponent formed in single precision and the
//             power taken in double precision, then rounded to single precision
//
// The instrument is read again at every tick, so a changed parameter is heard at once.
#include <limits>

#include "tracker/core/song.h"

// The eight parameters of one instrument, by name: a view of the song's table, valid
// while the song is. It is made again every tick rather than kept, so a changed
// parameter is heard at once.
struct Instrument {
    static constexpr int kNone[8] = {};               // the parameters of no instrument
    const int* param = kNone;                         // WAV, PWM, RPT/E2P, SWP/AMT, ENV, SPD, ARP1, ARP2

    // Instrument n of `song`; none for an n whose eight parameters are not all in the
    // table (the tracker plays and previews instruments 0..15).
    static Instrument of(const Song& song, int n);
    int env() const { return param[4]; }
    int e2p() const { return param[2] % 16; }
    bool repeatOnce() const { return param[2] >= 16; }   // RPT
    int amount() const { return param[3] % 16; }         // AMT
    int swingPeriod() const { return (param[3] / 16) * 3; }
    int arpeggioSpeed() const { return param[5]; }       // SPD
};

// The two rates of a channel pair.
struct VoiceRates {
    float main;     // channel c
    float second;   // channel c + 4, detuned
};

struct Voice {
    float envelope = 0;          // decay level, rises from 0 by 0.125 / ENV per tick
    int bendAmount = 0;          // E2P of the instrument at the last tick, 0..15
    float bendLevel = 0;         // envelope used for the bend (0 when E2P is 0)
    float arpeggioOffset = 0;    // current arpeggio offset, semitones
    int arpeggioStep = 0;        // tick counter of the arpeggio cycle, 0..3*SPD-1
    int noteTicks = 0;           // ticks since the note started
    int swingCounter = 0;        // tick counter of the detune swing
    int swingDirection = 0;      // +1 or -1 (0 before the first tick)
    float detuneDepth = 0;       // PWM of the instrument the note was given, 0..15
    // The rate factor of the last exponent: the power is the costliest step of a tick,
    // and the exponent changes only with the note and the arpeggio.
    mutable float factorExponent = std::numeric_limits<float>::quiet_NaN();
    mutable float factor = 0;

    // A new note: envelope, bend, arpeggio and swing counters start again (the swing's
    // direction stays).
    void restart();
    // The player's envelope: the level falls against the row's volume, and the voice is
    // silent (volume and envelope 0) once the envelope passes it. Returns the level.
    float decayAgainst(float& volume, const Instrument& instrument);
    // The preview's envelope: the level falls from full and holds at 0 with the
    // envelope at 1. Returns the level.
    float decayFromFull(const Instrument& instrument);
    // The pitch's steps of one tick, after the level: bend, arpeggio, swing.
    void stepPitch(const Instrument& instrument);
    // The rates for note value `note` (0..28) at octave digit `octave`, plus `slide`.
    VoiceRates rates(float note, int octave, float slide = 0) const;
};
