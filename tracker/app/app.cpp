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
#include "tracker/core/songfile.h"
#include "tracker/app/export.h"

// ---- [clicks] ----

int orderAt(const Song& song, int position) {
    if (position < 0 || position >= kOrderLength) return 0;
    return song.orderList[position];
}

// ---- [create] ----

c_SoundEngine::c_SoundEngine()
    : editorState(std::make_unique<EditorState>()), undoState(std::make_unique<UndoState>()) {
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
    statusText = U"Standby...";
    storePending = true;   // nothing to rescue until the song is changed
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

    for (int k = 0; k < kChannels; ++k) {
        float left = 44 + 66 * k;
        if (clickedIn(left, left + 54, 410, 426) || pressed(Key::F5 + k))
            channelEnable[k] = channelEnable[k] == 1.0f ? 0.0f : 1.0f;
    }
    if (clickedIn(308, 362, 410, 426)) {
        followMode = followMode == 0 ? 1 : 0;
        followLabel = followMode == 1 ? U"On" : U"Off";
    }
    if (clickedIn(516, 570, 442, 458) || clickedIn(570, 624, 442, 458)) {
        keyboardLayout = keyboardLayout == 0 ? 1 : 0;
        layoutLabel = keyboardLayout == 1 ? U"US" : U"DE";
    }
    // A space typed into the file name or the description is text, not the edit switch;
    // it still stops playback.
    bool typing = nameEntryActive != 0 || descriptionEntryActive != 0;
    // The space that stops playback is not typed into the entry as well.
    if (typing && mode == 1 && pressed(Key::Space)) nextChar();
    if (clickedIn(516, 570, 338, 354) || (pressed(Key::Space) && (!typing || mode == 1))) {
        editRow = 0;
        mode -= 2;
        stopAllChannels();
        if (mode == 0) statusText = U"Editing...";
        if (mode < 0) {
            mode = 2;
            statusText = U"Standby...";
        }
    }
    if (clickedIn(570, 624, 338, 354)) undoStep();
    readControl();
    undoKeys();
    if (clickedIn(516, 570, 320, 336) || pressed(Key::F2) || pressed(Key::F1))
        runTransport(pressed(Key::F1));

    if (mode != 1) {
        followCounter = 0;
        editorInput();
        if (editRow >= song.songLength) editRow = 0;
        if (editRow < 0) editRow = song.songLength - 32;
        runSpinners();
    }
    exportStep(*this);
    patternBase = orderAt(song, currentPosition) * 32;
    if (mode == 1) {
        statusText = U"Playing...";
        followStep();
        if (player) {
            player->channelEnable = channelEnable;
            player->playerTick();
        }
    }
    rescueStep();
    return 0;
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
    constexpr int kKeyY = 89, kKeyZ = 90;   // key codes of the US positions
    if (!control) return;
    const bool german = keyboardLayout == 0;
    if (pressed(german ? kKeyY : kKeyZ)) undoStep();
    if (pressed(german ? kKeyZ : kKeyY)) redoStep();
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
    if (mode == 1) {
        cursorRow = 1;
        editRow = 0;
        mode = 2;
        statusText = U"Standby...";
        return;
    }
    if (!player) player = std::make_unique<c_tamoPlay>();
    // Playback starts only from a fresh copy: a failed hand-off leaves the mode as it
    // was and says why.
    if (!saveHandOff()) {
        statusText = U"Saving Failed!";
        return;
    }
    String loaded = player->loadIntoPlayer(U"songs/" + kHandOffName);
    if (loaded != U"1") {
        statusText = loaded;
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
    mode = 1;
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

// One minus/plus pair at x: minus in x..x+16, plus in x+16..x+32, rows y+2..y+14.
// A click steps by one within the range; the value is clamped every frame.
static void spin(int& value, float x, float y, int lo, int hi) {
    if (clickedIn(x, x + 16, y + 2, y + 14) && value > lo) --value;
    if (clickedIn(x + 16, x + 32, y + 2, y + 14) && value < hi) ++value;
    value = std::clamp(value, lo, hi);
}

// A spinner on one half of a parameter stored as high * 16 + low.
static void spinNibble(int& param, bool high, float x, float y, int hi) {
    int h = param / 16, l = param % 16;
    spin(high ? h : l, x, y, 0, hi);
    param = h * 16 + l;
}

void c_SoundEngine::runSpinners() {
    constexpr float kPanel = 561;   // x of the instrument panel's spinners
    int octaveShown = octave + 1;
    spin(octaveShown, 473, 360, 1, 4);
    octave = octaveShown - 1;
    spin(song.speed, 473, 372, 1, 16);
    int patterns = song.songLength / 32;
    spin(patterns, 473, 384, 1, 99);
    song.songLength = patterns * 32;

    spin(currentInstrument, kPanel, 144, 1, 15);
    int n = currentInstrument;   // the instrument this frame's spinner has just chosen
    spin(song.param(n, 0), kPanel, 168, 1, 7);     // WAV
    spin(song.param(n, 1), kPanel, 180, 0, 15);    // PWM
    spin(song.param(n, 4), kPanel, 204, 1, 255);   // ENV
    spin(song.param(n, 6), kPanel, 228, 0, 12);    // first ARP interval
    spin(song.param(n, 7), 593, 228, 0, 12);       // second ARP interval
    spin(song.param(n, 5), kPanel, 240, 0, 15);    // SPD
    spinNibble(song.param(n, 3), true, kPanel, 192, 15);    // SWP
    spinNibble(song.param(n, 3), false, kPanel, 252, 15);   // AMT
    spinNibble(song.param(n, 2), true, kPanel, 264, 1);     // RPT
    spinNibble(song.param(n, 2), false, kPanel, 216, 15);   // E2P

    if (currentPosition >= 0 && currentPosition < kOrderLength)
        spin(song.orderList[currentPosition], 385, 12, 0, 255);
}
