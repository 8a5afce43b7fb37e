// The tracker application driven as a user drives it: host events, then one update.
#include "app_env.h"

#include <cmath>
#include <functional>
#include <vector>

#include "audio/audio.h"
#include "host/datapath.h"
#include "host/game.h"
#include "support/files.h"
#include "tracker/core/songfile.h"

namespace {

using Tracker = TrackerAppTest;

// ---- start-up ----

TEST_F(Tracker, StartsInStandbyWithAnEmptySongAndEverythingLoaded) {
    EXPECT_EQ(host.updateRate(), 50);
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::Standby);
    EXPECT_NE(app->font, nullptr);
    EXPECT_NE(app->buttonImage, nullptr);
    EXPECT_NE(app->navrowImage, nullptr);
    for (int k = 0; k < kColumns; ++k) EXPECT_EQ(app->song.trackColumns[k], emptyColumn(k));
    EXPECT_EQ(app->cursorColumn, 1);
    EXPECT_EQ(app->cursorRow, 1);
    EXPECT_FALSE(app->follow);
    EXPECT_EQ(app->keyboardLayout, KeyboardLayout::DE);
    EXPECT_FALSE(fileExists("songs/tmp.dat")) << "no song is written at start";

    // The sounds come with the audio device, opened after the first frame but before
    // the first update: a note typed at once is heard.
    app->song.param(1, 0) = 3;     // WAV 3
    app->song.param(1, 4) = 255;   // a slow decay
    host.postKeyEvent(c_VXGameEvent::KeyChar, 'q');
    update();
    for (const auto& s : app->waveSamples) EXPECT_NE(s, nullptr);
    ASSERT_NE(audioDevice, nullptr);
    EXPECT_EQ(audioDevice->channel(1).state, 1) << "the note typed before the first update";
    EXPECT_NE(audioDevice->channel(1).sample, nullptr);
}

// ---- toggles ----

// LAYOUT steps DE, US, ANY; the choice is kept for the next start, and a settings file
// the tracker cannot use gives the defaults until the next change replaces it.
TEST_F(Tracker, LayoutStepsThroughThreeIgnoresTheBorderAndIsRemembered) {
    const std::string settings = dir.path() + "/config/tamo-tracker/settings";
    auto restart = [&] {   // what a start reads
        app->keyboardLayout = KeyboardLayout::DE;
        app->loadSettings();
    };
    click(570, 450);
    update();
    EXPECT_EQ(app->keyboardLayout, KeyboardLayout::DE);
    EXPECT_FALSE(app_env::fs::exists(settings)) << "nothing changed, nothing written";
    click(569, 450);
    update();
    EXPECT_EQ(app->keyboardLayout, KeyboardLayout::US);
    click(571, 450);
    update();
    EXPECT_EQ(app->keyboardLayout, KeyboardLayout::Any);
    EXPECT_EQ(readFile(settings), "LAYOUT ANY\n");
    restart();
    EXPECT_EQ(app->keyboardLayout, KeyboardLayout::Any);
    click(540, 450);
    update();
    EXPECT_EQ(app->keyboardLayout, KeyboardLayout::DE);

    for (const char* damaged : {"LAYOUT XX\n", "LAYOUT US\nZOOM 0\n", "LAYOUT US\nZOOM two\n"}) {
        writeFile(settings, damaged);
        restart();
        EXPECT_EQ(app->keyboardLayout, KeyboardLayout::DE) << damaged;
    }
    click(540, 450);
    update();
    EXPECT_EQ(readFile(settings), "LAYOUT US\n") << "the damaged file is replaced";
}

TEST_F(Tracker, ChannelsToggleByTheirLabelsAndByF5ToF8) {
    click(71, 418);   // "on" of channel 1
    update();
    EXPECT_EQ(app->channelEnable[0], 0.0f);
    key(Key::F8);
    update();
    EXPECT_EQ(app->channelEnable[3], 0.0f);
    click(71, 418);
    key(Key::F6);
    update();
    EXPECT_EQ(app->channelEnable[0], 1.0f);
    EXPECT_EQ(app->channelEnable[1], 0.0f);
    // The label's edges are outside it.
    click(98, 418);
    click(176, 418);
    update();
    EXPECT_EQ(app->channelEnable[0], 1.0f);
    EXPECT_EQ(app->channelEnable[2], 1.0f);
    // A click and the key in the same frame toggle once.
    click(260, 418);
    key(Key::F8);
    update();
    EXPECT_EQ(app->channelEnable[3], 1.0f);
}

