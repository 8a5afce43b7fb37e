// The tracker screen: the render handler, the layout painter and the text formats.
//
// The screen is not cleared each frame. The layout is repainted when more than two
// updates ran since the last repaint (while playing only at a pattern start with
// follow on); the level meters are drawn every frame over what is there. Texts are
// built in one reused buffer rather than as new strings each frame.
//
// What reaches the window is exactly that, but cheaper: a repaint whose drawing would
// equal the last one drawn (compared by its drawing print, so every state it shows
// counts, whoever changed it) draws nothing, and a meter is drawn only when its level
// changed. The first frame of a window, and any frame whose canvas was lost or whose
// window was damaged, repaints the whole layout at once.
//
// Sections:
//   [formats]  hex2, noteName, and the appending forms the painter uses
//   [render]   handleRender, paintRepaint, paintStatus, updateLevels, paintMeters
//   [layout]   paintLayout and its parts
#include <algorithm>

#include "graphics/drawing.h"
#include "tracker/app/app.h"
#include "tracker/app/layout.h"

// ---- [formats] ----

// Appends two upper-case hex digits of the low 8 bits.
static void appendHex2(String& out, int value) {
    static const char32_t kDigits[] = U"0123456789ABCDEF";
    int v = value & 0xff;
    out += kDigits[v >> 4];
    out += kDigits[v & 15];
}

// Appends the three-character note name of a cell, or nothing for an octave digit
// outside 0..3. A key's name is kNames[v % 12] with the octave digit raised by v / 12.
static void appendNoteName(String& out, const Song& song, int channel, int index) {
    static const char32_t* kNames[] = {U"C-", U"C#", U"D-", U"D#", U"E-", U"F-",
                                       U"F#", U"G-", U"G#", U"A-", U"A#", U"B-"};
    char32_t o = song.cell(octaveColumn(channel), index);
    if (o < U'0' || o > U'3') return;
    char32_t c = song.cell(noteColumn(channel), index);
    switch (c) {
        case U'.': out += U"---"; return;
        case U'<': out += U"{|}"; return;
        case U'+': out += U"-dn"; return;
        case U'#': out += U"-up"; return;
        case U'-': out += U"End"; return;
        default: break;
    }
    int v = noteValue(c);
    if (v < 0 || v > 28 || noteCharacter(v) != c) {
        out += U"???";
        return;
    }
    out += kNames[v % 12];
    out += char32_t(o + v / 12);
}

String hex2(int value) {
    String s;
    appendHex2(s, value);
    return s;
}

String noteName(const Song& song, int channel, int index) {
    String s;
    appendNoteName(s, song, channel, index);
    return s;
}

String statusText(Status status) {
    // In the order of Status.
    static const char32_t* const kTexts[] = {
        U"Standby...",      U"Editing...",      U"Playing...",      U"Enter a Name...",
        U"File Saved...",   U"Saving Failed!",  U"No backup kept",  U"File Loaded...",
        U"File not found!", U"Song not kept!",  U"Loading Failed!", U"Exporting...",
        U"WAV Saved...",    U"Export Failed!",  U"Looping...",
    };
    return kTexts[int(status)];
}

// ---- [render] ----

// The meters' rectangles: the first at x 407, one every 22 pixels, 16 wide.
static constexpr float kMeterLeft = 407, kMeterStep = 22, kMeterWidth = 16;
static constexpr float kMeterBottom = 348, kMeterHeight = 64;
static const String kHeader = U"POS CHN1  CHN2  CHN3  CHN4  POS ## Status: ";

static void text(const char32_t* s, int x, int y) { drawText(s, x, y); }

