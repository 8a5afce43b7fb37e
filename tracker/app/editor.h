#pragma once
// Editor state private to the pattern editor: the key repeat counters and the note preview.
//
//   repeat:   updates for which Up or Down has been held; past 12 the cursor moves
//             one row per update
//   preview:  the last typed note sounds on audio channels ch and ch + 4 through the
//             current instrument; every update steps its one instrument voice
//             (tracker/core/voice.h) and re-levels channels 1..8, then re-pitches them
//             (order 1, 5, 2, 6, 3, 7, 4, 8)
//
// The preview only drives audio channels; it never changes the song.
#include <memory>
#include <optional>

#include "host/text.h"
#include "tracker/app/layout.h"
#include "tracker/core/voice.h"

class c_Sound;
class ChannelOut;
struct Song;

struct EditorState {
    int upRepeat = 0;                         // updates Up has been held
    int downRepeat = 0;                       // updates Down has been held
    String lastNoteKey;                       // last typed note character but "." and "-"
    std::shared_ptr<c_Sound> previewMain;     // sample of the current instrument's WAV
    std::shared_ptr<c_Sound> previewSecond;   // its detuned partner
    float previewPwm = 0;                     // PWM of the current instrument, 0..15
    Voice preview;                            // the preview's voice, restarted by each note
    int previewShift = 0;                     // octave digit of lastNoteKey's note minus OCT
                                              // then: 0 but for a MIDI key OCT does not reach
    unsigned notesEntered = 0;                // notes entered so far, as a mark of the last
    ChannelOut* out = nullptr;                // channel operations; none: the audio device
};

class c_SoundEngine;
// The editor's state of `app` (made on first use) and where its channel operations go.
EditorState& editorOf(c_SoundEngine& app);
ChannelOut& editorChannels(c_SoundEngine& app);

// One update of the preview voice: levels and rates of audio channels 1..8 for note
// value `note` at `octave` with instrument `instrument` of `song`.
void updatePreview(Voice& p, ChannelOut& out, const Song& song, int instrument,
                   int note, int octave, float pwm);

// A click in this update strictly inside `rect`.
bool clickedIn(const Rect& rect);
// A press of `key` in this update.
bool pressed(int key);

// Cell index of screen row `row` (1..32) of the view.
inline int screenIndex(int patternBase, int editRow, int row) {
    return (patternBase / 32) * 32 + editRow + row - 1;
}
// Replaces one cell; indices outside the column change nothing.
void setCell(Song& song, int column, int index, char32_t c);
// The four columns of tracker channel `channel` (1..4): note, volume, instrument, octave.
inline int channelColumn(int channel, int kind) { return channel - 1 + 4 * kind; }

// ---- Note entry ----
// A note at the cursor from any source: the note cell as stored (a note character,
// "<" note off, or one of the commands "." "+" "#" "-") and the octave digit stored
// with a note (0..3).
struct NoteInput {
    char32_t cell;
    int octave;
};
// The note a typed character means in the cursor's column: in a note column the
// piano keys, "<", the commands and the other characters between them (stored as
// typed, heard as the lowest note); none in a volume column or for any other one.
std::optional<NoteInput> typedNote(const c_SoundEngine& app, int ch);
// The note of note value `value` (0..28) at octave digit `octave`.
NoteInput noteOf(int value, int octave);
// Enters a note at the cursor: in Editing with the cursor in a note column it is
// written into the cursor channel's row (with the current instrument, volume 8 where
// the volume is 0) and the cursor moves down; in Editing and Standby the preview
// sounds it at its octave digit ("<" silences it).
void enterNote(c_SoundEngine& app, NoteInput input);