TEST_F(Tracker, FollowLabelSwitchesBetweenOnAndOff) {
    click(335, 418);
    update();
    EXPECT_TRUE(app->follow);
    EXPECT_TRUE(app->follow);
    click(335, 418);
    update();
    EXPECT_FALSE(app->follow);
}

// ---- modes ----

TEST_F(Tracker, SpaceSwitchesToEditingAndBack) {
    app->editRow = 7;
    key(Key::Space);
    update();
    EXPECT_EQ(app->mode, Mode::Editing);
    EXPECT_EQ(app->status, Status::Editing);
    EXPECT_EQ(app->editRow, 0);
    click(540, 346);   // EDIT
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::Standby);
}

TEST_F(Tracker, ASpaceTypedIntoTheFileNameLeavesTheModeAlone) {
    click(100, 450);   // the file name box
    update();
    ASSERT_EQ(app->nameEntryActive, 1);
    app->editRow = 5;
    key(Key::Space);
    host.postKeyEvent(c_VXGameEvent::KeyChar, ' ');
    update();
    EXPECT_EQ(app->fileName, U" ");
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::Standby);
    EXPECT_EQ(app->editRow, 5);
}

TEST_F(Tracker, PlayClickStartsAtTheCurrentPositionAndStopsWithStandby) {
    app->song.orderList[2] = 5;
    app->song.songLength = 4 * 32;
    app->currentPosition = 2;
    app->cursorRow = 9;
    app->editRow = 12;
    click(550, 328);
    update();
    EXPECT_EQ(app->mode, Mode::Playing);
    EXPECT_EQ(app->status, Status::Playing);
    EXPECT_EQ(app->currentPosition, 2);
    EXPECT_EQ(app->editRow, 0);
    EXPECT_EQ(app->cursorRow, 1);
    EXPECT_EQ(app->patternBase, 5 * 32);
    EXPECT_TRUE(fileExists("songs/tmp.dat")) << "playback plays a saved copy";
    EXPECT_EQ(app->player->playPosition, 2);
    EXPECT_EQ(app->player->song.orderList[2], 5) << "the player reloaded the saved song";
    EXPECT_EQ(app->player->tick, 1.0f) << "the first tick runs in the start frame";

    update(3);
    EXPECT_EQ(app->status, Status::Playing);
    click(550, 328);
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::Standby);
    EXPECT_EQ(app->cursorRow, 1);
    EXPECT_EQ(app->editRow, 0);
    EXPECT_EQ(app->currentPosition, 2);
}

TEST_F(Tracker, F1PlaysFromTheSongStartAndStopsAtIt) {
    app->song.songLength = 8 * 32;
    app->song.orderList[3] = 7;
    app->currentPosition = 3;
    app->editRow = 5;
    key(Key::F1);
    update();
    EXPECT_EQ(app->mode, Mode::Playing);
    EXPECT_EQ(app->currentPosition, 0);
    EXPECT_EQ(app->player->playPosition, 0);
    EXPECT_EQ(app->patternBase, 0);

    update(4 * 40);   // past the first pattern: the view follows to position 1
    EXPECT_EQ(app->currentPosition, 1);
    key(Key::F1);
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::Standby);
    EXPECT_EQ(app->currentPosition, 0);
    EXPECT_EQ(app->editRow, 0);
}

TEST_F(Tracker, F2AndSpaceStopPlayback) {
    key(Key::F2);
    update();
    EXPECT_EQ(app->mode, Mode::Playing);
    key(Key::F2);
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    key(Key::F2);
    update();
    key(Key::Space);
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::Standby);
    EXPECT_EQ(app->editRow, 0);
}

TEST_F(Tracker, EditingCanStartPlaybackToo) {
    key(Key::Space);
    update();
    ASSERT_EQ(app->mode, Mode::Editing);
    click(550, 328);
    update();
    EXPECT_EQ(app->mode, Mode::Playing);
    EXPECT_EQ(app->status, Status::Playing);
}

// ---- playback timing ----

