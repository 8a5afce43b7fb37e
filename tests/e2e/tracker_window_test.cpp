// The real program in a real window, used as a musician would: start-up screen, typing
// notes and digits, naming and saving a song, loading a demo and listening to it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include "support/files.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <unistd.h>

#include "session.h"
#include "support/jack.h"
#include "tracker/core/songfile.h"

namespace {

// Screen places (window pixels) and texts of the tracker. The status bar (y 0..13) is
// painted over the top two pixel rows of pattern row 0 (y 12).
constexpr int kBelowStatusBar = 14;
const Rgb kDimRow{114, 111, 126};           // rows 0, 4, 8, ... of the pattern
constexpr int kStatusX = 473;               // status message after 43 characters
const int kNameBox[2] = {100, 450};
const int kLoadButton[2] = {414, 450};
const int kSaveButton[2] = {468, 450};
const int kEditButton[2] = {543, 346};
const int kPlayButton[2] = {543, 328};
const int kLayoutButton[2] = {543, 450};
const int kFollowLabel[2] = {335, 418};
const Rgb kBlockColour{32, 32, 64};

// A private X server with room for the window at 3x and the keymap `keymap` (set
// before the program starts, as a user's desktop would); the shared server and the
// test's DISPLAY stay as they are.
std::unique_ptr<XvfbServer> privateServer(const std::string& keymap) {
    const char* shared = getenv("DISPLAY");
    std::string display = shared ? shared : "";
    auto server = std::make_unique<XvfbServer>("1920x1440x24");
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    if (server->ok())
        EXPECT_EQ(system(("setxkbmap -display " + server->display() + " " + keymap).c_str()), 0);
    return server;
}

// Pixels of `zoomed` that are not the pixel of `one` they are the block of; pixels in
// the pattern rows (x 0..304, y 12..398 of the layout) count only when `pattern` is set.
int pixelsOutOfBlock(const Screenshot& zoomed, const Screenshot& one, int zoom, bool pattern = true) {
    if (zoomed.width != one.width * zoom || zoomed.height != one.height * zoom) return -1;
    int wrong = 0;
    for (int y = 0; y < zoomed.height; ++y)
        for (int x = 0; x < zoomed.width; ++x) {
            if (!pattern && x / zoom <= 304 && y / zoom >= 12 && y / zoom <= 398) continue;
            Rgb a = zoomed.at(x, y), b = one.at(x / zoom, y / zoom);
            if (a.r != b.r || a.g != b.g || a.b != b.b) ++wrong;
        }
    return wrong;
}

// The zoom x zoom blocks of `zoomed` that are not of one colour.
int unevenBlocks(const Screenshot& zoomed, int zoom) {
    int uneven = 0;
    for (int y = 0; y + zoom <= zoomed.height; y += zoom)
        for (int x = 0; x + zoom <= zoomed.width; x += zoom) {
            Rgb first = zoomed.at(x, y);
            bool even = true;
            for (int dy = 0; dy < zoom; ++dy)
                for (int dx = 0; dx < zoom; ++dx) {
                    Rgb p = zoomed.at(x + dx, y + dy);
                    even = even && p.r == first.r && p.g == first.g && p.b == first.b;
                }
            uneven += !even;
        }
    return uneven;
}

std::string patternRow(int row) { return "0" + std::to_string(row) + ": "; }

// Root mean square of `sound` from `from` to `to` seconds.
double rms(const Sound& s, double from, double to) {
    size_t a = size_t(std::max(0.0, from) * s.hertz), b = size_t(std::max(0.0, to) * s.hertz);
    b = std::min(b, s.mono.size());
    if (a >= b) return 0;
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += double(s.mono[i]) * s.mono[i];
    return std::sqrt(sum / double(b - a));
}

// Seconds at which a note starts: the sound leaves at least 60 ms of near silence and is
// loud within 10 ms. A note rarely starts on a window's edge, so the window it starts in
// is often neither quiet nor loud; the start is that window's.
std::vector<double> onsets(const Sound& s) {
    std::vector<double> found;
    const size_t window = size_t(s.hertz) / 200;     // 5 ms
    int quiet = 0, quietBeforeRise = 0, sinceRise = 0;
    double riseAt = 0;
    for (size_t at = 0; at + window <= s.mono.size(); at += window) {
        double level = rms(s, double(at) / s.hertz, double(at + window) / s.hertz);
        if (level < 0.004) { ++quiet; continue; }
        if (quiet > 0) quietBeforeRise = quiet, riseAt = double(at) / s.hertz, sinceRise = 0;
        else ++sinceRise;
        quiet = 0;
        if (level > 0.02 && quietBeforeRise >= 12 && sinceRise <= 2) {
            found.push_back(riseAt);
            quietBeforeRise = 0;
        }
    }
    return found;
}

// Fundamental frequency over `seconds` from `from`, by autocorrelation (60..1000 Hz).
double pitch(const Sound& s, double from, double seconds) {
    size_t a = size_t(from * s.hertz), n = size_t(seconds * s.hertz);
    if (a + n + s.hertz / 60 > s.mono.size()) return 0;
    int best = 0;
    double bestScore = -1e9;
    for (int lag = s.hertz / 1000; lag <= s.hertz / 60; ++lag) {
        double score = 0;
        for (size_t i = 0; i < n; ++i) score += double(s.mono[a + i]) * s.mono[a + i + lag];
        // Prefer the shortest period among near-equal peaks (not its multiples).
        if (score > bestScore * 1.02) bestScore = score, best = lag;
    }
    // Refine between samples with a parabola through the neighbours.
    auto corr = [&](int lag) {
        double sc = 0;
        for (size_t i = 0; i < n; ++i) sc += double(s.mono[a + i]) * s.mono[a + i + lag];
        return sc;
    };
    double l = corr(best - 1), c = corr(best), r = corr(best + 1);
    double shift = (l - 2 * c + r) != 0 ? 0.5 * (l - r) / (l - 2 * c + r) : 0;
    return s.hertz / (best + shift);
}

class TrackerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sharedXvfb().ok()) << "Xvfb did not start";
    }
    void startOrFail(TamoSession& tamo) {
        ASSERT_TRUE(tamo.start()) << tamo.error();
    }
    // Types a song name into the file name box and confirms it with Enter.
    void enterName(TamoSession& tamo, const std::string& name) {
        tamo.click(kNameBox[0], kNameBox[1]);
        tamo.type(name);
        tamo.key("Return");
    }
    // The window's picture once it is `width` pixels wide and painted to its corner.
    Screenshot shotAt(TamoSession& tamo, int width) {
        Screenshot shot;
        for (int i = 0; i < 40; ++i) {
            tamo.wait(100);
            shot = tamo.screenshot();
            if (shot.width == width && near(shot.at(width - 5, shot.height - 5), kBackground)) break;
        }
        tamo.wait(200);   // a repaint or two more: the picture is settled
        return tamo.screenshot();
    }
    void expectText(TamoSession& tamo, const FontCells& font, int x, int y,
                    const std::string& text, Rgb colour, int fromY = 0) {
        tamo.wait(100);
        Screenshot shot = tamo.screenshot();
        ASSERT_TRUE(shot.ok());
        EXPECT_EQ(font.check(shot, x, y, text, colour, fromY), "") << "text \"" << text << "\" at " << x
                                                           << ", " << y;
    }
};

}  // namespace

