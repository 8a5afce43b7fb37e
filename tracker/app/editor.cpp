// The pattern editor: one input step per update while no song is playing.
//
// Sections:
//   [helpers]     clicks, presses, cells
//   [buttons]     HOME, SAVE, LOAD, preview samples, order list insert and delete
//   [cursor]      column, position, row with hold repeat
//   [cells]       typed character (by layout), volume digits, transposition, row delete
//                 and insert
//   [notes]       note entry and the preview trigger (MIDI keys: midikeys.cpp)
//   [preview]     the preview voice, re-levelled and re-pitched every update
//   [step]        editorInput: the steps in their order
#include "tracker/app/editor.h"

#include "host/input.h"
#include "tracker/app/app.h"
#include "tracker/app/layout.h"
#include "tracker/app/midikeys.h"
#include "tracker/core/channels.h"

// ---- [helpers] ----

bool clickedIn(const Rect& rect) {
    return keyHitCount(Key::MouseLeft) != 0 && rect.contains(mouseX(), mouseY());
}

bool pressed(int key) { return keyHitCount(key) != 0; }

void setCell(Song& song, int column, int index, char32_t c) {
    Column& cells = song.trackColumns[column];
    if (index >= 0 && size_t(index) < cells.size()) cells.set(size_t(index), c);
}

EditorState& editorOf(c_SoundEngine& app) {
    if (!app.editorState) app.editorState = std::make_unique<EditorState>();
    return *app.editorState;
}

static ChannelOut& channelsOf(EditorState& ed) { return ed.out ? *ed.out : audioChannels(); }

ChannelOut& editorChannels(c_SoundEngine& app) { return channelsOf(editorOf(app)); }