TEST_F(Tracker, TheViewStepsOneFrameBehindThePlayersRows) {
    ASSERT_EQ(app->song.speed, 4);
    key(Key::F2);
    update();   // frame 0
    for (int frame = 1; frame <= 3; ++frame) {
        update();
        EXPECT_EQ(app->player->playRow, 0) << "frame " << frame;
        EXPECT_EQ(app->editRow, 0) << "frame " << frame;
    }
    update();   // frame 4: the player reads row 0
    EXPECT_EQ(app->player->playRow, 1);
    EXPECT_EQ(app->editRow, 0);
    update();   // frame 5
    EXPECT_EQ(app->editRow, 1);
    update(3);  // frames 6..8: row 1 read at 8
    EXPECT_EQ(app->player->playRow, 2);
    EXPECT_EQ(app->editRow, 1);
    update();   // frame 9
    EXPECT_EQ(app->editRow, 2);
}

TEST_F(Tracker, TheViewFollowsIntoTheNextPatternAndLoopsWithTheSong) {
    app->song.speed = 1;
    app->song.songLength = 64;
    app->song.orderList[1] = 9;
    key(Key::F2);
    update();          // frame 0; followCounter reaches 1 (= speed) at frame 2
    update(1 + 31);    // editRow 31 after frame 32
    EXPECT_EQ(app->editRow, 31);
    EXPECT_EQ(app->currentPosition, 0);
    update();
    EXPECT_EQ(app->editRow, 0);
    EXPECT_EQ(app->currentPosition, 1);
    EXPECT_EQ(app->patternBase, 9 * 32);
    update(32);
    EXPECT_EQ(app->currentPosition, 0) << "the song loops after its two patterns";
    EXPECT_EQ(app->patternBase, 0);
}

TEST_F(Tracker, MutingWhilePlayingTakesEffectAtTheNextVolumeDigit) {
    Song& s = app->song;
    s.param(1, 0) = 1;    // WAV 1
    s.param(1, 4) = 1;    // ENV 1: the envelope stops at 1.0, volume F sustains
    auto put = [&](int row, char32_t note, char32_t volume) {
        s.trackColumns[noteColumn(2)].set(row, note);
        s.trackColumns[volumeColumn(2)].set(row, volume);
        s.trackColumns[instrumentColumn(2)].set(row, U'1');
        s.trackColumns[octaveColumn(2)].set(row, U'2');
    };
    put(0, U'y', U'F');
    put(2, U'q', U'8');
    key(Key::F2);
    update(6);            // frames 0..5: row 0 read at frame 4
    const float held = app->player->channelVolume[1];
    ASSERT_GT(held, 0.0f);

    key(Key::F6);
    update();             // frame 6
    EXPECT_EQ(app->channelEnable[1], 0.0f);
    EXPECT_EQ(app->player->channelEnable[1], 0.0f) << "copied into the player at once";
    update(5);            // frames 7..11: row 1 has no volume digit
    EXPECT_EQ(app->player->channelVolume[1], held) << "the volume holds until a digit";
    update();             // frame 12 reads row 2
    EXPECT_EQ(app->player->channelVolume[1], 0.0f);
}

// Listens to the channels on a loopback device: one update frame is 20 ms of sound.
class TrackerListening : public TrackerAppTest {
protected:
    void SetUp() override {
        TrackerAppTest::SetUp();
        if (HasFatalFailure()) return;
        update();   // the output device opens, and the editor's sounds load there
        loopback = std::make_unique<gxtkAudio>(AudioLoopback{}, 44100);
        ASSERT_TRUE(loopback->isOpen());
        saved = audioDevice;
        audioDevice = loopback.get();   // the player's samples are loaded at the start
    }
    void TearDown() override {
        app.reset();   // the player's samples go before the device that holds them
        audioDevice = saved;
        loopback.reset();
    }
    // Runs one update and mixes its 20 ms; returns the RMS level of the block.
    double updateAndListen() {
        update();
        std::vector<int16_t> block(882 * 2);
        loopback->render(block.data(), 882);
        double sum = 0;
        for (int16_t v : block) sum += double(v) * v;
        return std::sqrt(sum / block.size());
    }

    std::unique_ptr<gxtkAudio> loopback;
    gxtkAudio* saved = nullptr;
};

