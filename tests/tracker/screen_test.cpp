// The tracker screen read back from a real window on Xvfb, drawn with the real font.
//
// Text is read off the screen by matching each 11 x 12 character cell against the
// glyphs of the application's own font, drawn once in white on black before the first
// frame: a cell's ink is the set of pixels in the text colour.
#include "app_env.h"

#include <map>
#include <vector>

#include "graphics/drawing.h"
#include "graphics/renderer.h"
#include "support/window_pixels.h"

namespace {

constexpr int kW = 640, kH = 475;
constexpr int kCellW = 11, kCellH = 12;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// The colours of the screen as they land in the 8-bit framebuffer.
const Rgb kBackground{86, 60, 106}, kBlack{0, 0, 0}, kOrderBar{71, 53, 85},
    kText{148, 144, 164}, kDimText{113, 110, 126}, kStatusBar{38, 38, 38},
    kStatusText{171, 37, 104}, kMarker{143, 31, 87}, kBlock{32, 32, 64}, kRowBar{82, 72, 74};

Rgb meterColour(int level) { return {79 + level, 95 - level, 151 - level}; }

using Mask = std::vector<bool>;   // kCellW x kCellH, row-major

class Screen : public TrackerAppTest {
protected:
    void beforeStart() override {
        ASSERT_TRUE(sharedXvfb().ok());
        ASSERT_TRUE(initHostWindowSystem());
        host.setDeviceWindow(kW, kH, WindowFlag::Decorated);
        ASSERT_NE(host.window(), nullptr);
    }

    void SetUp() override {
        TrackerAppTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NE(app->font, nullptr) << "glimfont.png did not load";
        learnGlyphs();
    }

    // Draws the 96 glyphs in white on black, two rows of 48, and keeps their ink.
    void learnGlyphs() {
        graphicsDevice->beginFrame();
        resetDrawingState();
        clearScreen(0, 0, 0);
        setColor(255, 255, 255);
        String all;
        for (char32_t c = 32; c < 128; ++c) all += c;
        drawText(all.substr(0, 48), 0, 0);
        drawText(all.substr(48), 0, kCellH);
        graphicsDevice->endFrame();
        renderDevice = nullptr;
        grab();
        for (int i = 0; i < 96; ++i)
            glyphs[char32_t(32 + i)] = ink((i % 48) * kCellW, (i / 48) * kCellH, {255, 255, 255});
    }

    void grab() {
        pixels.assign(kW * kH, 0);
        graphicsDevice->readPixels(pixels, 0, 0, kW, kH, 0, kW);
    }

    Rgb at(int x, int y) const {
        uint32_t p = uint32_t(pixels[y * kW + x]);
        return {int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
    }

    // The pixels of the cell at (x, y) in colour c (off-screen rows count as no ink).
    Mask ink(int x, int y, Rgb c) const {
        Mask m(kCellW * kCellH, false);
        for (int r = 0; r < kCellH; ++r)
            for (int k = 0; k < kCellW; ++k) {
                int px = x + k, py = y + r;
                if (px < 0 || py < 0 || px >= kW || py >= kH) continue;
                Rgb p = at(px, py);
                m[r * kCellW + k] = std::abs(p.r - c.r) <= 1 && std::abs(p.g - c.g) <= 1 &&
                                    std::abs(p.b - c.b) <= 1;
            }
        return m;
    }

    // The n characters drawn at (x, y) in colour c; U+FFFD where no glyph matches.
    // Screen rows above `clipTop` are not compared: the top bar, painted after the
    // layout, covers the first two pixel rows of the first pattern row.
    String readText(int x, int y, int n, Rgb c, int clipTop = 14) const {
        String s;
        for (int i = 0; i < n; ++i) {
            Mask m = ink(x + i * kCellW, y, c);
            char32_t found = U'\uFFFD';
            for (const auto& [code, g] : glyphs) {
                bool same = true;
                for (int r = 0; r < kCellH && same; ++r) {
                    if (y + r < clipTop) continue;
                    for (int k = 0; k < kCellW && same; ++k)
                        same = g[r * kCellW + k] == m[r * kCellW + k];
                }
                if (same) {
                    found = code;
                    break;
                }
            }
            s += found;
        }
        return s;
    }

    // One frame as the loop runs it: an update, then a render, then a look at it.
    void frame(int n = 1) {
        for (int i = 0; i < n; ++i) {
            host.runUpdate();
            host.runRender();
        }
        grab();
    }

    void setCell(int channel, int row, char32_t note, char32_t volume, char32_t instrument,
                 char32_t octave) {
        Song& s = app->song;
        s.trackColumns[noteColumn(channel)].set(row, note);
        s.trackColumns[volumeColumn(channel)].set(row, volume);
        s.trackColumns[instrumentColumn(channel)].set(row, instrument);
        s.trackColumns[octaveColumn(channel)].set(row, octave);
    }

    String patternRow(int c) const { return readText(0, 12 * c + 12, 27, c % 4 ? kText : kDimText); }
    int count(int x, int y, int w, int h, Rgb c) const {
        int n = 0;
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) n += at(i, j) == c;
        return n;
    }