int c_SoundEngine::handleRender() {
    bool lost = canvasLost(), damaged = canvasDamaged();
    bool metersMoved = updateLevels();
    // The play line of live play moves at once, not at the next counted repaint.
    bool lineMoved = playLine() != shownPlayLine;
    if (repaintCounter > 2 || lost || damaged || lineMoved) {
        bool layout = lost || mode != Mode::Playing || (follow && editRow == 0);
        DrawingPrint print = drawingPrint([&] { paintRepaint(layout); });
        // On a lost canvas a frame that draws nothing keeps the window's picture.
        if (!repaintSkip || damaged || print.whole != shownPrint.whole || (lost && metersMoved))
            paintChanged(print, layout, !repaintSkip || damaged || lost);
        shownPlayLine = playLine();
        if (repaintCounter > 2) repaintCounter = 0;
    }
    paintMeters(!repaintSkip);   // after a layout, every meter differs from what is shown
    return 0;
}

// The smallest rectangle of the print tiles in which two prints differ; none when
// they are equal.
static Rect changedTiles(const DrawingPrint& print, const DrawingPrint& shown) {
    using G = gxtkGraphics;
    int c0 = G::kTileColumns, r0 = G::kTileRows, c1 = -1, r1 = -1;
    for (int t = 0; t < G::kPrintTiles; ++t) {
        if (print.tiles[size_t(t)] == shown.tiles[size_t(t)]) continue;
        int r = t / G::kTileColumns, c = t % G::kTileColumns;
        c0 = std::min(c0, c), c1 = std::max(c1, c);
        r0 = std::min(r0, r), r1 = std::max(r1, r);
    }
    if (c1 < 0) return {0, 0, 0, 0};
    float right = c1 == G::kTileColumns - 1 ? 1e4f : float((c1 + 1) * G::kTileWidth);
    float bottom = r1 == G::kTileRows - 1 ? 1e4f : float((r1 + 1) * G::kTileHeight);
    return {float(c0 * G::kTileWidth), right, float(r0 * G::kTileHeight), bottom};
}

// Paints the repaint, all of it, or when a layout follows a layout on a kept canvas
// only the rectangle of print tiles that changed, under a scissor: the layout's
// background covers every tile, so the pixels there come out as a whole repaint
// paints them.
void c_SoundEngine::paintChanged(const DrawingPrint& print, bool layout, bool whole) {
    Rect area{0, 1e4f, 0, 1e4f};
    bool part = !whole && layout && shownLayout && shownPrint.whole != 0;
    if (part) area = changedTiles(print, shownPrint);
    if (part) setScissor(area.left, area.top, area.right - area.left, area.bottom - area.top);
    paintRepaint(layout);
    if (part) setScissor(0, 0, float(deviceWidth()), float(deviceHeight()));
    shownPrint = print;
    shownLayout = layout;
    const Rect meters{kMeterLeft, kMeterLeft + kMeterStep * (kChannels - 1) + kMeterWidth,
                      kMeterBottom - kMeterHeight, kMeterBottom};
    if (layout && area.left < meters.right && meters.left < area.right &&
        area.top < meters.bottom && meters.top < area.bottom)
        shownLevels.fill(0);   // the layout painted over the meters
}

// The layout (when asked), the play line while following, and the status texts.
void c_SoundEngine::paintRepaint(bool layout) {
    if (layout) paintLayout();
    if (mode == Mode::Playing && follow) {
        float e = editRow;
        setColor(0, 0, 0);   // erase the previous row's line
        drawLine(2, 12 * e - 10, 303, 12 * e - 10);
        setColor(171.6f, 37.2f, 104.4f);
        drawLine(2, 12 * e + 2, 303, 12 * e + 2);
    }
    paintStatus();
}

void c_SoundEngine::paintStatus() {
    setColor(86, 60, 106);
    drawRect(520, 323, 570, 16);
    drawRect(4, 408, 380, 16);
    setColor(38, 38, 38);
    drawRect(2, 0, 640, 14);
    setColor(171.6f, 37.2f, 104.4f);
    screenText.assign(43, U' ');
    screenText += statusText(status);
    drawText(screenText, 0, -1);
    setColor(148, 144, 164);
    drawText(kHeader, 0, -1);
    screenText = U"    ";
    for (int k = 0; k < kChannels; ++k) {
        if (k > 0) screenText += U"  ";
        screenText += channelEnable[k] == 1.0f ? U"on  " : U"off ";
    }
    screenText += U" FLW:";
    screenText += follow ? U"On" : U"Off";
    drawText(screenText, 0, 408);
    text(playing() ? U"STOP HOME" : U"PLAY HOME", 520, 323);
}

