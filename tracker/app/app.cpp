// c_SoundEngine: life cycle, the per-frame order of work, transport and spinners.
//
// Sections:
//   [clicks]     orderAt (clicks and presses are the editor's clickedIn, pressed)
//   [create]     constructor, handleCreate, handleCreateSounds, reportMissingData
//   [update]     handleUpdate: MIDI, toggles, edit switch, undo, zoom, transport, editor,
//                playing, rescue; readControl, undoKeys
//   [settings]   loadSettings, switchLayout, zoomKeys: what is kept between runs
//   [transport]  runTransport, followStep
//   [spinners]   the fifteen minus/plus settings
#include "tracker/app/app.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "audio/sound.h"
#include "graphics/drawing.h"
#include "host/datapath.h"
#include "host/delegate.h"
#include "host/input.h"
#include "host/settings.h"
#include "tracker/app/blocks.h"
#include "tracker/app/editor.h"
#include "tracker/app/export.h"
#include "tracker/app/layout.h"
#include "tracker/app/midikeys.h"

// ---- [clicks] ----

int orderAt(const Song& song, int position) {
    if (position < 0 || position >= kOrderLength) return 0;
    return song.orderList[position];
}

// ---- [create] ----

c_SoundEngine::c_SoundEngine()
    : midiKeys(std::make_unique<MidiKeys>()),
      editorState(std::make_unique<EditorState>()),
      undoState(std::make_unique<UndoState>()) {
    song.clear();
}

void c_SoundEngine::useMidiInput(std::unique_ptr<MidiInput> input) {
    midiKeys->input = std::move(input);
}

c_SoundEngine::~c_SoundEngine() = default;

int c_SoundEngine::handleCreate() {
    setUpdateRate(50);
    setWindowIcon(U"icons/tamo-tracker-128.png");   // the icon the desktop entry shows
    font = loadFont(U"glimfont.png", false);
    setFont(font);   // none falls back to the host's default font
    buttonImage = loadImage(U"button1.png", 0);
    navrowImage = loadImage(U"button_navrow.png", 0);
    for (int k = 0; k < kColumns; ++k) song.trackColumns[k] = emptyColumn(k);
    resetUndo();
    cursorColumn = 1;
    cursorRow = 1;
    song.orderList.fill(0);
    player = std::make_unique<c_tamoPlay>();
    status = Status::Standby;
    storePending = true;   // nothing to rescue until the song is changed
    loadSettings();
    return 0;
}

// The samples wait for the audio device, which opens after the first frame.
int c_SoundEngine::handleCreateSounds() {
    for (int i = 0; i < kWaveSamples; ++i) waveSamples[i] = loadSound(kWaveFiles[i]);
    reportMissingData();
    return 0;
}

// One line on standard error for each data file the set-up could not use; the tracker
// carries on without it.
void c_SoundEngine::reportMissingData() const {
    if (!font) reportDataFile(U"glimfont.png");
    if (!buttonImage) reportDataFile(U"button1.png");
    if (!navrowImage) reportDataFile(U"button_navrow.png");
    for (int i = 0; i < kWaveSamples; ++i)
        if (!waveSamples[i]) reportDataFile(kWaveFiles[i]);
}

// ---- [update] ----

// One frame, in a fixed order: each step sees what the steps before it changed.
int c_SoundEngine::handleUpdate() {
    ++repaintCounter;
    wheelDelta = takeMouseWheel();
    takeMidi(*this);

    for (int k = 0; k < kChannels; ++k)
        if (clickedIn(layout::channelSwitch(k)) || pressed(Key::F5 + k))
            channelEnable[k] = channelEnable[k] == 1.0f ? 0.0f : 1.0f;
    if (clickedIn(layout::kFollow)) follow = !follow;
    if (clickedIn(layout::kLayout[0]) || clickedIn(layout::kLayout[1]))
        switchLayout();
    // A space typed into the file name or the description is text, not the edit switch;
    // it still stops playback.
    const bool typing = nameEntryActive != 0 || descriptionEntryActive != 0;
    const bool playing = mode == Mode::Playing;
    // The space that stops playback is not typed into the entry as well.
    if (typing && playing && pressed(Key::Space)) nextChar();
    if (clickedIn(layout::kEdit) || (pressed(Key::Space) && (!typing || playing))) switchEditing();
    if (clickedIn(layout::kUndo)) undoStep();
    readControl();
    undoKeys();
    zoomKeys();
    if (clickedIn(layout::kPlay) || pressed(Key::F2) || pressed(Key::F1)) runTransport(pressed(Key::F1));

    if (mode != Mode::Playing) {
        followCounter = 0;
        editorInput();
        if (editRow >= song.songLength) editRow = 0;
        if (editRow < 0) editRow = song.songLength - 32;
        runSpinners();
    }
    exportStep(*this);
    patternBase = orderAt(song, currentPosition) * 32;
    if (mode == Mode::Playing) {
        status = Status::Playing;
        followStep();
        if (player) {
            player->channelEnable = channelEnable;
            player->playerTick();
        }
    }
    rescueStep();
    return 0;
}