TEST_F(TrackerListening, PlaySoundsTheSongAndStopSilencesIt) {
    Song& s = app->song;
    s.param(1, 0) = 3;     // WAV 3
    s.param(1, 4) = 255;   // a slow decay
    s.trackColumns[noteColumn(1)].set(0, U'q');
    s.trackColumns[volumeColumn(1)].set(0, U'8');
    s.trackColumns[instrumentColumn(1)].set(0, U'1');
    s.trackColumns[octaveColumn(1)].set(0, U'2');
    key(Key::F2);
    for (int frame = 0; frame < 4; ++frame)
        EXPECT_EQ(updateAndListen(), 0.0) << "silent before row 0 is read, frame " << frame;
    updateAndListen();   // frame 4 starts the note
    EXPECT_GT(updateAndListen(), 500.0) << "the note sounds";
    key(Key::F2);
    updateAndListen();
    EXPECT_EQ(updateAndListen(), 0.0) << "stopping silences every channel";
    EXPECT_EQ(app->status, Status::Standby);
}

TEST_F(Tracker, AFailedHandOffDoesNotStartPlayback) {
    app_env::fs::remove_all(app_env::fs::path(dir.path()) / "data" / "songs");
    app->currentPosition = 2;
    app->song.songLength = 4 * 32;
    click(550, 328);
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::SavingFailed);
    key(Key::Space);
    update();
    key(Key::F2);
    update();
    EXPECT_EQ(app->mode, Mode::Editing) << "Editing stays Editing";
    EXPECT_EQ(app->status, Status::SavingFailed);
}

TEST_F(Tracker, AReadOnlySongsFolderStopsPlaybackButNotALoad) {
    const std::string songs = dir.path() + "/data/songs";
    SmallFileSystem disk(songs, 256);
    if (!disk.ok()) GTEST_SKIP() << disk.why();
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    ASSERT_TRUE(disk.makeReadOnly());
    update();
    app->song.trackColumns[noteColumn(1)].set(0, U'q');   // unsaved work
    key(Key::F2);
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::SavingFailed);

    // The rescue copy cannot be written either: the LOAD keeps the song and says so; the
    // same LOAD again within 10 seconds goes ahead.
    app->fileName = U"tune";
    testing::internal::CaptureStdout();
    key(Key::F12);
    update();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unsaved song could not be kept in songs/autosave\n");
    EXPECT_EQ(app->status, Status::SongNotKept);
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)][0], U'q');
    update(100);
    key(Key::F12);
    update();
    EXPECT_EQ(app->status, Status::FileLoaded);
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)][0], U'.');
}

TEST_F(Tracker, EditorAndSpinnersRestWhilePlaying) {
    key(Key::F2);
    update();
    click(585, 150);   // instrument plus
    click(489, 378);   // speed plus
    update();
    EXPECT_EQ(app->currentInstrument, 1);
    EXPECT_EQ(app->song.speed, 4);
}

// ---- the editor's row wrap and undo ----

TEST_F(Tracker, EditRowWrapsAroundTheSongLength) {
    app->song.songLength = 3 * 32;
    app->editRow = 96;
    update();
    EXPECT_EQ(app->editRow, 0);
    app->editRow = -1;
    update();
    EXPECT_EQ(app->editRow, 64);
}

TEST_F(Tracker, UndoRightAfterStartRestoresTheEmptySong) {
    key(Key::Space);
    host.postKeyEvent(c_VXGameEvent::KeyChar, 'q');
    update();
    ASSERT_EQ(app->song.trackColumns[noteColumn(1)][0], U'q');
    click(597, 346);
    update();
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)], emptyColumn(noteColumn(1)));
}

// Ctrl with the key labelled Z undoes and with Y redoes; on the German layout those
// labels sit at the US positions of Y (89) and Z (90).
TEST_F(Tracker, CtrlZAndCtrlYGoByTheirLabelsInTheLayout) {
    auto ctrl = [&](int code) {
        host.postKeyEvent(c_VXGameEvent::KeyDown, Key::Control);
        key(code);
        update();
        host.postKeyEvent(c_VXGameEvent::KeyUp, Key::Control);
    };
    auto note = [&] { return app->song.trackColumns[noteColumn(1)][0]; };
    key(Key::Space);
    host.postKeyEvent(c_VXGameEvent::KeyChar, 'q');
    update();
    ASSERT_EQ(app->keyboardLayout, KeyboardLayout::DE);   // DE
    ctrl(89);
    EXPECT_EQ(note(), U'.');
    ctrl(90);
    EXPECT_EQ(note(), U'q');
    key(90);   // without Ctrl nothing happens
    update();
    EXPECT_EQ(note(), U'q');

    click(540, 450);   // LAYOUT US
    update();
    ctrl(90);
    EXPECT_EQ(note(), U'.');
    // Ctrl seen down in one update and already released when the next sees the Y.
    host.postKeyEvent(c_VXGameEvent::KeyDown, Key::Control);
    update();
    host.postKeyEvent(c_VXGameEvent::KeyUp, Key::Control);
    key(89);
    update();
    EXPECT_EQ(note(), U'q');
}

