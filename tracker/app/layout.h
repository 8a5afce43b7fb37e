#pragma once
// The screen's layout: every rectangle of the 640 x 475 window that a click acts on,
// and where the spinner buttons sit, named once for the rooms that click and paint.
//
//   rect:     left, right, top, bottom in window pixels; a click counts strictly
//             inside (left < x < right, top < y < bottom), so neighbouring buttons
//             that share an edge never both take a click on it
//   button:   the panel's buttons are 54 x 16 cells in pairs (EDIT | UNDO ...)
//   spinner:  a minus and a plus button, 16 pixels each, drawn from button1.png at
//             its point; the click rows are y + 2 .. y + 14
//   pattern:  32 rows of 12 pixels from y 14; row r's text at y 12 r, its cells'
//             fields 33 pixels apart from x 33
struct Rect {
    float left, right, top, bottom;
    bool contains(float x, float y) const { return x > left && x < right && y > top && y < bottom; }
};

struct Point {
    float x, y;
};

namespace layout {

// The transport and edit buttons of the panel.
constexpr Rect kPlay{516, 570, 320, 336};
constexpr Rect kHome{570, 624, 320, 336};
constexpr Rect kEdit{516, 570, 338, 354};
constexpr Rect kUndo{570, 624, 338, 354};
constexpr Rect kCopyBlock[] = {{516, 570, 361, 377}, {570, 624, 361, 377}};
constexpr Rect kPaste[] = {{516, 570, 381, 397}, {570, 624, 381, 397}};
constexpr Rect kLayout[] = {{516, 570, 442, 458}, {570, 624, 442, 458}};
constexpr Rect kLoad{387, 441, 442, 458};
constexpr Rect kSave{441, 495, 442, 458};

// The text fields.
constexpr Rect kNameBox{0, 380, 443, 457};
constexpr Rect kDescriptionBox{396, 776, 122, 136};

// The order column's insert and delete buttons (in button_navrow.png, drawn at kNavRow).
constexpr Point kNavRow{385, 12};
constexpr Rect kOrderInsert{385, 417, 26, 38};
constexpr Rect kOrderDelete{385, 417, 38, 50};

// The on/off label of tracker channel k (0..3) and FLW: after them.
constexpr Rect channelSwitch(int k) { return {44.0f + 66 * k, 44.0f + 66 * k + 54, 410, 426}; }
constexpr Rect kFollow{308, 362, 410, 426};

// The fifteen spinners, in the order the screen draws their buttons.
enum Spinner {
    InstrumentNumber, OctaveDigit, Wav, Pwm, Swp, Env, Arp1, Arp2, ArpSpeed, Amt, Rpt, E2p,
    SongSpeed, SongLength, OrderEntry, kSpinnerCount
};
constexpr Point kSpinnerAt[kSpinnerCount] = {
    {561, 144}, {473, 360}, {561, 168}, {561, 180}, {561, 192}, {561, 204}, {561, 228},
    {593, 228}, {561, 240}, {561, 252}, {561, 264}, {561, 216}, {473, 372}, {473, 384},
    kNavRow,   // the order spinner's buttons are part of the order column's picture
};
constexpr Rect spinnerMinus(Spinner s) {
    return {kSpinnerAt[s].x, kSpinnerAt[s].x + 16, kSpinnerAt[s].y + 2, kSpinnerAt[s].y + 14};
}
constexpr Rect spinnerPlus(Spinner s) {
    return {kSpinnerAt[s].x + 16, kSpinnerAt[s].x + 32, kSpinnerAt[s].y + 2, kSpinnerAt[s].y + 14};
}

}  // namespace layout