// EDIT or Space: Playing and Editing go to Standby, Standby to Editing; playback stops.
void c_SoundEngine::switchEditing() {
    editRow = 0;
    stopAllChannels();
    mode = mode == Mode::Standby ? Mode::Editing : Mode::Standby;
    status = mode == Mode::Editing ? Status::Editing : Status::Standby;
}

// Ctrl counts in this update when it is down, was pressed in this update or was down
// at the end of the previous one: a quick chord may begin, or end, between two updates.
void c_SoundEngine::readControl() {
    control = keyIsDown(Key::Control) || pressed(Key::Control) || controlHeld;
    controlHeld = keyIsDown(Key::Control);
}

// Ctrl+Z undoes, Ctrl+Y redoes. The host reports keys by their US positions; on a
// German keyboard (layout DE) the keys labelled Z and Y sit at the US Y and Z; with
// layout Any the keymap says where they are.
void c_SoundEngine::undoKeys() {
    if (!control || !keyHitListed(0)) return;
    int undoKey = Key::Z, redoKey = Key::Y;
    if (keyboardLayout == KeyboardLayout::DE) std::swap(undoKey, redoKey);
    if (keyboardLayout == KeyboardLayout::Any) {
        undoKey = keyLabelled("z");
        redoKey = keyLabelled("y");
    }
    if (pressed(undoKey)) undoStep();
    if (pressed(redoKey)) redoStep();
}

// ---- [settings] ----

namespace {
// The layouts by their names in the settings file, in the order LAYOUT steps through.
struct LayoutName {
    KeyboardLayout layout;
    const char* name;
};
constexpr LayoutName kLayoutNames[] = {
    {KeyboardLayout::DE, "DE"}, {KeyboardLayout::US, "US"}, {KeyboardLayout::Any, "ANY"}};
constexpr int kLayouts = 3;

int layoutIndex(KeyboardLayout layout) {
    for (int i = 0; i < kLayouts; ++i)
        if (kLayoutNames[i].layout == layout) return i;
    return 0;
}

// A zoom written as a whole number 1..99; 0 for anything else.
int zoomOf(const std::string& text) {
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::atoi(text.c_str());
}

// A key of the keymap labelled `label` is pressed in this update.
bool pressedLabelled(const char* label) { return pressed(keyLabelled(label)); }
}  // namespace

// The remembered layout and zoom. Without a remembered zoom the window takes the
// desktop's scale, rounded down; no zoom is larger than fits the screen. A value that
// is not one of ours makes the file damaged: the defaults, and it is replaced at the
// next change.
void c_SoundEngine::loadSettings() {
    settings = std::make_unique<Settings>(Settings::userPath());
    settings->load();
    const std::string layoutName = settings->value("LAYOUT"), zoomText = settings->value("ZOOM");
    bool known = layoutName.empty();
    for (const LayoutName& l : kLayoutNames)
        if (layoutName == l.name) {
            keyboardLayout = l.layout;
            known = true;
        }
    int z = zoomText.empty() ? int(desktopScale()) : zoomOf(zoomText);
    if (!known || z < 1) {
        settings->reject();
        keyboardLayout = KeyboardLayout::DE;
        z = int(desktopScale());
    }
    setZoom(std::clamp(z, 1, largestZoom()));
}

void c_SoundEngine::switchLayout() {
    const LayoutName& next = kLayoutNames[(layoutIndex(keyboardLayout) + 1) % kLayouts];
    keyboardLayout = next.layout;
    if (settings) settings->set("LAYOUT", next.name);
}