TEST_F(Tracker, SpaceStopsPlaybackWhileANameIsTyped) {
    click(100, 450);   // the file name box
    update();
    key(Key::F2);
    update();
    ASSERT_EQ(app->mode, Mode::Playing);
    key(Key::Space);
    host.postKeyEvent(c_VXGameEvent::KeyChar, ' ');
    update();
    EXPECT_EQ(app->mode, Mode::Standby);
    EXPECT_EQ(app->status, Status::Standby);
    EXPECT_EQ(app->fileName, U"") << "the space that stopped playback is not typed";
}

// ---- the rescue copy of unsaved work ----

TEST_F(Tracker, UnsavedWorkIsKeptWithin5SecondsAndOnlyWhenThereIsNew) {
    const std::string rescue = dir.path() + "/data/songs/autosave";
    update(1500);
    EXPECT_FALSE(app_env::fs::exists(rescue)) << "nothing changed";
    app->song.trackColumns[noteColumn(2)].set(5, U'w');
    app->song.instrumentDescriptions[3] = U"lead";
    testing::internal::CaptureStdout();
    update(249);
    EXPECT_FALSE(app_env::fs::exists(rescue)) << "not more often than every 5 seconds";
    update(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unsaved song kept in songs/autosave\n");
    Song kept;
    const std::string bytes = readFile(rescue);
    ASSERT_TRUE(readSong(decodeText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), kept));
    EXPECT_EQ(kept.trackColumns, app->song.trackColumns);
    EXPECT_EQ(kept.instrumentDescriptions[3], String(U"lead").append(17, U' '));

    app_env::fs::remove(rescue);
    update(1500);
    EXPECT_FALSE(app_env::fs::exists(rescue)) << "nothing new since the last copy";
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    app->song.speed = 9;
    app->song.speed = 4;   // back as saved
    update(1500);
    app->handleClose();
    EXPECT_FALSE(app_env::fs::exists(rescue)) << "the song is as saved";
    app->song.speed = 9;
    app->handleClose();
    EXPECT_TRUE(app_env::fs::exists(rescue)) << "a close keeps the change at once";
}

TEST_F(Tracker, LoadKeepsTheSongItReplacesAndTheRescueLoadsBack) {
    ASSERT_EQ(app->saveSong(U"tune"), Status::FileSaved);
    app->song.trackColumns[noteColumn(1)].set(0, U'q');
    app->fileName = U"tune";
    key(Key::F12);
    update();
    ASSERT_EQ(app->status, Status::FileLoaded);
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)][0], U'.');
    app->fileName = U"autosave";
    key(Key::F12);
    update();
    EXPECT_EQ(app->status, Status::FileLoaded);
    EXPECT_EQ(app->song.trackColumns[noteColumn(1)][0], U'q');
    EXPECT_TRUE(app->songChanged()) << "a loaded rescue copy is still unsaved work";
    testing::internal::CaptureStdout();
    update(250);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "it is kept already";
}

// Rescue copies other windows or earlier runs left are moved along, never written
// over; the oldest drops out after ten, and a window's own copy is simply replaced.
TEST_F(Tracker, RescueCopiesOthersLeftMoveAlongAndAtMostTenAreKept) {
    const std::string songs = dir.path() + "/data/songs/";
    for (int n = 0; n < 12; ++n) {
        ASSERT_TRUE(replaceFile(songs + "autosave", "other " + std::to_string(n)).saved);
        app->song.speed = 5 + n % 10;
        ASSERT_EQ(app->handleClose(), 0);
    }
    EXPECT_EQ(readFile(songs + "autosave")[5], char(5 + 11 % 10));
    EXPECT_EQ(readFile(songs + "autosave.1"), "other 11");
    EXPECT_EQ(readFile(songs + "autosave.9"), "other 3");
    EXPECT_FALSE(app_env::fs::exists(songs + "autosave.10"));
    app->song.speed = 16;
    ASSERT_EQ(app->handleClose(), 0);
    EXPECT_EQ(readFile(songs + "autosave")[5], char(16));
    EXPECT_EQ(readFile(songs + "autosave.1"), "other 11") << "its own copy moves nothing";

    // Another window taking turns with this one: each replaces its own earlier copy,
    // wherever that has moved, so the older work stays.
    std::optional<FileStamp> other;
    for (int turn = 0; turn < 3; ++turn) {
        ASSERT_TRUE(app->songs.writeRescue(U"the other window's " + toString(turn), other));
        app->song.speed = 1 + turn;
        ASSERT_EQ(app->handleClose(), 0);
    }
    EXPECT_EQ(readFile(songs + "autosave")[5], char(3));
    EXPECT_EQ(readFile(songs + "autosave.1"), "the other window's 2");
    EXPECT_EQ(readFile(songs + "autosave.2"), "other 11");
    EXPECT_EQ(readFile(songs + "autosave.9"), "other 4");
}

