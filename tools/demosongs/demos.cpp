// The shipped demo songs, each a few patterns long, written with the composing kit.
//   demo1  "pulse tour": the three pulse widths, a PWM sweep pad, arpeggio chords,
//          a bass with slides and envelope-to-pitch drums
//   demo2  "arp city":   fast and one-shot arpeggios, the metallic wave, noise hats
//   demo3  "slide bass": slides up and down, drum toms and kick, a noise riser and an
//          early pattern end
#include "composer.h"

// ---- The instrument kit shared by all demos ----

static void standardKit(Composer& c) {
    c.instrument(1, {.wav = 1, .pwm = 4, .swp = 6, .env = 10}, "pulse 25 lead");
    c.instrument(2, {.wav = 2, .pwm = 6, .swp = 10, .env = 10}, "pulse 12 lead");
    c.instrument(3, {.wav = 3, .pwm = 2, .swp = 4, .env = 10}, "square lead");
    c.instrument(4, {.wav = 1, .pwm = 15, .swp = 15, .env = 40}, "pwm sweep pad");
    c.instrument(5, {.wav = 3, .amt = 15, .env = 24, .spd = 2, .arp1 = 4, .arp2 = 7},
                 "major arp");
    c.instrument(6, {.wav = 1, .amt = 15, .env = 24, .spd = 2, .arp1 = 3, .arp2 = 7},
                 "minor arp");
    c.instrument(7, {.wav = 3, .pwm = 3, .swp = 8, .env = 6}, "square bass");
    c.instrument(8, {.wav = 4, .e2p = 3, .env = 2}, "kick e2p");
    c.instrument(9, {.wav = 7, .e2p = 1, .env = 1}, "snare noise");
    c.instrument(10, {.wav = 7, .env = 1}, "hihat noise");
    c.instrument(11, {.wav = 6, .rpt = 1, .amt = 15, .env = 30, .spd = 3, .arp1 = 12, .arp2 = 7},
                 "metal bell (once)");
    c.instrument(12, {.wav = 5, .e2p = 2, .env = 3}, "tom e2p");
    c.instrument(13, {.wav = 2, .amt = 15, .env = 40, .spd = 1, .arp1 = 12, .arp2 = 7},
                 "fast arp + octave");
    c.instrument(14, {.wav = 7, .env = 60}, "noise riser");
    c.instrument(15, {.wav = 3, .pwm = 8, .swp = 5, .amt = 15, .env = 50, .spd = 1, .arp1 = 5,
                      .arp2 = 10},
                 "sus arp shimmer");
}

static const Composer::Hit kKick{'k', "C-4", 8, 8};
static const Composer::Hit kSnare{'s', "C-3", 8, 9};
static const Composer::Hit kHat{'h', "C-5", 4, 10};
static const Composer::Hit kOpenHat{'o', "C-5", 6, 10};
static const Composer::Hit kTom{'t', "G-3", 8, 12};
static const Composer::Hit kLowTom{'l', "C-3", 8, 12};

// ---- demo1: pulse tour (A minor: Am F C G) ----

static Song pulseTour() {
    Composer c(4, 4);
    standardKit(c);
    c.order({0, 1, 2, 3});
    for (int p = 0; p < 4; ++p) {
        // Chords as arpeggios, one per 8 rows.
        c.put(p, 0, 2, "A-2", 9, 6);
        c.put(p, 8, 2, "F-2", 9, 5);
        c.put(p, 16, 2, "C-2", 9, 5);
        c.put(p, 24, 2, "G-2", 9, 5);
        // Bass on the roots, each chord ending with a slide down.
        c.line(p, 3, 0, 2, "A-1 . A-1 A-2 A-1 . dn .", 8, 7);
        c.line(p, 3, 8, 2, "F-1 . F-1 F-2 F-1 . dn .", 8, 7);
        c.line(p, 3, 16, 2, "C-1 . C-1 C-2 C-1 . dn .", 8, 7);
        c.line(p, 3, 24, 2, "G-1 . G-1 G-2 G-1 G-1 up .", 8, 7);
        c.drums(p, 4, p == 0 ? "k...h...s...h...k...h...s...h.hh"
                             : "k.h.h.k.s.h.h.h.k.h.k.h.s.h.s.ss",
                {kKick, kSnare, kHat});
    }
    // Pattern 0: a long pad note shows the PWM sweep of the 25 % pulse.
    c.put(0, 0, 1, "A-3", 15, 4);
    c.put(0, 16, 1, "G-3", 15, 4);
    // Pattern 1: the melody on the 25 % pulse.
    c.line(1, 1, 0, 2, "A-3 . C-4 E-4 F-4 . E-4 C-4 E-4 . G-4 E-4 D-4 . B-3 G-3", 10, 1);
    // Pattern 2: the answer on the 12.5 % pulse.
    c.line(2, 1, 0, 2, "E-4 . A-4 G-4 F-4 . A-4 C-5 C-5 . B-4 G-4 D-4 . G-4 B-4", 10, 2);
    // Pattern 3: the 50 % square closes, then a note off.
    c.line(3, 1, 0, 2, "A-4 G-4 E-4 C-4 F-4 E-4 C-4 A-3 G-3 A-3 C-4 E-4 D-4 B-3 G-3 off", 10, 3);
    return c.song();
}