TEST_F(TrackerWindow, StartsInStandbyShowingTheTrackerScreenAndClosesWithStatusZero) {
    TempDir dir;
    TamoSession tamo(dir);
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    ASSERT_TRUE(font.ok());
    Screenshot shot = tamo.screenshot();
    ASSERT_EQ(shot.width, 640);
    ASSERT_EQ(shot.height, 475);

    // Colours of the areas, at pixels no text covers.
    EXPECT_TRUE(near(shot.at(635, 470), kBackground));      // window background
    EXPECT_TRUE(near(shot.at(300, 200), kBlack));           // pattern area
    EXPECT_TRUE(near(shot.at(304, 200), kBackground));      // separator to the order column
    EXPECT_TRUE(near(shot.at(630, 12), kStatusBar));        // top status bar
    EXPECT_TRUE(near(shot.at(381, 24), Rgb{71, 53, 85}));   // bar of the current position
    EXPECT_TRUE(near(shot.at(200, 456), kBlack));           // file name box
    EXPECT_TRUE(near(shot.at(600, 138), kBlack));           // description box

    // Texts where a user looks for them.
    EXPECT_EQ(font.check(shot, 0, -1, "POS CHN1  CHN2  CHN3  CHN4  POS ## Status:", kText), "");
    EXPECT_EQ(font.check(shot, kStatusX, -1, "Standby...", kStatusText), "");
    EXPECT_EQ(font.check(shot, 0, 12, "00: ---00 ---00 ---00 ---00", kDimRow, kBelowStatusBar), "");
    EXPECT_EQ(font.check(shot, 0, 24, "01: ---00 ---00 ---00 ---00", kText), "");
    EXPECT_EQ(font.check(shot, 297, 12, " 00: 00", kText, kBelowStatusBar), "");
    EXPECT_EQ(font.check(shot, 385, 144, "  INSTRUMENT:01", kText), "");
    EXPECT_EQ(font.check(shot, 385, 168, "         WAV:01", kText), "");
    EXPECT_EQ(font.check(shot, 385, 204, "         ENV:01", kText), "");
    EXPECT_EQ(font.check(shot, 385, 372, " SPD:04", kText), "");
    EXPECT_EQ(font.check(shot, 442, 106, "Description:", kText), "");
    EXPECT_EQ(font.check(shot, 520, 323, "PLAY HOME", kText), "");
    EXPECT_EQ(font.check(shot, 520, 343, "EDIT UNDO", kText), "");
    EXPECT_EQ(font.check(shot, 520, 363, "COPYBLOCK", kText), "");
    EXPECT_EQ(font.check(shot, 520, 383, "PASTE@POS", kText), "");
    EXPECT_EQ(font.check(shot, 391, 441, "LOAD SAVE", kText), "");
    EXPECT_EQ(font.check(shot, 520, 440, "LAYOUT DE", kText), "");
    EXPECT_EQ(font.check(shot, 0, 408, "    on    on    on    on   FLW:Off", kText), "");
    EXPECT_EQ(font.check(shot, 425, 40, "[[[  [  [ [ [[[", kText), "");   // the logo's top row

    EXPECT_EQ(tamo.close(), 0) << tamo.log();
}

TEST_F(TrackerWindow, TypedNotesAndVolumeDigitsAppearInThePattern) {
    TempDir dir;
    TamoSession tamo(dir);
    startOrFail(tamo);
    FontCells font(tamo.fontPath());

    tamo.click(kEditButton[0], kEditButton[1]);
    expectText(tamo, font, kStatusX, -1, "Editing...", kStatusText);
    tamo.type("qwe");              // C, D and E of the upper row, octave digit 2
    tamo.key("Right");             // the volume column of channel 1, cursor on row 3
    tamo.type("a7");               // volume digits: lower-case a is stored as A

    tamo.wait(150);
    Screenshot shot = tamo.screenshot();
    EXPECT_EQ(font.check(shot, 0, 12, "00: C-381 ---00 ---00 ---00", kDimRow, kBelowStatusBar), "");
    EXPECT_EQ(font.check(shot, 0, 24, "01: D-381 ---00 ---00 ---00", kText), "");
    EXPECT_EQ(font.check(shot, 0, 36, "02: E-381 ---00 ---00 ---00", kText), "");
    EXPECT_EQ(font.check(shot, 0, 48, "03: ---A0 ---00 ---00 ---00", kText), "");
    EXPECT_EQ(font.check(shot, 0, 60, "04: ---70 ---00 ---00 ---00", kDimRow), "");
    EXPECT_EQ(font.check(shot, 0, 72, "05: ---00 ---00 ---00 ---00", kText), "");

    // Space leaves Editing: digits typed now change nothing.
    tamo.key("space");
    expectText(tamo, font, kStatusX, -1, "Standby...", kStatusText);
    tamo.type("5");
    expectText(tamo, font, 0, 72, "05: ---00 ---00 ---00 ---00", kText);
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
}