// A close that cannot keep the unsaved song keeps the window open and says so; a
// second close within 10 seconds ends the program all the same.
TEST_F(Tracker, ACloseThatCannotKeepTheSongIsRefusedOnceWithin10Seconds) {
    const std::string songs = dir.path() + "/data/songs/";
    update();
    app_env::fs::create_directory(songs + "autosave~saving");   // where the copy is written first
    app->song.speed = 9;
    testing::internal::CaptureStdout();
    const int first = app->handleClose();
    const Status status = app->status;
    update(501);
    const int later = app->handleClose();
    update(10);
    const int again = app->handleClose();
    EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 49),
              "Unsaved song could not be kept in songs/autosave\n");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(status, Status::SongNotKept);
    EXPECT_EQ(later, 1) << "more than 10 seconds later it asks again";
    EXPECT_EQ(again, 0);

    app_env::fs::remove(songs + "autosave~saving");
    app->song.speed = 10;
    EXPECT_EQ(app->handleClose(), 0) << "once kept, a close ends at once";
}

// ---- spinners ----

struct SpinnerCase {
    const char* name;
    float minusX, y;                          // minus button; plus is 16 pixels right
    int lo, hi;
    std::function<int&(c_SoundEngine&)> raw;  // stored value (nibbles: the whole parameter)
    std::function<int(c_SoundEngine&)> shown; // the value the spinner works on
};

int& param(c_SoundEngine& a, int j) { return a.song.param(a.currentInstrument, j); }

std::vector<SpinnerCase> spinnerCases() {
    auto self = [](int j) {
        return std::function<int(c_SoundEngine&)>([j](c_SoundEngine& a) { return param(a, j); });
    };
    auto raw = [](int j) {
        return std::function<int&(c_SoundEngine&)>([j](c_SoundEngine& a) -> int& { return param(a, j); });
    };
    return {
        {"octave", 473, 360, 1, 4, [](c_SoundEngine& a) -> int& { return a.octave; },
         [](c_SoundEngine& a) { return a.octave + 1; }},
        {"speed", 473, 372, 1, 16, [](c_SoundEngine& a) -> int& { return a.song.speed; },
         [](c_SoundEngine& a) { return a.song.speed; }},
        {"length", 473, 384, 1, 99, [](c_SoundEngine& a) -> int& { return a.song.songLength; },
         [](c_SoundEngine& a) { return a.song.songLength / 32; }},
        {"instrument", 561, 144, 1, 15, [](c_SoundEngine& a) -> int& { return a.currentInstrument; },
         [](c_SoundEngine& a) { return a.currentInstrument; }},
        {"WAV", 561, 168, 1, 7, raw(0), self(0)},
        {"PWM", 561, 180, 0, 15, raw(1), self(1)},
        {"ENV", 561, 204, 1, 255, raw(4), self(4)},
        {"ARP1", 561, 228, 0, 12, raw(6), self(6)},
        {"ARP2", 593, 228, 0, 12, raw(7), self(7)},
        {"SPD", 561, 240, 0, 15, raw(5), self(5)},
        {"SWP", 561, 192, 0, 15, raw(3), [](c_SoundEngine& a) { return param(a, 3) / 16; }},
        {"AMT", 561, 252, 0, 15, raw(3), [](c_SoundEngine& a) { return param(a, 3) % 16; }},
        {"RPT", 561, 264, 0, 1, raw(2), [](c_SoundEngine& a) { return param(a, 2) / 16; }},
        {"E2P", 561, 216, 0, 15, raw(2), [](c_SoundEngine& a) { return param(a, 2) % 16; }},
        {"order", 385, 12, 0, 255,
         [](c_SoundEngine& a) -> int& { return a.song.orderList[a.currentPosition]; },
         [](c_SoundEngine& a) { return a.song.orderList[a.currentPosition]; }},
    };
}