    std::map<char32_t, Mask> glyphs;
    std::vector<int> pixels;
};

// ---- formats (no window needed) ----

TEST(ScreenFormats, HexIsTwoUpperCaseDigitsOfTheLowByte) {
    EXPECT_EQ(hex2(0), U"00");
    EXPECT_EQ(hex2(10), U"0A");
    EXPECT_EQ(hex2(255), U"FF");
    EXPECT_EQ(hex2(256 + 0x1c), U"1C");
}

TEST(ScreenFormats, NoteNamesFollowTheKeyAndTheOctaveDigit) {
    Song s;
    s.clear();
    auto name = [&](char32_t note, char32_t octave) {
        s.trackColumns[noteColumn(3)].set(77, note);
        s.trackColumns[octaveColumn(3)].set(77, octave);
        return noteName(s, 3, 77);
    };
    EXPECT_EQ(name(U'y', U'0'), U"C-0");
    EXPECT_EQ(name(U'q', U'2'), U"C-3");
    EXPECT_EQ(name(U'2', U'2'), U"C#3");
    EXPECT_EQ(name(U'm', U'1'), U"B-1");
    EXPECT_EQ(name(U'u', U'1'), U"B-2");
    EXPECT_EQ(name(U'i', U'1'), U"C-3");
    EXPECT_EQ(name(U'p', U'3'), U"E-5");
    EXPECT_EQ(name(U'.', U'0'), U"---");
    EXPECT_EQ(name(U'<', U'2'), U"{|}");
    EXPECT_EQ(name(U'+', U'2'), U"-dn");
    EXPECT_EQ(name(U'#', U'2'), U"-up");
    EXPECT_EQ(name(U'-', U'2'), U"End");
    EXPECT_EQ(name(U'a', U'2'), U"???");
    EXPECT_EQ(name(char32_t(127), U'2'), U"???");
    EXPECT_EQ(name(U'q', U'4'), U"") << "octave digits outside 0..3 show no note";
    EXPECT_EQ(name(U'q', U'.'), U"");
    EXPECT_EQ(noteName(s, 1, 9000), U"---") << "past the column reads an empty cell";
}

// ---- the painted layout ----

TEST_F(Screen, AreasHaveTheirColoursAfterTheFirstRepaint) {
    frame(3);
    EXPECT_EQ(app->repaintCounter, 0);
    EXPECT_EQ(at(1, 470), kBackground);
    EXPECT_EQ(at(636, 200), kBackground);
    EXPECT_EQ(at(100, 397), kBlack) << "pattern area";
    EXPECT_EQ(at(3, 15), kBlack);
    EXPECT_EQ(at(303, 200), kBackground) << "separator";
    EXPECT_EQ(at(304, 398), kBackground);
    EXPECT_EQ(at(380, 20), kOrderBar);
    EXPECT_EQ(at(380, 30), kBlack);
    EXPECT_EQ(at(620, 6), kStatusBar);
    EXPECT_EQ(at(2, 13), kStatusBar);
    EXPECT_EQ(at(1, 6), kBackground) << "the status bar starts at x 2";
    EXPECT_EQ(at(620, 130), kBlack) << "description box";
    EXPECT_EQ(at(300, 452), kBlack) << "file name box";
    EXPECT_EQ(at(390, 415), kBackground) << "the on/off line's backing ends at x 384";
    EXPECT_EQ(at(415, 300), kBackground) << "empty meter";
    EXPECT_EQ(at(415, 347), meterColour(2));
    EXPECT_EQ(at(415, 345), kBackground);
}

TEST_F(Screen, TextsStandAtTheirCharacterPositions) {
    frame(3);
    // The status line starts one pixel row above the window.
    EXPECT_EQ(readText(0, -1, 43, kText, 0), U"POS CHN1  CHN2  CHN3  CHN4  POS ## Status: ");
    EXPECT_EQ(readText(473, -1, 10, kStatusText, 0), U"Standby...");
    EXPECT_EQ(readText(0, 408, 34, kText), U"    on    on    on    on   FLW:Off");
    EXPECT_EQ(readText(520, 323, 9, kText), U"PLAY HOME");
    EXPECT_EQ(readText(520, 343, 9, kText), U"EDIT UNDO");
    EXPECT_EQ(readText(520, 363, 9, kText), U"COPYBLOCK");
    EXPECT_EQ(readText(520, 383, 9, kText), U"PASTE@POS");
    EXPECT_EQ(readText(391, 441, 9, kText), U"LOAD SAVE");
    EXPECT_EQ(readText(520, 440, 9, kText), U"LAYOUT DE");
    EXPECT_EQ(readText(442, 106, 12, kText), U"Description:");
    EXPECT_EQ(readText(425, 40, 15, kText), U"[[[  [  [ [ [[[");
    EXPECT_EQ(readText(425, 88, 15, kText), U" [  [ [ [ [ [[[");
    EXPECT_EQ(readText(385, 144, 15, kText), U"  INSTRUMENT:01");
    EXPECT_EQ(readText(385, 168, 15, kText), U"         WAV:01") << "raised from 0 by its spinner";
    EXPECT_EQ(readText(385, 204, 15, kText), U"         ENV:01");
    EXPECT_EQ(readText(385, 360, 7, kText), U" OCT:02");
    EXPECT_EQ(readText(385, 372, 7, kText), U" SPD:04");
    EXPECT_EQ(readText(385, 384, 7, kText), U" Len:01");
    EXPECT_EQ(patternRow(0), U"00: ---00 ---00 ---00 ---00");
    EXPECT_EQ(patternRow(1), U"01: ---00 ---00 ---00 ---00");
    EXPECT_EQ(patternRow(31), U"1F: ---00 ---00 ---00 ---00");
    EXPECT_EQ(readText(297, 12, 7, kText), U" 00: 00");
    EXPECT_EQ(readText(297, 12 * 31 + 12, 7, kText), U" 1F: 00");
}

TEST_F(Screen, InstrumentPanelShowsEveryParameterAsTwoHexDigits) {
    Song& s = app->song;
    app->currentInstrument = 12;
    int p[8] = {7, 15, 1 * 16 + 9, 4 * 16 + 10, 200, 3, 12, 5};
    for (int j = 0; j < 8; ++j) s.param(12, j) = p[j];
    s.instrumentDescriptions[12] = U"bass drum";
    frame(3);
    auto value = [&](int y) { return readText(385 + 13 * kCellW, y, 2, kText); };
    EXPECT_EQ(value(144), U"0C");
    EXPECT_EQ(value(168), U"07");   // WAV
    EXPECT_EQ(value(180), U"0F");   // PWM
    EXPECT_EQ(value(192), U"04");   // SWP
    EXPECT_EQ(value(204), U"C8");   // ENV
    EXPECT_EQ(value(216), U"09");   // E2P
    EXPECT_EQ(value(228), U"C5");   // ARP 12, 5
    EXPECT_EQ(value(240), U"03");   // SPD
    EXPECT_EQ(value(252), U"0A");   // AMT
    EXPECT_EQ(value(264), U"01");   // RPT
    EXPECT_EQ(readText(396, 123, 9, {128, 128, 128}), U"bass drum");
}

TEST_F(Screen, NotesShowAsNamesAndAnOddOctaveShiftsTheRow) {
    setCell(1, 0, U'q', U'8', U'1', U'2');
    setCell(2, 0, U'<', U'8', U'1', U'2');
    setCell(3, 0, U'p', U'F', U'A', U'3');
    setCell(4, 0, U'+', U'4', U'0', U'0');
    setCell(1, 1, U'q', U'8', U'1', U'7');   // octave digit out of range
    setCell(1, 2, U'-', U'0', U'0', U'0');
    setCell(2, 2, U'#', U'3', U'0', U'0');
    setCell(3, 2, U'a', U'8', U'2', U'1');
    frame(3);
    EXPECT_EQ(patternRow(0), U"00: C-381 {|}81 E-5FA -dn40");
    EXPECT_EQ(patternRow(1), U"01: 81 ---00 ---00 ---00   ");
    EXPECT_EQ(patternRow(2), U"02: End00 -up30 ???82 ---00");
}

TEST_F(Screen, EveryFourthRowIsDimmed) {
    frame(3);
    for (int c : {0, 4, 8, 28}) {
        EXPECT_EQ(readText(0, 12 * c + 12, 2, kDimText), hex2(c)) << c;
        EXPECT_EQ(readText(0, 12 * c + 12, 2, kText), U"  ") << c;
    }
    EXPECT_EQ(readText(0, 12 * 3 + 12, 2, kText), U"03");
    // Rows are numbered by their place in the pattern, not on the screen.
    app->editRow = 2;
    frame(3);
    EXPECT_EQ(readText(0, 12, 2, kText), U"02");
    EXPECT_EQ(readText(0, 12 * 2 + 12, 2, kDimText), U"04");
}

TEST_F(Screen, TheOrderColumnEndsBlankAfterPosition255) {
    app->song.orderList[255] = 0x12;
    app->song.orderList[250] = 0xAB;
    app->currentPosition = 250;
    frame(3);
    EXPECT_EQ(readText(297, 12, 7, kText), U" FA: AB");
    EXPECT_EQ(readText(297, 12 * 5 + 12, 7, kText), U" FF: 12");
    for (int c = 6; c < 32; ++c) EXPECT_EQ(readText(297, 12 * c + 12, 7, kText), U"       ") << c;
    EXPECT_EQ(at(380, 12 * 6 + 18), kBlack);
}

// ---- cursor, row bar and block ----

TEST_F(Screen, TheCursorMarkerSitsOnTheCursorCell) {
    app->cursorColumn = 8;
    app->cursorRow = 32;
    frame(3);
    EXPECT_GT(count(275, 384, kCellW, kCellH, kMarker), 60) << "channel 4's volume, row 32";
    EXPECT_EQ(count(264, 384, kCellW, kCellH, kMarker), 0);
    EXPECT_EQ(count(275, 372, kCellW, kCellH, kMarker), 0);
    EXPECT_EQ(patternRow(31), U"1F: ---00 ---00 ---00 ---00") << "the text stays readable";

    app->cursorColumn = 1;
    app->cursorRow = 1;
    frame(3);
    EXPECT_GT(count(44, 12, kCellW, kCellH, kMarker), 60) << "channel 1's note, row 1";
    EXPECT_EQ(count(275, 384, kCellW, kCellH, kMarker), 0);
    app->cursorColumn = 2;
    frame(3);
    EXPECT_GT(count(77, 12, kCellW, kCellH, kMarker), 60) << "channel 1's volume";
}

TEST_F(Screen, TheNameEntryMovesTheMarkerBehindTheName) {
    app->fileName = U"song";
    app->nameEntryActive = 1;
    frame(3);
    EXPECT_GT(count(55, 441, kCellW, kCellH, kMarker), 60);
    EXPECT_EQ(count(44, 12, kCellW, kCellH, kMarker), 0) << "no cursor marker meanwhile";
    EXPECT_EQ(readText(0, 441, 5, kText), U" song");
}

TEST_F(Screen, TheCursorRowBarShowsOnlyWhileEditing) {
    app->cursorRow = 5;
    frame(3);
    EXPECT_EQ(at(104, 62), kBlack);
    key(Key::Space);
    frame(3);
    ASSERT_EQ(app->mode, Mode::Editing);
    EXPECT_EQ(at(104, 62), kRowBar);
    EXPECT_EQ(at(104, 61), kBlack);
    EXPECT_EQ(at(104, 74), kBlack);
    EXPECT_EQ(readText(473, -1, 10, kStatusText, 0), U"Editing...");
}

TEST_F(Screen, TheBlockIsHighlightedOnlyBelowItsStart) {
    app->blockMarking = 1;
    app->blockStart = 4;
    app->cursorRow = 9;
    app->cursorColumn = 3;
    frame(3);
    EXPECT_EQ(at(100, 62), kBlock);   // screen rows 5..9 of channel 2
    EXPECT_EQ(at(100, 121), kBlock);
    EXPECT_EQ(at(170, 100), kBlock);
    EXPECT_EQ(at(100, 61), kBlack);
    EXPECT_EQ(at(100, 122), kBlack);
    EXPECT_EQ(at(171, 100), kBlack);

    app->cursorRow = 4;   // on the start: nothing
    frame(3);
    EXPECT_EQ(count(33, 14, 270, 384, kBlock), 0);
    app->cursorRow = 2;   // above it: nothing either
    frame(3);
    EXPECT_EQ(count(33, 14, 270, 384, kBlock), 0);
}

// ---- meters ----

TEST_F(Screen, MetersJumpToTheVolumeAndDecay) {
    setCell(1, 0, U'q', U'8', U'1', U'2');
    setCell(2, 0, U'q', U'F', U'1', U'2');
    setCell(3, 0, U'q', U'F', U'1', U'2');
    frame(3);
    key(Key::F2);
    frame(5);   // frames 0..4: the view is still on row 0
    EXPECT_EQ(app->levels[0], 2);
    frame();    // frame 5: the view reaches row 1, so row 0 has just been played
    ASSERT_EQ(app->editRow, 1);
    EXPECT_EQ(app->levels[0], 62);
    EXPECT_EQ(app->levels[1], 64) << "F is 120, clamped to 64";
    EXPECT_EQ(at(410, 348 - 62), meterColour(62));
    EXPECT_EQ(at(410, 347), meterColour(62));
    EXPECT_EQ(at(410, 348 - 63), kBackground);
    EXPECT_EQ(at(432, 348 - 64), meterColour(64));
    EXPECT_EQ(at(432, 348), kBackground);

    key(Key::F7);   // channel 3 off: its meter only falls from now on
    frame();
    EXPECT_EQ(app->levels[2], 62);
    frame(3);       // frame 9 moves the view to row 2: row 1 is empty, channel 1 falls
    EXPECT_EQ(app->levels[0], 60);
    EXPECT_EQ(app->levels[2], 56);
    frame(40);
    EXPECT_EQ(app->levels[2], 2);
    EXPECT_EQ(at(454, 347), meterColour(2));
    EXPECT_EQ(at(454, 345), kBackground);
}

TEST_F(Screen, AMutedChannelsMeterNeverRises) {
    setCell(1, 0, U'q', U'F', U'1', U'2');
    key(Key::F5);
    frame(3);
    key(Key::F2);
    frame(10);
    EXPECT_EQ(app->levels[0], 2);
    EXPECT_EQ(count(407, 284, 16, 62, meterColour(2)), 0);
}

// ---- repaint rule ----

TEST_F(Screen, TheLayoutIsRepaintedEveryThirdFrame) {
    frame(3);
    setCell(1, 0, U'q', U'8', U'1', U'2');
    frame();
    EXPECT_EQ(patternRow(0), U"00: ---00 ---00 ---00 ---00");
    frame();
    EXPECT_EQ(patternRow(0), U"00: ---00 ---00 ---00 ---00");
    frame();
    EXPECT_EQ(patternRow(0), U"00: C-381 ---00 ---00 ---00");
    EXPECT_EQ(app->repaintCounter, 0);
}

TEST_F(Screen, PlayingWithFollowOffNeverRepaintsThePattern) {
    frame(3);
    key(Key::F2);
    frame();
    setCell(1, 0, U'q', U'8', U'1', U'2');
    setCell(1, 5, U'q', U'8', U'1', U'2');
    frame(4 * 64);   // two whole passes through the one-pattern song
    EXPECT_EQ(patternRow(0), U"00: ---00 ---00 ---00 ---00");
    EXPECT_EQ(patternRow(5), U"05: ---00 ---00 ---00 ---00");
    // The status bar, on/off line and transport label still change.
    EXPECT_EQ(readText(473, -1, 10, kStatusText, 0), U"Playing...");
    EXPECT_EQ(readText(520, 323, 9, kText), U"STOP HOME");
    key(Key::F8);
    frame(3);
    EXPECT_EQ(readText(0, 408, 34, kText), U"    on    on    on    off  FLW:Off");
    key(Key::F2);
    frame(3);
    EXPECT_EQ(patternRow(0), U"00: C-381 ---00 ---00 ---00") << "repainted once stopped";
    EXPECT_EQ(readText(520, 323, 9, kText), U"PLAY HOME");
}

TEST_F(Screen, FollowOnRepaintsAtEachPatternStartAndDrawsThePlayLine) {
    app->song.songLength = 64;
    app->song.orderList[1] = 1;
    setCell(1, 32 + 20, U'q', U'8', U'1', U'2');   // pattern 1, row 20
    click(335, 418);   // FLW
    frame(3);
    key(Key::F2);
    frame();
    // Run until a repaint falls on a row past the third, then look at the play line.
    for (int i = 0; i < 40 && !(app->repaintCounter == 0 && app->editRow > 3); ++i) frame();
    ASSERT_GT(app->editRow, 3);
    ASSERT_EQ(app->currentPosition, 0);
    int e = app->editRow;
    EXPECT_EQ(at(104, 12 * e + 2), kStatusText) << "the current row's line";
    EXPECT_EQ(at(3, 12 * e + 2), kStatusText);
    EXPECT_NE(at(310, 12 * e + 2), kStatusText) << "the line stops at the separator";
    EXPECT_EQ(at(104, 12 * (e - 1) + 2), kBlack) << "the previous line is erased";
    EXPECT_EQ(patternRow(20), U"14: ---00 ---00 ---00 ---00") << "pattern 0 still shown";

    // Into position 1: the view is repainted while it stands on row 0.
    for (int i = 0; i < 200 && app->currentPosition == 0; ++i) frame();
    ASSERT_EQ(app->currentPosition, 1);
    bool repainted = app->repaintCounter == 0;
    for (int i = 0; i < 4 && !repainted && app->editRow == 0; ++i) {
        frame();
        repainted = app->repaintCounter == 0 && app->editRow == 0;
    }
    ASSERT_TRUE(repainted);
    EXPECT_EQ(patternRow(20), U"14: C-381 ---00 ---00 ---00");
    EXPECT_EQ(readText(297, 12, 7, kText), U" 01: 01");
}

// ---- skipped drawing ----

// The loop's passes on a clock that moves only by the loop's own sleeps.
struct SteppedClock : LoopClock {
    double time = 1;
    double now() override { return time; }
    void sleep(double seconds) override { time += seconds; }
};

class ScreenSession : public Screen {
protected:
    // A fresh window (a new context) and a fresh tracker on it, started like the
    // program's start; `skip` lets the screen leave out drawing that changes no pixel.
    void freshStart(bool skip) {
        host.setDeviceWindow(kW, kH, WindowFlag::Decorated);
        host.setWindowPosition(0, 0);   // wholly on the screen, to be read back from it
        app.reset();
        app = std::make_unique<c_SoundEngine>();
        c_GameDelegate::current()->onStart();
        app->repaintSkip = skip;
        frames.clear();
        undrawn = 0;
    }