TEST_F(TrackerWindow, NamedSongIsSavedToDiskWithTheTypedNotes) {
    TempDir dir;
    TamoSession tamo(dir);
    startOrFail(tamo);
    FontCells font(tamo.fontPath());

    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("q");
    enterName(tamo, "my-tune_1");
    expectText(tamo, font, 0, 441, " my-tune_1", kText);
    tamo.click(kSaveButton[0], kSaveButton[1]);
    expectText(tamo, font, kStatusX, -1, "File Saved...", kStatusText);

    std::string bytes = readFile(tamo.songsFolder() + "/my-tune_1");
    ASSERT_EQ(bytes.size(), 1675u) << "one pattern: 1163 + 512 characters, all one byte";
    EXPECT_EQ(bytes.substr(0, 4), "TAM1");
    EXPECT_EQ(bytes[4], 1);        // one pattern long
    EXPECT_EQ(bytes[5], 4);        // speed 4
    EXPECT_EQ(bytes[6], 1);        // one pattern stored
    const int L = 32;
    EXPECT_EQ(bytes[7], 'q');                  // channel 1 note, row 0
    EXPECT_EQ(bytes[8], '.');                  // row 1 still empty
    EXPECT_EQ(bytes[7 + 4 * L], '8');          // its volume
    EXPECT_EQ(bytes[7 + 8 * L], '1');          // its instrument
    EXPECT_EQ(bytes[7 + 12 * L], '2');         // its octave digit
    EXPECT_EQ(bytes[7 + 1 * L], '.');          // channel 2 untouched
    EXPECT_EQ(bytes[263 + 16 * L + 8], 1);    // instrument 1: WAV raised to 1 by the panel
    EXPECT_EQ(bytes[263 + 16 * L + 12], 1);   // and ENV to 1

    // The file reads back as the song that was typed.
    Song song;
    ASSERT_TRUE(readSong(widen(bytes), song));
    EXPECT_EQ(song.cell(noteColumn(1), 0), U'q');
    EXPECT_EQ(song.songLength, 32);
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
}

TEST_F(TrackerWindow, LoadedDemoSongPlaysAudiblyWithF1AndF2StopsIt) {
    TempDir dir;
    TamoSession tamo(dir, {"demo1"});
    startOrFail(tamo);
    FontCells font(tamo.fontPath());

    enterName(tamo, "demo1");
    tamo.click(kLoadButton[0], kLoadButton[1]);
    expectText(tamo, font, kStatusX, -1, "File Loaded...", kStatusText);
    // The first row of the demo: pad, chord arpeggio, bass and kick.
    expectText(tamo, font, 0, 12, "00: A-3F4 A-296 A-187 C-488", kDimRow, kBelowStatusBar);

    tamo.key("F1");
    expectText(tamo, font, kStatusX, -1, "Playing...", kStatusText);
    tamo.wait(3000);
    tamo.key("F2");
    expectText(tamo, font, kStatusX, -1, "Standby...", kStatusText);
    tamo.wait(1500);
    ASSERT_EQ(tamo.close(), 0) << tamo.log();

    Sound sound = readWave(tamo.wavePath());
    ASSERT_GT(sound.hertz, 0) << "no sound file was written";
    double seconds = double(sound.mono.size()) / sound.hertz;
    ASSERT_GT(seconds, 4.0);
    // Loud while playing, silent once stopped (the last second before closing).
    std::vector<double> starts = onsets(sound);
    ASSERT_FALSE(starts.empty()) << "the song was silent";
    double playing = rms(sound, starts.front(), starts.front() + 2.5);
    EXPECT_GT(playing, 0.02);
    EXPECT_LT(rms(sound, seconds - 1.0, seconds), 0.001) << "sound went on after F2";
}

// A song made for listening: channel 1 plays a 50 % square, "y" (C at the sample's own
// pitch) and "q" an octave higher in turn, every 8 rows at speed 4 (640 ms apart), each
// decaying to silence after 16 ticks (320 ms).
static Song listeningSong() {
    Song song;
    song.clear();
    song.speed = 4;
    song.param(1, 0) = 3;          // WAV 3: the 50 % square
    song.param(1, 4) = 2;          // ENV 2: 16 ticks from volume 8 to silence
    const char32_t notes[4] = {U'y', U'q', U'y', U'q'};
    for (int i = 0; i < 4; ++i) {
        int row = i * 8;
        song.trackColumns[noteColumn(1)].set(row, notes[i]);
        song.trackColumns[volumeColumn(1)].set(row, U'8');
        song.trackColumns[instrumentColumn(1)].set(row, U'1');
        song.trackColumns[octaveColumn(1)].set(row, U'2');
    }
    return song;
}