TEST_F(Tracker, EverySpinnerStepsWithinItsRange) {
    for (const SpinnerCase& c : spinnerCases()) {
        SCOPED_TRACE(c.name);
        const float y = c.y + 8;
        int start = c.shown(*app);
        click(c.minusX + 8, y);
        update();
        EXPECT_EQ(c.shown(*app), std::max(start - 1, c.lo)) << "minus";
        click(c.minusX + 24, y);
        update();
        EXPECT_EQ(c.shown(*app), std::max(start - 1, c.lo) + 1) << "plus";

        // Down to the floor and up to the ceiling, one click per frame.
        for (int i = 0; i < c.hi - c.lo + 2; ++i) {
            click(c.minusX + 8, y);
            update();
        }
        EXPECT_EQ(c.shown(*app), c.lo);
        for (int i = 0; i < c.hi - c.lo + 2; ++i) {
            click(c.minusX + 24, y);
            update();
        }
        EXPECT_EQ(c.shown(*app), c.hi);

        // The buttons are 12 pixels tall from y+2 to y+14, exclusive.
        click(c.minusX + 8, c.y + 2);
        click(c.minusX + 8, c.y + 14);
        update();
        EXPECT_EQ(c.shown(*app), c.hi) << "outside the buttons";
        // A value out of range is pulled back in every frame, clicked or not (a low
        // nibble cannot exceed 15).
        const std::string name = c.name;
        if (name != "AMT" && name != "E2P") {
            c.raw(*app) = 100000;
            update();
            EXPECT_EQ(c.shown(*app), c.hi) << "clamped from above";
        }
        c.raw(*app) = name == "octave" ? -5 : 0;
        update();
        EXPECT_EQ(c.shown(*app), c.lo) << "clamped from below";
        // Leave instrument 1 selected and instrument parameters small for the next case.
        app->currentInstrument = 1;
        app->song.instrumentTable.fill(0);
    }
}

TEST_F(Tracker, NibbleSpinnersChangeOnlyTheirHalf) {
    param(*app, 3) = 4 * 16 + 10;   // SWP 4, AMT 10
    param(*app, 2) = 1 * 16 + 15;   // RPT 1, E2P 15
    click(585, 200);                // SWP plus
    update();
    EXPECT_EQ(param(*app, 3), 5 * 16 + 10);
    click(569, 260);                // AMT minus
    update();
    EXPECT_EQ(param(*app, 3), 5 * 16 + 9);
    click(569, 272);                // RPT minus
    update();
    EXPECT_EQ(param(*app, 2), 15);
    click(569, 224);                // E2P minus
    update();
    EXPECT_EQ(param(*app, 2), 14);
    param(*app, 2) = 3 * 16 + 2;    // RPT 3 from a file is held at 1, E2P kept
    update();
    EXPECT_EQ(param(*app, 2), 1 * 16 + 2);
}

TEST_F(Tracker, SelectingAnEmptyInstrumentGivesItWavAndEnvOne) {
    update();
    ASSERT_EQ(app->song.param(3, 0), 0);
    click(585, 150);   // instrument plus: 2
    update();
    EXPECT_EQ(app->song.param(2, 0), 1);
    EXPECT_EQ(app->song.param(2, 4), 1);
    EXPECT_EQ(app->song.param(3, 0), 0) << "only the displayed instrument is raised";
    click(585, 150);   // 3
    update();
    EXPECT_EQ(app->currentInstrument, 3);
    EXPECT_EQ(app->song.param(3, 0), 1);
    EXPECT_EQ(app->song.param(3, 4), 1);
    for (int j : {1, 2, 3, 5, 6, 7}) EXPECT_EQ(app->song.param(3, j), 0) << j;
}

TEST_F(Tracker, TheOrderSpinnerEditsTheCurrentPositionsPattern) {
    app->currentPosition = 4;
    click(409, 20);
    update();
    click(409, 20);
    update();
    EXPECT_EQ(app->song.orderList[4], 2);
    EXPECT_EQ(app->patternBase, 2 * 32);
    EXPECT_EQ(app->song.orderList[3], 0);
}

}  // namespace