// Each meter jumps to 8 x the volume digit of the row playback has just reached (on
// an enabled channel with a note cell there) and falls by 2 pixels a frame to 2.
// Returns whether any level differs from the height last drawn.
bool c_SoundEngine::updateLevels() {
    int i = patternBase + editRow - 1;
    if (live != LivePlay::Off) i = heardRow < 0 ? -1 : orderAt(song, heardPosition) * 32 + heardRow;
    bool moved = false;
    for (int k = 0; k < kChannels; ++k) {
        int channel = k + 1;
        if (playing() && channelEnable[k] != 0 && song.cell(noteColumn(channel), i) != U'.')
            levels[k] = hexValue(song.cell(volumeColumn(channel), i)) * 8;
        levels[k] = std::clamp(levels[k] - 2, 2, 64);
        moved = moved || levels[k] != shownLevels[k];
    }
    return moved;
}

// Draws the meters whose level differs from the height last drawn, or all of them.
void c_SoundEngine::paintMeters(bool all) {
    for (int k = 0; k < kChannels; ++k) {
        if (!all && levels[k] == shownLevels[k]) continue;
        float x = kMeterLeft + kMeterStep * k;
        float level = levels[k];
        setColor(86, 60, 106);
        drawRect(x, kMeterBottom, kMeterWidth, -kMeterHeight);
        setColor(79 + level, 95 - level, 151 - level);
        drawRect(x, kMeterBottom, kMeterWidth, -level);
        shownLevels[k] = levels[k];
    }
}

// ---- [layout] ----

const char32_t* const kLogoRows[kLogoHeight] = {
    U"[[[  [  [ [ [[[",   // the product word T A M O in block letters
    U" [  [ [ [[[ [ [",
    U" [  [[[ [ [ [ [",
    U" [  [ [ [ [ [ [",
    U" [  [ [ [ [ [[[",
};

namespace {

struct PlacedText {
    const char32_t* text;
    int x, y;
};

const PlacedText kLabels[] = {
    {U"LOAD SAVE", 391, 441},         {U"EDIT UNDO", 520, 343},
    {U"COPYBLOCK", 520, 363},         {U"PASTE@POS", 520, 383},
    {kLogoRows[0], 425, 40},          {kLogoRows[1], 425, 52},    {kLogoRows[2], 425, 64},
    {kLogoRows[3], 425, 76},          {kLogoRows[4], 425, 88},
    {U"Description:", 442, 106},
};

}  // namespace