namespace {

constexpr int kNote = 0, kVolume = 1, kInstrument = 2, kOctave = 3;

int rowIndex(const c_SoundEngine& app, int row) {
    return screenIndex(app.patternBase, app.editRow, row);
}

bool entryActive(const c_SoundEngine& app) {
    return app.nameEntryActive != 0 || app.descriptionEntryActive != 0;
}

// ---- [buttons] ----

void fileButtons(c_SoundEngine& app) {
    if (clickedIn(layout::kHome)) {
        app.editRow = 0;
        app.currentPosition = 0;
    }
    if (pressed(Key::F11) || clickedIn(layout::kSave)) app.status = app.saveSong(app.fileName);
    if (pressed(Key::F12) || clickedIn(layout::kLoad)) {
        app.status = app.loadSong();
        app.editRow = 0;
        app.currentPosition = 0;
    }
}

void choosePreviewSamples(c_SoundEngine& app, EditorState& ed) {
    if (auto pair = wavPair(app.song.param(app.currentInstrument, 0))) {
        ed.previewMain = app.waveSamples[pair->first];
        ed.previewSecond = app.waveSamples[pair->second];
    }
    ed.previewPwm = float(app.song.param(app.currentInstrument, 1));
}

// Insert a pattern 0 at the current position, or delete the entry there; the
// list keeps its 256 entries (a delete gives the last one pattern 0).
void orderListButtons(c_SoundEngine& app) {
    auto& list = app.song.orderList;
    int at = app.currentPosition;
    if (at < 0 || at >= kOrderLength) return;
    if (clickedIn(layout::kOrderInsert)) {
        for (int i = kOrderLength - 1; i > at; --i) list[i] = list[i - 1];
        list[at] = 0;
    }
    if (clickedIn(layout::kOrderDelete)) {
        for (int i = at; i < kOrderLength - 1; ++i) list[i] = list[i + 1];
        list[kOrderLength - 1] = 0;
    }
}

// ---- [cursor] ----

void moveCursorColumn(c_SoundEngine& app, ChannelOut& out) {
    if (pressed(Key::Tab)) { app.cursorColumn += 2; stopAllChannels(out); }
    if (pressed(Key::Right)) { app.cursorColumn += 1; stopAllChannels(out); }
    if (pressed(Key::Left)) { app.cursorColumn -= 1; stopAllChannels(out); }
    if (app.cursorColumn < 1) app.cursorColumn = 8;
    if (app.cursorColumn > 8) app.cursorColumn = 1;
}

void setPosition(c_SoundEngine& app, int position) {
    app.currentPosition = position;
    app.patternBase = app.song.orderList[position] * 32;
}

// Page Up/Down or one wheel notch; the last order list entry (255) is the end.
void movePosition(c_SoundEngine& app) {
    if ((pressed(Key::PageUp) || app.wheelDelta == 1.0f) && app.currentPosition > 0)
        setPosition(app, app.currentPosition - 1);
    if ((pressed(Key::PageDown) || app.wheelDelta == -1.0f) && app.currentPosition < kOrderLength - 1)
        setPosition(app, app.currentPosition + 1);
}

// One row per press; a key held past 12 updates moves one row every update.
void moveCursorRow(c_SoundEngine& app, EditorState& ed) {
    if (keyIsDown(Key::Up)) {
        if (++ed.upRepeat > 12) app.cursorRow -= 1;
    } else {
        ed.upRepeat = 0;
    }
    if (keyIsDown(Key::Down)) {
        if (++ed.downRepeat > 12) app.cursorRow += 1;
    } else {
        ed.downRepeat = 0;
    }
    if (pressed(Key::Up)) app.cursorRow -= 1;
    if (pressed(Key::Down)) app.cursorRow += 1;
    if (app.cursorRow > 32) app.cursorRow = 1;
    if (app.cursorRow < 1) app.cursorRow = 32;
}

// ---- [cells] ----

// The note character a German keyboard types at the place of key `key` (a key code
// names a place), for the keys of the note table, "<" "+" "#" "-" "."; "<" also from the
// comma's place, which every keyboard has. 0 for any other place.
int germanNoteAt(int key) {
    static const char kLetters[] = "ysxdcvgbhnjmqwertzuiop";    // in German places
    static const char kPlaces[] = "ZSXDCVGBHNJMQWERTYUIOP";     // their US labels
    for (int i = 0; kPlaces[i]; ++i)
        if (key == kPlaces[i]) return kLetters[i];
    switch (key) {
        case '0': case '2': case '3': case '5': case '6': case '7': case '9': return key;
        case Key::LeftOfZ: case Key::Comma: return '<';
        case Key::RightBracket: return '+';
        case Key::Backslash: return '#';
        case Key::Slash: return '-';
        case Key::Period: return '.';
        default: return 0;
    }
}

// With layout Any: the first key of this update whose place means something in the
// cursor's column (a note, or in a volume column a digit 0..9); else, in a volume column,
// a typed "a".."f". Ctrl chords type nothing, nor keys typed into a text entry.
int placedCharacter(const c_SoundEngine& app, int typed) {
    if (app.control || entryActive(app)) return 0;
    bool volume = app.cursorColumn % 2 == 0;
    for (int n = 0, key; (key = keyHitListed(n)) != 0; ++n) {
        int c = volume ? (key >= '0' && key <= '9' ? key : 0) : germanNoteAt(key);
        if (c) return c;
    }
    return volume && typed >= 'a' && typed <= 'f' ? typed : 0;
}

// One character for the editor. DE stores what is typed; US swaps y and z and Any takes
// the keys by place, so that the stored note characters are always those of the
// German piano rows.
int typedCharacter(const c_SoundEngine& app) {
    int ch = nextChar();
    switch (app.keyboardLayout) {
        case KeyboardLayout::DE: return ch;
        case KeyboardLayout::US:
            if (ch == 'Y' || ch == 'y') return 'z';
            if (ch == 'Z' || ch == 'z') return 'y';
            return ch;
        case KeyboardLayout::Any: return placedCharacter(app, ch);
    }
    return ch;
}

void volumeDigit(c_SoundEngine& app, int ch) {
    if (app.mode != Mode::Editing || entryActive(app) || app.cursorColumn % 2 != 0) return;
    bool digit = ch >= '0' && ch <= '9';
    bool letter = ch >= 'a' && ch <= 'f';
    if (!digit && !letter) return;
    char32_t c = letter ? char32_t(ch - 'a' + 'A') : char32_t(ch);
    setCell(app.song, channelColumn(app.cursorChannel(), kVolume), rowIndex(app, app.cursorRow), c);
    app.undoSnapshot();
    app.cursorRow += 1;
}

// One semitone down (-1) or up (+1) for the 32 visible rows of the cursor channel;
// the commands stay, notes stop at "y" and "p".
void transpose(c_SoundEngine& app, int step) {
    int column = channelColumn(app.cursorChannel(), kNote);
    for (int r = 1; r <= 32; ++r) {
        int index = rowIndex(app, r);
        int v = noteValue(app.song.cell(column, index));
        if (v > 28) continue;
        int moved = v + step;
        if (moved < 0 || moved > 28) moved = v;
        setCell(app.song, column, index, noteCharacter(moved));
    }
    app.undoSnapshot();
}

void deleteRow(c_SoundEngine& app) {
    int ch = app.cursorChannel();
    for (int kind = kNote; kind <= kOctave; ++kind) {
        int column = channelColumn(ch, kind);
        for (int r = app.cursorRow; r <= 31; ++r)
            setCell(app.song, column, rowIndex(app, r), app.song.cell(column, rowIndex(app, r + 1)));
        setCell(app.song, column, rowIndex(app, 32), emptyCell(column));
    }
    app.undoSnapshot();
}

// An empty row at the cursor; the rows below move down and the old row 32 is lost.
// With the cursor below the view (row 33, after a volume digit on row 32 in the same
// update) nothing changes, so the next pattern's first row stays as it is.
void insertRow(c_SoundEngine& app) {
    int ch = app.cursorChannel();
    for (int kind = kNote; kind <= kOctave; ++kind) {
        int column = channelColumn(ch, kind);
        String before;
        for (int r = 1; r <= 33; ++r) before += app.song.cell(column, rowIndex(app, r));
        if (app.cursorRow >= 1 && app.cursorRow <= 32)
            setCell(app.song, column, rowIndex(app, app.cursorRow), emptyCell(column));
        for (int r = app.cursorRow; r <= 31; ++r)
            setCell(app.song, column, rowIndex(app, r + 1), before[r - 1]);
    }
    app.undoSnapshot();
}

// ---- [notes] ----

// The characters note entry takes in a note column: the piano keys and what sits
// between them in the character table, "<", and the commands.
bool acceptedNote(int ch) {
    return (ch >= 97 && ch <= 127) || (ch >= 46 && ch <= 60) || ch == '#' || ch == '+' || ch == '-';
}

bool isCommand(char32_t c) { return c == U'.' || c == U'+' || c == U'#' || c == U'-'; }

void writeNote(c_SoundEngine& app, EditorState& ed, NoteInput input) {
    int channel = app.cursorChannel();
    int index = rowIndex(app, app.cursorRow);
    bool command = isCommand(input.cell);
    setCell(app.song, channelColumn(channel, kNote), index, input.cell);
    setCell(app.song, channelColumn(channel, kInstrument), index,
            command ? U'0' : instrumentDigit(app.currentInstrument));
    setCell(app.song, channelColumn(channel, kOctave), index,
            command ? U'0' : char32_t(U'0' + input.octave));
    if (!command) {
        int volume = channelColumn(channel, kVolume);
        if (app.song.cell(volume, index) == U'0') setCell(app.song, volume, index, U'8');
        ed.preview.restart();
    }
    app.undoSnapshot();
    app.cursorRow += 1;
}

// Sounds the note on audio channels ch and ch + 4; "<" only silences them.
void triggerPreview(c_SoundEngine& app, EditorState& ed, NoteInput input) {
    ChannelOut& out = channelsOf(ed);
    int channel = app.cursorChannel();
    int s = noteValue(input.cell) + 12 * input.octave - 24;
    if (s == 12 * input.octave + 104) {
        out.stop(channel);
        out.stop(channel + 4);
    } else if (s <= 43) {
        out.stop(channel);
        out.stop(channel + 4);
        if (ed.previewMain) out.play(ed.previewMain.get(), channel, 1);
        if (ed.previewSecond) out.play(ed.previewSecond.get(), channel + 4, 1);
    }
}

}  // namespace