    // Runs n passes of the real loop (render, swap if needed, updates), keeping a
    // hash of what the window shows (read from the X server) after each.
    void pass(int n = 1) {
        for (int i = 0; i < n; ++i) {
            host.runPass(clock);
            undrawn += !graphicsDevice->frameDrawn();
            ASSERT_TRUE(readWindowPixels(host.window(), kW, kH, pixels)) << "no image of the window";
            uint64_t h = 1469598103934665603ull;
            for (int p : pixels) h = (h ^ uint32_t(p & 0xffffff)) * 1099511628211ull;
            frames.push_back(h);
        }
    }
    void type(const char* text) {
        for (const char* c = text; *c; ++c) {
            host.postKeyEvent(c_VXGameEvent::KeyChar, *c);
            pass(2);
        }
    }

    // Editing, typing a name, spinners, loop play typed into, playing with follow off
    // and on, muting, and the meters falling back once stopped.
    void session() {
        pass(5);
        key(Key::Space);
        pass(4);
        type("qw3e");
        key(Key::Down);
        pass(3);
        key(Key::Right);
        pass(2);
        type("8");
        click(473 + 20, 360 + 6);   // octave +
        pass(3);
        click(100, 450);           // the file name box
        pass(2);
        type("ab");
        key(Key::Backspace);
        pass(2);
        key(Key::Enter);
        pass(3);
        key(Key::Enter);           // loop play in Editing, typed into, past its wrap
        pass(20);
        type("rt");
        key(Key::Up);
        pass(200);
        key(Key::Enter);
        pass(3);
        key(Key::Space);           // back to Standby
        pass(3);
        key(Key::F2);              // play, follow off
        pass(40);
        click(335, 418);           // follow on
        pass(150);
        key(Key::F6);
        pass(10);
        key(Key::F2);              // stop: the meters fall to the floor
        pass(40);
    }