void c_SoundEngine::paintLayout() {
    setColor(86, 60, 106);
    drawRect(0, 0, 640, 475);
    setColor(0, 0, 0);
    drawRect(2, 14, 380, 385);
    setColor(86, 60, 106);
    drawRect(303, 14, 2, 387);
    setColor(71, 53, 85);
    drawRect(305, 14, 77, 12);

    setColor(148, 144, 164);
    for (const PlacedText& t : kLabels) text(t.text, t.x, t.y);
    setColor(0, 0, 0);
    drawRect(394, 122, 236, 18);
    drawRect(4, 440, 385, 18);
    setColor(128, 128, 128);
    static const String kNone;
    const String& description = currentInstrument >= 0 && currentInstrument < kDescriptionSlots
                                    ? song.instrumentDescriptions[currentInstrument]
                                    : kNone;
    drawText(description, 396, 123);

    int n = currentInstrument;
    auto p = [&](int j) { return song.param(n, j); };
    // Each value on the row of its spinner.
    using namespace layout;
    const struct {
        const char32_t* label;
        Spinner spinner;
        int value;
    } panel[] = {
        {U"  INSTRUMENT:", InstrumentNumber, n}, {U"         WAV:", Wav, p(0)},
        {U"         PWM:", Pwm, p(1)},           {U"         SWP:", Swp, p(3) / 16},
        {U"         ENV:", Env, p(4)},           {U"         E2P:", E2p, p(2) % 16},
        {U"         ARP:", Arp1, p(6) * 16 + p(7)},
        {U"         SPD:", ArpSpeed, p(5)},      {U"         AMT:", Amt, p(3) % 16},
        {U"         RPT:", Rpt, p(2) / 16},      {U" OCT:", OctaveDigit, octave},
        {U" SPD:", SongSpeed, song.speed},       {U" Len:", SongLength, song.songLength / 32},
    };
    setColor(148, 144, 164);
    for (const auto& row : panel) {
        screenText = row.label;
        appendHex2(screenText, row.value);
        drawText(screenText, 385, kSpinnerAt[row.spinner].y);
    }
    screenText = U"LAYOUT ";
    screenText += keyboardLayout == KeyboardLayout::US    ? U"US"
                  : keyboardLayout == KeyboardLayout::Any ? U"ANY"
                                                          : U"DE";
    drawText(screenText, 520, 440);
    screenText = U" ";
    screenText += fileName;
    drawText(screenText, 0, 441);

    setColor(82, 72, 74);
    if (mode == Mode::Editing) drawRect(0, 12 * cursorRow + 2, 303, 12);
    if (blockMarking != 0 && cursorRow > blockStart) {
        static const float kBlockX[] = {33, 99, 165, 231};
        float x = kBlockX[std::clamp((cursorColumn - 1) / 2, 0, 3)];
        setColor(32, 32, 64);
        drawRect(x, 12 * blockStart + 14, 72, 12 * (cursorRow - blockStart));
    }

    // The marker " [" puts its block one cell to the right of the given x.
    setColor(143, 31, 87);
    if (nameEntryActive) drawText(U" [", 11 * int(fileName.size()), 441);
    if (descriptionEntryActive)
        drawText(U" [", 385 + 11 * int(description.size()), 123);
    if (!nameEntryActive && !descriptionEntryActive)
        drawText(U" [", 33 * cursorColumn, 12 * cursorRow);

    for (int c = 0; c < 32; ++c) {
        int i = patternBase + editRow + c;
        int row = i % 32;
        if (row % 4 == 0)
            setColor(113.84615f, 110.76923f, 126.15385f);
        else
            setColor(148, 144, 164);
        screenText.clear();
        appendHex2(screenText, row);
        screenText += U':';
        for (int ch = 1; ch <= kChannels; ++ch) {
            screenText += U' ';
            appendNoteName(screenText, song, ch, i);
            screenText += song.cell(volumeColumn(ch), i);
            screenText += song.cell(instrumentColumn(ch), i);
        }
        drawText(screenText, 0, 12 * c + 12);

        // Positions past the last of the 256 entries stay blank.
        int position = currentPosition + c;
        setColor(148, 144, 164);
        if (position >= 0 && position < kOrderLength) {
            screenText = U" ";
            appendHex2(screenText, position);
            screenText += U": ";
            appendHex2(screenText, song.orderList[position]);
            drawText(screenText, 297, 12 * c + 12);
        }
    }

    // Live play's line, where PLAY's line marks the same row.
    if (int line = playLine(); line >= 0) {
        setColor(171.6f, 37.2f, 104.4f);
        drawLine(2, 12 * line + 14, 303, 12 * line + 14);
    }

    setColor(255, 255, 255);
    if (buttonImage)
        for (int s = 0; s < OrderEntry; ++s) drawImage(buttonImage.get(), kSpinnerAt[s].x, kSpinnerAt[s].y, 0);
    if (navrowImage) drawImage(navrowImage.get(), kNavRow.x, kNavRow.y, 0);
}
