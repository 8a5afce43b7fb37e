// The instrument voice's arithmetic, shared by the player and the note preview.
#include "tracker/core/voice.h"

#include <algorithm>
#include <limits>

Instrument Instrument::of(const Song& song, int n) {
    Instrument instrument;
    const long first = long(n) * 8;
    if (first >= 0 && first + 8 <= kInstrumentTableLength) instrument.param = &song.instrumentTable[size_t(first)];
    return instrument;
}

void Voice::restart() {
    envelope = 0;
    bendLevel = 0;
    arpeggioOffset = 0;
    arpeggioStep = 0;
    noteTicks = 0;
    swingCounter = 0;
}

float Voice::decayAgainst(float& volume, const Instrument& instrument) {
    if (envelope < 1.0f) {
        if (instrument.env() == 0) {
            volume = 0;
            envelope = 0;
            return volume - envelope;
        }
        envelope += (1.0f / float(instrument.env())) * 0.125f;
    }
    if (volume - envelope < 0) {
        volume = 0;
        envelope = 0;
    }
    return volume - envelope;
}

float Voice::decayFromFull(const Instrument& instrument) {
    // ENV 0 would rise without bound in one step: the voice falls silent at once.
    if (instrument.env() == 0) envelope = 2.0f;
    else envelope += (1.0f / float(instrument.env())) * 0.125f;
    if (envelope > 1.0f) {
        envelope = 1.0f;
        return 0.0f;
    }
    return 1.0f - envelope;
}

void Voice::stepPitch(const Instrument& instrument) {
    bendAmount = instrument.e2p();
    bendLevel = bendAmount != 0 ? envelope : 0.0f;

    const int spd = instrument.arpeggioSpeed();
    const float amount = float(instrument.amount());
    if (arpeggioStep == 0) arpeggioOffset = 0;
    if (arpeggioStep == spd) arpeggioOffset = amount * (float(instrument.param[6]) / 15.0f);
    if (arpeggioStep == 2 * spd) arpeggioOffset = amount * (float(instrument.param[7]) / 15.0f);
    arpeggioStep = (arpeggioStep + 1 == 3 * spd) ? 0 : arpeggioStep + 1;
    noteTicks += 1;
    if (instrument.repeatOnce() && noteTicks > 3 * spd) arpeggioStep = 0;

    const int period = instrument.swingPeriod();
    swingCounter += 1;
    if (swingCounter < period / 2) swingDirection = 1;
    if (swingCounter > period / 2) swingDirection = -1;
    if (swingCounter == period) swingCounter = 0;
    if (period == 0) swingDirection = 1;
}

VoiceRates Voice::rates(float note, int octave, float slide) const {
    float exponent = float(12 * octave) + note - 24.0f + arpeggioOffset;
    if (!(exponent == factorExponent)) {
        factorExponent = exponent;
        // An arpeggio of thousands of semitones (only a hand-edited file holds one)
        // would overflow a float: the largest one is sent instead.
        factor = float(std::min(pitchFactor(double(exponent)), double(std::numeric_limits<float>::max())));
    }
    const float p = factor;
    float bend = float(bendAmount) * bendLevel;
    float detune = (detuneDepth / 800.0f) * float(swingDirection);
    return {p + slide - bend, p + slide + detune - bend};
}