std::optional<NoteInput> typedNote(const c_SoundEngine& app, int ch) {
    if (app.cursorColumn % 2 == 0 || !acceptedNote(ch)) return std::nullopt;
    return NoteInput{char32_t(ch), app.octave};
}

NoteInput noteOf(int value, int octave) { return {noteCharacter(value), octave}; }

void enterNote(c_SoundEngine& app, NoteInput input) {
    EditorState& ed = editorOf(app);
    if (input.cell != U'-' && input.cell != U'.') {
        ed.lastNoteKey = String(1, input.cell);
        ed.previewShift = input.octave - app.octave;
    }
    ++ed.notesEntered;
    if (app.mode == Mode::Editing && app.cursorColumn % 2 != 0) writeNote(app, ed, input);
    else if (app.mode != Mode::Playing) ed.preview.restart();
    triggerPreview(app, ed, input);
}

// ---- [preview] ----

// The preview's one voice at full level on every channel: levels 1..8 in order, then
// the rates pair by pair (1, 5, 2, 6, ...).
void updatePreview(Voice& voice, ChannelOut& out, const Song& song, int instrument,
                   int note, int octave, float pwm) {
    const Instrument sound = Instrument::of(song, instrument);
    float level = voice.decayFromFull(sound);
    for (int c = 1; c <= 8; ++c) out.setVolume(c, level);
    voice.stepPitch(sound);
    voice.detuneDepth = pwm;
    VoiceRates rates = voice.rates(float(note), octave);
    for (int c = 1; c <= 4; ++c) {
        out.setRate(c, rates.main);
        out.setRate(c + 4, rates.second);
    }
}

// ---- [step] ----

void c_SoundEngine::editorInput() {
    EditorState& ed = editorOf(*this);
    textEntries();
    fileButtons(*this);
    choosePreviewSamples(*this, ed);
    if (!entryActive(*this)) orderListButtons(*this);
    moveCursorColumn(*this, channelsOf(ed));
    movePosition(*this);
    moveCursorRow(*this, ed);
    int ch = typedCharacter(*this);
    volumeDigit(*this, ch);
    if (pressed(Key::F3)) transpose(*this, -1);
    if (pressed(Key::F4)) transpose(*this, +1);
    blockStep();
    if (mode == Mode::Editing) {
        if (pressed(Key::Backspace)) deleteRow(*this);
        if (pressed(Key::Insert)) insertRow(*this);
    }
    std::optional<NoteInput> typed = typedNote(*this, ch);
    if (typed) enterNote(*this, *typed);
    enterMidiNotes(*this, typed.has_value());
    int note = ed.lastNoteKey.empty() ? 0 : noteValue(ed.lastNoteKey[0]);
    updatePreview(ed.preview, channelsOf(ed), song, currentInstrument, note,
                  octave + ed.previewShift, ed.previewPwm);
}