    SteppedClock clock;
    std::vector<uint64_t> frames;
    int undrawn = 0;
};

TEST_F(ScreenSession, TheFirstFrameOfAWindowShowsTheWholeLayout) {
    freshStart(true);
    host.runPass(clock);
    EXPECT_TRUE(graphicsDevice->needsSwap()) << "it reaches the window by a swap";
    grab();   // the frame as drawn
    EXPECT_EQ(at(1, 470), kBackground);
    EXPECT_EQ(patternRow(0), U"00: ---00 ---00 ---00 ---00");
    EXPECT_EQ(readText(520, 440, 9, kText), U"LAYOUT DE");
    EXPECT_EQ(readText(473, -1, 10, kStatusText, 0), U"Standby...");
    EXPECT_EQ(at(415, 347), meterColour(2));
}

TEST_F(ScreenSession, SkippedDrawingLeavesEveryPixelAsTheRepaintRulePaintsIt) {
    freshStart(false);
    session();
    std::vector<uint64_t> painted = frames;
    EXPECT_EQ(undrawn, 0);
    freshStart(true);
    session();
    ASSERT_EQ(frames.size(), painted.size());
    size_t first = 0;
    while (first < frames.size() && frames[first] == painted[first]) ++first;
    EXPECT_EQ(first, frames.size()) << "pass " << first << " differs";
    EXPECT_GT(undrawn, int(frames.size()) / 3) << "most idle and playing frames draw nothing";
}

TEST_F(ScreenSession, ARefreshRequestMendsWhatTheWindowLost) {
    freshStart(true);
    pass(6);
    uint64_t shown = frames.back();
    graphicsDevice->beginFrame();   // something else spoils the picture
    resetDrawingState();
    clearScreen(0, 0, 0);
    graphicsDevice->endFrame();
    renderDevice = nullptr;
    host.swapBuffers();
    pass(3);
    EXPECT_NE(frames.back(), shown) << "an unchanged screen draws nothing, damage stays";
    host.postRefresh();
    pass();
    EXPECT_EQ(frames.back(), shown);
}

}  // namespace