// ---- demo2: arp city (C major: C Em Am F, then F G) ----

static Song arpCity() {
    Composer c(3, 3);
    standardKit(c);
    c.order({0, 1, 0, 2});
    for (int p = 0; p < 3; ++p) {
        // The fast octave arpeggio carries the harmony.
        const char* roots = p == 2 ? "F-2 . . . G-2 . . ." : "C-2 . . . E-2 . . .";
        c.line(p, 1, 0, 4, roots, 10, 13);
        c.line(p, 1, 16, 4, p == 2 ? "F-2 . G-2 . A-2 . B-2 ." : "A-2 . . . F-2 . . .", 10, 13);
        // One-shot bell arpeggios answer on the beat.
        c.line(p, 2, 2, 8, p == 1 ? "E-4 G-4 A-4 C-5" : "G-3 B-3 C-4 A-3", 8, 11);
        // Bass: chord roots an octave down.
        c.line(p, 3, 0, 4, p == 2 ? "F-1 F-1 F-1 F-1 G-1 G-1 G-1 G-1"
                                  : "C-1 C-1 E-1 E-1 A-1 A-1 F-1 F-1", 8, 7);
        c.drums(p, 4, "k.h.hok.s.h.h.hok.h.hok.s.h.s.hh", {kKick, kSnare, kHat, kOpenHat});
    }
    // Pattern 1 adds a sus arpeggio shimmer on the second half, pattern 2 a minor arp.
    c.put(1, 16, 2, "A-3", 9, 15);
    c.put(2, 24, 2, "A-3", 9, 6);
    return c.song();
}

// ---- demo3: slide bass (E minor), the last pattern ends early ----

static Song slideBass() {
    Composer c(5, 3);
    standardKit(c);
    c.order({0, 1, 2});
    for (int p = 0; p < 3; ++p) {
        // Bass with slides up into the beat and down out of it.
        c.line(p, 1, 0, 2, "E-1 . up . E-2 dn . . G-1 . up . A-1 . dn .", 8, 7);
        c.line(p, 1, 16, 2, "E-1 . up . E-2 dn . . D-2 dn C-2 dn B-1 up . .", 8, 7);
        c.drums(p, 4, "k...t.k.s...t.l.k...t.k.s..ltlll", {kKick, kTom, kLowTom, kSnare});
    }
    // Pattern 0: a square lead gliding between notes.
    c.line(0, 2, 0, 4, "E-3 up G-3 . B-3 dn A-3 .", 8, 3);
    // Pattern 1: the 12.5 % pulse, and a noise riser on channel 3.
    c.line(1, 2, 0, 4, "B-3 . A-3 G-3 E-3 . D-3 .", 9, 2);
    c.put(1, 24, 3, "C-2", 8, 14);
    c.line(1, 3, 25, 1, "up up up up up up up", 0, 0);
    // Pattern 2: a PWM pad and an early end after row 23.
    c.put(2, 0, 2, "E-3", 15, 4);
    c.put(2, 12, 3, "B-2", 9, 6);
    c.put(2, 23, 4, "end", 0, 0);
    return c.song();
}

bool buildDemo(int index, std::string& name, Song& song) {
    switch (index) {
        case 0: name = "demo1"; song = pulseTour(); return true;
        case 1: name = "demo2"; song = arpCity(); return true;
        case 2: name = "demo3"; song = slideBass(); return true;
        default: return false;
    }
}