// Ctrl with the key labelled + (or =, the key + is typed on in many keymaps) or the
// keypad's +: one step larger, while the window still fits the screen; with - or the
// keypad's -: one step smaller; Ctrl+0: 1x. A change is remembered.
void c_SoundEngine::zoomKeys() {
    if (!control || !keyHitListed(0)) return;
    int z = zoom();
    if (pressed(Key::KeypadAdd) || pressedLabelled("+") || pressedLabelled("=")) {
        if (z + 1 <= largestZoom()) ++z;
    }
    if (pressed(Key::KeypadSubtract) || pressedLabelled("-")) z = std::max(1, z - 1);
    if (pressed('0')) z = 1;
    if (z == zoom()) return;
    setZoom(z);
    if (settings) settings->set("ZOOM", std::to_string(z));
}

// ---- [transport] ----

// Stops a playing song, or writes the song to the hand-off file, reloads the player
// from it and starts playing at `currentPosition` (position 0 row 0 with F1).
void c_SoundEngine::runTransport(bool fromStart) {
    stopAllChannels();
    followCounter = 0;
    if (fromStart) {
        editRow = 0;
        currentPosition = 0;
    }
    if (mode == Mode::Playing) {
        cursorRow = 1;
        editRow = 0;
        mode = Mode::Standby;
        status = Status::Standby;
        return;
    }
    if (!player) player = std::make_unique<c_tamoPlay>();
    // Playback starts only from a fresh copy: a failed hand-off leaves the mode as it
    // was and says why.
    if (!saveHandOff()) {
        status = Status::SavingFailed;
        return;
    }
    if (!player->loadIntoPlayer(songs.path(SongStore::kHandOffName))) {
        status = Status::LoadingFailed;
        return;
    }
    followCounter = -1;
    player->tick = 0;
    player->patternBase = 0;
    player->playRow = 0;
    stopAllChannels();
    player->playPosition = currentPosition;
    cursorRow = 1;
    editRow = 0;
    mode = Mode::Playing;
    patternBase = orderAt(song, currentPosition) * 32;
}

// Advances `editRow` (and the position at a pattern's end) every `speed` frames, one
// frame behind the player, so the screen can show the row being heard. It counts 32
// rows per pattern and does not see pattern-end cells.
void c_SoundEngine::followStep() {
    if (followCounter != song.speed) {
        ++followCounter;
        return;
    }
    if (editRow == 31) {
        ++currentPosition;
        // The song loops at its length; a start beyond it runs on to the last of the
        // 256 positions and then loops too, never past the order list.
        if (currentPosition == song.songLength / 32 || currentPosition >= kOrderLength)
            currentPosition = 0;
        editRow = 0;
    } else {
        ++editRow;
    }
    patternBase = orderAt(song, currentPosition) * 32;
    followCounter = 1;
}

// ---- [spinners] ----

// One spinner: a click on its minus or plus steps by one within the range; the value
// is clamped every frame.
static void spin(int& value, layout::Spinner s, int lo, int hi) {
    if (clickedIn(layout::spinnerMinus(s)) && value > lo) --value;
    if (clickedIn(layout::spinnerPlus(s)) && value < hi) ++value;
    value = std::clamp(value, lo, hi);
}

// A spinner on one half of a parameter stored as high * 16 + low.
static void spinNibble(int& param, bool high, layout::Spinner s, int hi) {
    int h = param / 16, l = param % 16;
    spin(high ? h : l, s, 0, hi);
    param = h * 16 + l;
}

void c_SoundEngine::runSpinners() {
    using namespace layout;
    int octaveShown = octave + 1;
    spin(octaveShown, OctaveDigit, 1, 4);
    octave = octaveShown - 1;
    spin(song.speed, SongSpeed, 1, 16);
    int patterns = song.songLength / 32;
    spin(patterns, SongLength, 1, 99);
    song.songLength = patterns * 32;

    spin(currentInstrument, InstrumentNumber, 1, 15);
    int n = currentInstrument;   // the instrument this frame's spinner has just chosen
    spin(song.param(n, 0), Wav, 1, 7);
    spin(song.param(n, 1), Pwm, 0, 15);
    spin(song.param(n, 4), Env, 1, 255);
    spin(song.param(n, 6), Arp1, 0, 12);
    spin(song.param(n, 7), Arp2, 0, 12);
    spin(song.param(n, 5), ArpSpeed, 0, 15);
    spinNibble(song.param(n, 3), true, Swp, 15);
    spinNibble(song.param(n, 3), false, Amt, 15);
    spinNibble(song.param(n, 2), true, Rpt, 1);
    spinNibble(song.param(n, 2), false, E2p, 15);

    if (currentPosition >= 0 && currentPosition < kOrderLength)
        spin(song.orderList[currentPosition], OrderEntry, 0, 255);
}