TEST_F(TrackerWindow, PlayedNotesHaveTheSongsPitchAndRowTiming) {
    TempDir dir;
    TamoSession tamo(dir);
    {
        std::ofstream out(tamo.songsFolder() + "/listen", std::ios::binary);
        out << encodeUtf8(writeSong(listeningSong()));
    }
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    enterName(tamo, "listen");
    tamo.click(kLoadButton[0], kLoadButton[1]);
    expectText(tamo, font, kStatusX, -1, "File Loaded...", kStatusText);
    tamo.key("F1");
    tamo.wait(3400);
    tamo.key("F2");
    tamo.wait(800);
    ASSERT_EQ(tamo.close(), 0) << tamo.log();

    Sound sound = readWave(tamo.wavePath());
    ASSERT_GT(sound.hertz, 0) << "no sound file was written";
    std::vector<double> starts = onsets(sound);
    ASSERT_GE(starts.size(), 4u) << "expected a note every 640 ms";
    for (size_t i = 1; i < starts.size(); ++i)
        EXPECT_NEAR(starts[i] - starts[i - 1], 0.640, 0.045) << "between notes " << i << " and " << i + 1;
    double mean = (starts.back() - starts.front()) / double(starts.size() - 1);
    EXPECT_NEAR(mean, 0.640, 0.015);
    for (size_t i = 0; i < starts.size(); ++i) {
        double want = (i % 2 == 0) ? 130.81 : 261.63;
        EXPECT_NEAR(pitch(sound, starts[i] + 0.02, 0.1), want, want * 0.01) << "note " << i + 1;
    }
}

TEST_F(TrackerWindow, SavingOverASongKeepsItsPreviousVersionAsABackupThatLoadsBack) {
    TempDir dir;
    TamoSession tamo(dir);
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    const std::string song = tamo.songsFolder() + "/riff";

    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("q");                                    // row 0
    enterName(tamo, "riff");
    tamo.click(kSaveButton[0], kSaveButton[1]);
    std::string first = readFile(song);
    ASSERT_EQ(first.size(), 1675u);
    EXPECT_FALSE(std::ifstream(tamo.songsFolder() + "/backup/riff").good()) << "a new song has nothing to keep";

    tamo.click(kEditButton[0], kEditButton[1]);        // the name entry left Editing
    tamo.type("w");                                    // row 1, below the cursor's row 0 note
    tamo.key("F11");
    expectText(tamo, font, kStatusX, -1, "File Saved...", kStatusText);
    std::string second = readFile(song);
    EXPECT_EQ(readFile(tamo.songsFolder() + "/backup/riff"), first);
    ASSERT_EQ(second.size(), 1675u);
    EXPECT_EQ(second[7], 'q');
    EXPECT_EQ(second[8], 'w');

    // The backup is a name the box accepts: it loads back without leaving the program.
    tamo.click(kNameBox[0], kNameBox[1]);
    for (int i = 0; i < 4; ++i) tamo.key("BackSpace");
    tamo.type("backup/riff");
    tamo.key("Return");
    expectText(tamo, font, 0, 441, " backup/riff", kText);
    tamo.click(kLoadButton[0], kLoadButton[1]);
    expectText(tamo, font, kStatusX, -1, "File Loaded...", kStatusText);
    expectText(tamo, font, 0, 24, "01: ---00 ---00 ---00 ---00", kText);

    // Playback rewrites the hand-off file each time and keeps no backup of it.
    for (int i = 0; i < 2; ++i) {
        tamo.key("F1");
        tamo.wait(300);
        tamo.key("F2");
    }
    EXPECT_TRUE(std::ifstream(tamo.songsFolder() + "/tmp.dat").good());
    EXPECT_FALSE(std::ifstream(tamo.songsFolder() + "/backup/tmp.dat").good());
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
}

// The wave writer fills in its header sizes only when the device is closed.
static bool waveHeaderFinished(const std::string& path) {
    std::string bytes = readFile(path);
    if (bytes.size() < 44) return false;
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
               uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
    };
    return u32(4) == bytes.size() - 8;
}

TEST_F(TrackerWindow, UnsavedEditsComeBackFromTheRescueCopyAfterTheWindowIsClosed) {
    TempDir dir;
    TamoSession tamo(dir);
    startOrFail(tamo);
    FontCells font(tamo.fontPath());

    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("qw");
    tamo.key("ctrl+y");   // LAYOUT DE: the key labelled Z, undo; it types no note "y"
    expectText(tamo, font, 0, 24, "01: ---00 ---00 ---00 ---00", kText);
    expectText(tamo, font, 0, 36, "02: ---00 ---00 ---00 ---00", kText);
    ASSERT_EQ(tamo.close(), 0) << tamo.log();
    const std::string log = tamo.log();
    EXPECT_NE(log.find("Unsaved song kept in songs/autosave"), std::string::npos) << log;
    EXPECT_EQ(log.find("not closed"), std::string::npos) << log;
    EXPECT_TRUE(waveHeaderFinished(tamo.wavePath())) << "the audio device was closed";

    startOrFail(tamo);
    enterName(tamo, "autosave");
    tamo.click(kLoadButton[0], kLoadButton[1]);
    expectText(tamo, font, kStatusX, -1, "File Loaded...", kStatusText);
    expectText(tamo, font, 0, 12, "00: C-381 ---00 ---00 ---00", kDimRow, kBelowStatusBar);
    expectText(tamo, font, 0, 24, "01: ---00 ---00 ---00 ---00", kText);
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
}

namespace {

// The first note cell of every rescue copy in `songs`, by file name ("autosave",
// "autosave.1", ...): character 7 of a song file.
std::map<std::string, char> rescuedNotes(const std::string& songs) {
    std::map<std::string, char> notes;
    for (auto& e : std::filesystem::directory_iterator(songs)) {
        std::string name = e.path().filename();
        std::string bytes = readFile(e.path());
        if (name.rfind("autosave", 0) == 0 && bytes.size() > 7) notes[name] = bytes[7];
    }
    return notes;
}

// The pattern's row 0 with a note of octave 3, volume 8 and instrument 1 in channel 1.
std::string rowZeroWith(char note) {
    const char* name = note == 'q' ? "C-3" : note == 'w' ? "D-3" : note == 'e' ? "E-3" : "???";
    return std::string("00: ") + name + "81 ---00 ---00 ---00";
}

}  // namespace

