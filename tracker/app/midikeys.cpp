// MIDI keys as notes: the pitch rule, and the messages handled one note per update.
#include "tracker/app/midikeys.h"

#include <algorithm>

#include "midi/message.h"
#include "tracker/app/app.h"
#include "tracker/core/channels.h"

namespace {

constexpr int kLowestKey = 24;   // "y" at octave digit 0
constexpr int kHighestValue = 28;
constexpr int kHighestOctave = 3;

// A note-on the editor can type: entered as the typed note would be.
void pressKey(c_SoundEngine& app, MidiKeys& keys, const MidiNote& note, NoteInput input) {
    int channel = app.cursorChannel();
    enterNote(app, input);
    keys.sounding = MidiKeys::Sounding{note.channel, note.key, channel, editorOf(app).notesEntered};
}

void releaseKey(c_SoundEngine& app, MidiKeys& keys, const MidiNote& note) {
    const std::optional<MidiKeys::Sounding>& s = keys.sounding;
    if (!s || s->channel != note.channel || s->key != note.key) return;
    if (s->entry == editorOf(app).notesEntered) {
        ChannelOut& out = editorChannels(app);
        out.stop(s->trackerChannel);
        out.stop(s->trackerChannel + 4);
    }
    keys.sounding.reset();
}

}  // namespace

std::optional<NoteInput> midiKeyNote(int key, int octave) {
    int semitones = key - kLowestKey;
    // The octave digits d with 0 <= semitones - 12 d <= 28.
    int lowest = std::max(0, (semitones - kHighestValue + 11) / 12);
    int highest = std::min(kHighestOctave, semitones / 12);
    if (semitones < 0 || lowest > highest) return std::nullopt;
    int digit = std::clamp(octave, lowest, highest);
    return noteOf(semitones - 12 * digit, digit);
}

void takeMidi(c_SoundEngine& app) {
    MidiKeys& keys = *app.midiKeys;
    if (!keys.input) return;
    keys.taken.clear();
    keys.input->take(keys.taken);
    if (app.mode == Mode::Playing) {
        keys.waiting.clear();
        keys.sounding.reset();
        return;
    }
    keys.waiting.insert(keys.waiting.end(), keys.taken.begin(), keys.taken.end());
}

void enterMidiNotes(c_SoundEngine& app, bool keyEntered) {
    MidiKeys& keys = *app.midiKeys;
    if (app.nameEntryActive != 0 || app.descriptionEntryActive != 0) {
        keys.waiting.clear();
        return;
    }
    bool entered = keyEntered;
    while (!keys.waiting.empty()) {
        std::optional<MidiNote> note = decodeNote(keys.waiting.front());
        std::optional<NoteInput> input;
        if (note && note->on) input = midiKeyNote(note->key, app.octave);
        if (input && entered) return;
        keys.waiting.pop_front();
        if (input) {
            pressKey(app, keys, *note, *input);
            entered = true;
        } else if (note && !note->on) {
            releaseKey(app, keys, *note);
        }
    }
}
