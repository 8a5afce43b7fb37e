// c_SoundEngine: life cycle, the per-frame order of work, transport and spinners.
//
// Sections:
//   [clicks]     orderAt (clicks and presses are the editor's clickedIn, pressed)
//   [create]     constructor, handleCreate, handleCreateSounds, reportMissingData
//   [update]     handleUpdate: toggles, edit switch, undo, transport, editor, playing,
//                rescue; readControl, undoKeys
//   [transport]  runTransport, followStep
//   [spinners]   the fifteen minus/plus settings
#include "tracker/app/app.h"

#include <algorithm>

#include "audio/sound.h"
#include "graphics/drawing.h"
#include "host/datapath.h"
#include "host/input.h"
#include "tracker/app/blocks.h"
#include "tracker/app/editor.h"
#include "tracker/app/export.h"
#include "tracker/app/layout.h"

// ---- [clicks] ----

int orderAt(const Song& song, int position) {
    if (position < 0 || position >= kOrderLength) return 0;
    return song.orderList[position];
}

// ---- [create] ----

c_SoundEngine::c_SoundEngine(String startSong)
    : startSong(std::move(startSong)), editorState(std::make_unique<EditorState>()),
      undoState(std::make_unique<UndoState>()) {
    song.clear();
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
    songs.chooseFolders();
    if (!startSong.empty()) openStartSong();
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

    for (int k = 0; k < kChannels; ++k)
        if (clickedIn(layout::channelSwitch(k)) || pressed(Key::F5 + k))
            channelEnable[k] = channelEnable[k] == 1.0f ? 0.0f : 1.0f;
    if (clickedIn(layout::kFollow)) follow = !follow;
    if (clickedIn(layout::kLayout[0]) || clickedIn(layout::kLayout[1]))
        keyboardLayout = keyboardLayout == KeyboardLayout::DE ? KeyboardLayout::US : KeyboardLayout::DE;
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
// German keyboard (layout DE) the keys labelled Z and Y sit at the US Y and Z.
void c_SoundEngine::undoKeys() {
    if (!control) return;
    const bool german = keyboardLayout == KeyboardLayout::DE;
    if (pressed(german ? Key::Y : Key::Z)) undoStep();
    if (pressed(german ? Key::Z : Key::Y)) redoStep();
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