// Unsaved work is never overwritten by another window's or a later run's rescue copy:
// two windows on one songs folder edit and close, a third run edits and is killed six
// seconds later; each edit is in a rescue copy of its own and loads back by its name.
TEST_F(TrackerWindow, RescueCopiesOfTwoWindowsAndOfAKilledRunAreAllKept) {
    TempDir dirA, dirB;
    TamoSession a(dirA), b(dirB);
    b.shareSongsOf(a);
    FontCells font(a.fontPath());
    startOrFail(a);
    a.click(kEditButton[0], kEditButton[1]);
    a.type("q");
    startOrFail(b);
    b.click(kEditButton[0], kEditButton[1]);
    b.type("w");
    ASSERT_TRUE(a.running()) << a.log();
    ASSERT_TRUE(b.running()) << b.log();
    EXPECT_EQ(a.close(), 0) << a.log();
    EXPECT_EQ(b.close(), 0) << b.log();
    std::map<std::string, char> notes = rescuedNotes(a.songsFolder());
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(std::set<char>({notes["autosave"], notes["autosave.1"]}), std::set<char>({'q', 'w'}));

    // The next run's first rescue copy, then a kill: nothing is lost.
    startOrFail(a);
    a.click(kEditButton[0], kEditButton[1]);
    a.type("e");
    a.wait(6000);
    a.killAtOnce();
    std::map<std::string, char> after = rescuedNotes(a.songsFolder());
    EXPECT_EQ(after["autosave"], 'e');
    EXPECT_EQ(after["autosave.1"], notes["autosave"]);
    EXPECT_EQ(after["autosave.2"], notes["autosave.1"]);

    startOrFail(a);
    for (const char* name : {"autosave", "autosave.2"}) {
        enterName(a, name);
        a.click(kLoadButton[0], kLoadButton[1]);
        expectText(a, font, kStatusX, -1, "File Loaded...", kStatusText);
        expectText(a, font, 0, 12, rowZeroWith(after[name]), kDimRow, kBelowStatusBar);
        a.click(kNameBox[0], kNameBox[1]);
        for (size_t i = 0; i < std::string(name).size(); ++i) a.key("BackSpace");
        a.key("Return");
    }
    EXPECT_EQ(a.close(), 0) << a.log();
}

// With the songs folder full the close cannot keep the unsaved song: the window stays
// open and says so; a second close ends the program as usual.
TEST_F(TrackerWindow, ACloseThatCannotKeepTheSongLeavesTheWindowOpenUntilTheNextClose) {
    TempDir dir;
    TamoSession tamo(dir);
    SmallFileSystem songs(tamo.songsFolder(), 256);
    if (!songs.ok()) GTEST_SKIP() << songs.why();
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    ASSERT_GT(songs.fill("filler"), 0);
    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("q");
    tamo.requestClose();
    tamo.wait(1000);
    ASSERT_TRUE(tamo.running()) << "the first close ended the program: " << tamo.log();
    expectText(tamo, font, kStatusX, -1, "Song not kept!", kStatusText);
    tamo.requestClose();
    for (int i = 0; i < 100 && tamo.running(); ++i) tamo.wait(50);
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
    EXPECT_NE(tamo.log().find("Unsaved song could not be kept"), std::string::npos) << tamo.log();
}

// LOAD reads only song files: a FIFO nobody writes to, an endless device, a 50 MB
// file and a WAV are each refused at once as a missing file is, and the song stays.
TEST_F(TrackerWindow, LoadRefusesWhatIsNoSongAtOnceAndKeepsTheSong) {
    TempDir dir;
    TamoSession tamo(dir);
    const std::string songs = tamo.songsFolder();
    ASSERT_EQ(mkfifo((songs + "/pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", songs + "/zero");
    std::filesystem::copy_file(TAMO_SOURCE_DIR "/data/songs/demo1", songs + "/big");
    std::filesystem::resize_file(songs + "/big", 50u << 20);
    std::filesystem::copy_file(TAMO_SOURCE_DIR "/data/wav/saw_64.wav", songs + "/saw.wav");
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("q");
    std::string typed;
    for (const std::string name : {"pipe", "zero", "big", "saw.wav"}) {
        SCOPED_TRACE(name);
        tamo.click(kNameBox[0], kNameBox[1]);
        for (size_t i = 0; i < typed.size(); ++i) tamo.key("BackSpace");
        tamo.type(name);
        tamo.key("Return");
        typed = name;
        tamo.click(kLoadButton[0], kLoadButton[1]);
        expectText(tamo, font, kStatusX, -1, "File not found!", kStatusText);
        expectText(tamo, font, 0, 12, rowZeroWith('q'), kDimRow, kBelowStatusBar);
    }
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
}

TEST_F(TrackerWindow, CtrlEExportsTheSongAsAWavWithTwoLoopsAndAFade) {
    TempDir dir;
    TamoSession tamo(dir);
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    tamo.click(kEditButton[0], kEditButton[1]);
    tamo.type("q");                                    // row 0; the cursor moves to row 1
    enterName(tamo, "mine");
    tamo.click(kEditButton[0], kEditButton[1]);        // the name entry left Editing
    tamo.key("ctrl+e");
    const std::string wav = tamo.songsFolder() + "/mine.wav";
    for (int i = 0; i < 300 && !std::filesystem::exists(wav); ++i) tamo.wait(100);
    ASSERT_TRUE(std::filesystem::exists(wav)) << tamo.log();
    expectText(tamo, font, kStatusX, -1, "WAV Saved...", kStatusText);
    expectText(tamo, font, 0, 24, "01: ---00 ---00 ---00 ---00", kText);   // no "e" typed

    // One pattern at speed 4 is 2.56 s: two passes and the eight second fade.
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> frames(size_t(info.frames) * 2);
    sf_readf_short(f, frames.data(), info.frames);
    sf_close(f);
    EXPECT_EQ(info.frames, 2 * 128 * 882 + 8 * 44100);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_GT(*std::max_element(frames.begin(), frames.end()), 1000) << "the note sounds";
    std::vector<std::string> songs;
    for (auto& e : std::filesystem::directory_iterator(tamo.songsFolder()))
        songs.push_back(e.path().filename());
    EXPECT_EQ(songs, std::vector<std::string>{"mine.wav"}) << "the temporary song file is gone";
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
}

namespace {

// The lines about data files ("data/...") the program printed on standard error.
std::vector<std::string> dataLines(const TamoSession& tamo) {
    std::vector<std::string> lines;
    std::istringstream errors(tamo.errors());
    for (std::string line; std::getline(errors, line);)
        if (line.rfind("data/", 0) == 0) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

// A damaged data folder does not stop the start: each file the tracker could not use is
// named once on standard error with what is wrong, and files that load are not named.
TEST_F(TrackerWindow, EachMissingOrUndecodableDataFileIsNamedOnceOnStandardError) {
    TempDir dir;
    TamoSession tamo(dir);
    const std::string data = tamo.dataFolder();
    std::filesystem::remove(data + "/glimfont.png");
    std::filesystem::remove(data + "/wav/hnoise.wav");
    writeFile(data + "/button1.png", "not a picture");
    writeFile(data + "/wav/saw_64.wav", "RIFF damaged WAVE");
    std::filesystem::remove(data + "/wav/tri_64.wav");
    std::filesystem::create_directory(data + "/wav/tri_64.wav");
    startOrFail(tamo);
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
    EXPECT_EQ(dataLines(tamo), (std::vector<std::string>{
                                   "data/button1.png: cannot be decoded",
                                   "data/glimfont.png: missing",
                                   "data/wav/hnoise.wav: missing",
                                   "data/wav/saw_64.wav: cannot be decoded",
                                   "data/wav/tri_64.wav: cannot be read",
                               }))
        << tamo.errors();

    // Without its data folder the tracker still opens, and names all twelve files.
    TempDir bare;
    TamoSession empty(bare);
    std::filesystem::remove_all(empty.dataFolder());
    startOrFail(empty);
    EXPECT_EQ(empty.close(), 0) << empty.log();
    std::vector<std::string> lines = dataLines(empty);
    EXPECT_EQ(lines.size(), 12u) << empty.errors();
    for (const std::string& line : lines) EXPECT_NE(line.find(": missing"), std::string::npos) << line;
}

// Keyboards: ANY takes note keys and volume digits by their place whatever the keymap;
// a Shift held to type "<" on a US keymap marks no block, a Shift on its own does; on a
// German keymap DE and ANY store the same characters. The layout is remembered.
TEST_F(TrackerWindow, NoteKeysGoByPlaceWithAnyAndAShiftThatTypesMarksNoBlock) {
    {
        auto x = privateServer("fr");
        ASSERT_TRUE(x->ok());
        TempDir dir;
        TamoSession tamo(dir);
        tamo.useDisplay(x->display());
        startOrFail(tamo);
        FontCells font(tamo.fontPath());
        tamo.click(kLayoutButton[0], kLayoutButton[1]);
        tamo.click(kLayoutButton[0], kLayoutButton[1]);
        expectText(tamo, font, 520, 440, "LAYOUT ANY", kText);
        tamo.click(kEditButton[0], kEditButton[1]);
        tamo.type("aw");              // AZERTY: the keys in the places of Q and of the German Y
        tamo.key("Right");
        tamo.key("eacute");           // the key of the digit 2
        Screenshot shot = shotAt(tamo, 640);
        EXPECT_EQ(font.check(shot, 0, 12, "00: C-381", kDimRow, kBelowStatusBar), "");
        EXPECT_EQ(font.check(shot, 0, 24, "01: C-281", kText), "");
        EXPECT_EQ(font.check(shot, 0, 36, "02: ---20", kText), "");
        EXPECT_EQ(tamo.close(), 0) << tamo.log();
        startOrFail(tamo);
        expectText(tamo, font, 520, 440, "LAYOUT ANY", kText);
        EXPECT_EQ(readFile(tamo.settingsPath()), "LAYOUT ANY\n");
        EXPECT_EQ(tamo.close(), 0);
    }
    {
        auto x = privateServer("us");
        ASSERT_TRUE(x->ok());
        TempDir dir;
        TamoSession tamo(dir);
        tamo.useDisplay(x->display());
        startOrFail(tamo);
        FontCells font(tamo.fontPath());
        tamo.click(kLayoutButton[0], kLayoutButton[1]);
        expectText(tamo, font, 520, 440, "LAYOUT US", kText);
        tamo.click(kEditButton[0], kEditButton[1]);
        tamo.type("<");               // Shift and the comma key
        tamo.key("Down");
        tamo.key("Down");
        auto blockPixels = [&](const Screenshot& shot) {
            int n = 0;
            for (int y = 14; y < 398; ++y)
                for (int px = 33; px < 303; ++px) n += near(shot.at(px, y), kBlockColour, 1);
            return n;
        };
        Screenshot shot = shotAt(tamo, 640);
        EXPECT_EQ(font.check(shot, 0, 12, "00: {|}81", kDimRow, kBelowStatusBar), "");
        EXPECT_EQ(blockPixels(shot), 0) << "typing \"<\" started a block";
        tamo.key("shift");            // on its own: the block starts on row 4
        tamo.key("Down");
        EXPECT_GT(blockPixels(shotAt(tamo, 640)), 0) << "a Shift on its own marks no more";
        EXPECT_EQ(tamo.close(), 0) << tamo.log();
    }
    {
        auto x = privateServer("de");
        ASSERT_TRUE(x->ok());
        TempDir dir;
        TamoSession tamo(dir);
        tamo.useDisplay(x->display());
        startOrFail(tamo);
        tamo.click(kEditButton[0], kEditButton[1]);
        const std::string keys = "ysq2i<+#-";
        tamo.type(keys);              // DE: channel 1
        tamo.click(kLayoutButton[0], kLayoutButton[1]);
        tamo.click(kLayoutButton[0], kLayoutButton[1]);
        tamo.key("Tab");
        for (size_t i = 0; i < keys.size(); ++i) tamo.key("Up");
        tamo.type(keys);              // ANY: channel 2, the same rows
        Screenshot shot = shotAt(tamo, 640);
        int differ = 0, inked = 0;
        for (int y = 14; y < 12 * int(keys.size()) + 12; ++y)   // rows 0..8, not the cursor
            for (int px = 0; px < 55; ++px) {
                Rgb a = shot.at(44 + px, y), b = shot.at(110 + px, y);
                differ += a.r != b.r || a.g != b.g || a.b != b.b;
                inked += near(a, kText) || near(a, kDimRow);
            }
        EXPECT_EQ(differ, 0) << "channel 2 (ANY) does not show what channel 1 (DE) shows";
        EXPECT_GT(inked, 500) << "nothing typed";
        EXPECT_EQ(tamo.close(), 0) << tamo.log();
    }
}

// Zoom: at 2x and 3x the window is the 1x picture in exact blocks in Standby, Editing
// and playing; clicks land on the zoomed layout; the zoom stops where the screen ends
// and is remembered.
TEST_F(TrackerWindow, ZoomedWindowsShowTheOneTimesPictureInBlocks) {
    auto x = privateServer("us");
    ASSERT_TRUE(x->ok());
    TempDir dir;
    TamoSession tamo(dir);
    tamo.useDisplay(x->display());
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    Screenshot standby = shotAt(tamo, 640);
    tamo.key("ctrl+plus");            // Ctrl, Shift and = on a US keymap
    EXPECT_EQ(pixelsOutOfBlock(shotAt(tamo, 1280), standby, 2), 0) << "Standby at 2x";
    tamo.key("ctrl+plus");
    EXPECT_EQ(pixelsOutOfBlock(shotAt(tamo, 1920), standby, 3), 0) << "Standby at 3x";
    tamo.key("ctrl+plus");            // 4x does not fit 1920 x 1440
    EXPECT_EQ(shotAt(tamo, 1920).height, 1425);

    tamo.key("ctrl+0");
    tamo.key("space");
    Screenshot editing = shotAt(tamo, 640);
    EXPECT_EQ(font.check(editing, kStatusX, -1, "Editing...", kStatusText), "");
    tamo.key("ctrl+equal");
    EXPECT_EQ(pixelsOutOfBlock(shotAt(tamo, 1280), editing, 2), 0) << "Editing at 2x";
    tamo.key("ctrl+KP_Add");
    EXPECT_EQ(pixelsOutOfBlock(shotAt(tamo, 1920), editing, 3), 0) << "Editing at 3x";

    tamo.key("ctrl+minus");
    shotAt(tamo, 1280);
    tamo.click(kPlayButton[0] * 2, kPlayButton[1] * 2);
    Screenshot playing2 = shotAt(tamo, 1280);
    tamo.key("ctrl+KP_Subtract");
    Screenshot playing = shotAt(tamo, 640);
    EXPECT_EQ(font.check(playing, kStatusX, -1, "Playing...", kStatusText), "")
        << "a click at the 2x place of PLAY does not play";
    // The pattern rows move on with the song between two pictures: there the zoomed
    // one is checked for blocks of one colour (the play line included).
    EXPECT_EQ(pixelsOutOfBlock(playing2, playing, 2, false), 0) << "playing at 2x";
    EXPECT_EQ(unevenBlocks(playing2, 2), 0) << "playing at 2x";
    tamo.key("ctrl+plus");
    tamo.key("ctrl+plus");
    tamo.click(kFollowLabel[0] * 3, kFollowLabel[1] * 3);
    Screenshot following3 = shotAt(tamo, 1920);
    EXPECT_EQ(unevenBlocks(following3, 3), 0) << "playing at 3x, FLW On";
    tamo.click(kFollowLabel[0] * 3, kFollowLabel[1] * 3);
    Screenshot playing3 = shotAt(tamo, 1920);
    EXPECT_EQ(pixelsOutOfBlock(playing3, playing, 3, false), 0) << "playing at 3x";
    EXPECT_EQ(unevenBlocks(playing3, 3), 0) << "playing at 3x";
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
    startOrFail(tamo);
    EXPECT_EQ(shotAt(tamo, 1920).height, 1425) << "the zoom is not remembered";
    EXPECT_EQ(tamo.close(), 0);
}

// The first start takes the desktop's scale (Xft.dpi 192: 2x); Ctrl+0 is remembered.
TEST_F(TrackerWindow, TheFirstStartTakesTheDesktopsScale) {
    auto x = privateServer("us");
    ASSERT_TRUE(x->ok());
    ASSERT_EQ(system(("echo 'Xft.dpi: 192' | xrdb -display " + x->display() + " -merge").c_str()), 0);
    TempDir dir;
    TamoSession tamo(dir);
    tamo.useDisplay(x->display());
    startOrFail(tamo);
    Screenshot shot = shotAt(tamo, 1280);
    EXPECT_EQ(shot.width, 1280);
    EXPECT_EQ(shot.height, 950);
    tamo.key("ctrl+0");
    EXPECT_EQ(shotAt(tamo, 640).height, 475);
    EXPECT_EQ(tamo.close(), 0) << tamo.log();
    startOrFail(tamo);
    shot = shotAt(tamo, 640);
    EXPECT_EQ(shot.width, 640);
    EXPECT_EQ(shot.height, 475);
    EXPECT_EQ(tamo.close(), 0);
}

namespace {

// The saved song's cell of channel 1 in column set `kind` (0 note, 1 volume, 2
// instrument, 3 octave) at `row` of its one pattern.
char savedCell(const std::string& bytes, int kind, int row) { return bytes[7 + kind * 4 * 32 + row]; }

// Instrument 1 a 50 % square that sounds for 40 s unless a note-off cuts it.
Song midiSong() {
    Song song;
    song.clear();
    song.param(1, 0) = 3;
    song.param(1, 4) = 255;
    return song;
}

std::vector<uint8_t> noteOn(int key) { return {0x90, uint8_t(key), 100}; }
std::vector<uint8_t> noteOff(int key) { return {0x80, uint8_t(key), 0}; }

}  // namespace

// A MIDI keyboard on a private JACK server (no sound card): the tracker connects to it at
// start; in Standby its keys are heard at their pitch and a release cuts the note; in
// Editing they are written at the cursor with the octave digit that gives their pitch,
// and a burst sent within one JACK period is entered in order, one note per update.
// Without any MIDI system the tracker says so in one line and runs as before.
TEST_F(TrackerWindow, NotesFromAMidiKeyboardArePreviewedInStandbyAndEnteredInEditing) {
    if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "ALSA would be chosen before JACK here";
    {
        TempDir plain;
        TamoSession alone(plain);
        setenv("JACK_DEFAULT_SERVER", ("none-" + std::to_string(getpid())).c_str(), 1);
        startOrFail(alone);
        unsetenv("JACK_DEFAULT_SERVER");
        EXPECT_EQ(alone.close(), 0) << alone.log();
        std::string errors = alone.errors();
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_EQ(errors.rfind("MIDI input off: ALSA sequencer: ", 0), 0u) << errors;
        EXPECT_NE(errors.find("; JACK: no server running\n"), std::string::npos) << errors;
    }

    JackServer server;
    ASSERT_TRUE(server.ok()) << "jackd did not start";
    MidiKeyboard keyboard;
    ASSERT_TRUE(keyboard.ok());
    TempDir dir;
    TamoSession tamo(dir);
    writeFile(tamo.songsFolder() + "/keys", encodeUtf8(writeSong(midiSong())));
    startOrFail(tamo);
    FontCells font(tamo.fontPath());
    ASSERT_TRUE(keyboard.connectedTo("Tamo Tracker:Tamo Tracker")) << tamo.errors();
    enterName(tamo, "keys");
    tamo.click(kLoadButton[0], kLoadButton[1]);
    expectText(tamo, font, kStatusX, -1, "File Loaded...", kStatusText);

    // Standby: A-3 (MIDI 57, 220 Hz) and A-5 (MIDI 81, 880 Hz: octave digit 3 with OCT
    // 2), each released a while later.
    for (int key : {57, 81}) {
        ASSERT_TRUE(keyboard.send({noteOn(key)}));
        tamo.wait(300);
        ASSERT_TRUE(keyboard.send({noteOff(key)}));
        tamo.wait(300);
    }
    tamo.click(kSaveButton[0], kSaveButton[1]);   // under the name still given, "keys"
    expectText(tamo, font, kStatusX, -1, "File Saved...", kStatusText);
    std::string standby = readFile(tamo.songsFolder() + "/keys");
    ASSERT_GT(standby.size(), 7u + 32);
    EXPECT_EQ(standby.substr(7, 32), std::string(32, '.')) << "Standby wrote a note";

    // Editing: 40 keys from MIDI 36 up with their releases, a controller and a pitch bend
    // in one period; then MIDI 81, 24 (the lowest the editor reaches) and 23 and 89
    // (out of its reach).
    tamo.click(kEditButton[0], kEditButton[1]);
    expectText(tamo, font, kStatusX, -1, "Editing...", kStatusText);
    std::vector<std::vector<uint8_t>> burst;
    for (int key = 36; key < 76; ++key) {
        burst.push_back(noteOn(key));
        burst.push_back(noteOff(key));
    }
    burst.push_back({0xB0, 1, 64});
    burst.push_back({0xE0, 0, 0x60});
    ASSERT_TRUE(keyboard.send(burst));
    ASSERT_TRUE(keyboard.send({noteOn(81), noteOn(24), noteOn(23), noteOn(89), noteOff(24)}));
    // The cursor wraps from row 31 to row 0: the 42nd note, MIDI 24, lands on row 9.
    for (int i = 0; i < 50; ++i) {
        tamo.wait(100);
        if (font.check(tamo.screenshot(), 0, 120, "09: C-081", kText) == "") break;
    }
    tamo.click(kSaveButton[0], kSaveButton[1]);
    expectText(tamo, font, kStatusX, -1, "File Saved...", kStatusText);
    ASSERT_EQ(tamo.close(), 0) << tamo.log();
    EXPECT_EQ(tamo.errors(), "");

    std::vector<int> keys;
    for (int key = 36; key < 76; ++key) keys.push_back(key);
    keys.push_back(81);
    keys.push_back(24);
    std::string saved = readFile(tamo.songsFolder() + "/keys");
    ASSERT_GT(saved.size(), 7u + 16 * 32);
    for (int row = 0; row < 32; ++row) {
        int key = keys[size_t(row + 32) < keys.size() ? row + 32 : row];
        int octave = key == 24 ? 0 : key < 48 ? 1 : key < 77 ? 2 : 3;
        int value = key - 24 - 12 * octave;
        EXPECT_EQ(savedCell(saved, 0, row), char(noteCharacter(value))) << "row " << row << " key " << key;
        EXPECT_EQ(savedCell(saved, 3, row), char('0' + octave)) << "row " << row;
        EXPECT_EQ(savedCell(saved, 1, row), '8') << "row " << row;
        EXPECT_EQ(savedCell(saved, 2, row), '1') << "row " << row;
    }

    // The two Standby notes at their pitch, each cut by its release (without it the
    // first would sound on under the second, which would then not start from silence).
    Sound sound = readWave(tamo.wavePath());
    ASSERT_GT(sound.hertz, 0) << "no sound file was written";
    std::vector<double> starts = onsets(sound);
    ASSERT_GE(starts.size(), 2u) << "the two Standby notes were not heard apart";
    const double want[2] = {220.0, 880.0};
    for (int i = 0; i < 2; ++i)
        EXPECT_NEAR(pitch(sound, starts[size_t(i)] + 0.02, 0.1), want[i], want[i] * 0.01) << "note " << i + 1;
}
