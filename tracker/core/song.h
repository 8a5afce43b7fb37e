#pragma once
// tracker/core/: the tracker's lower floor (song model, file format, instrument voice,
// player, channel output); it includes nothing of the application's rooms and reaches
// no file but through the paths it is given.
//
// Song model: what a song is, shared by the editor's copy (c_SoundEngine) and the
// player's private copy (c_tamoPlay). Plain data, no window, no audio.
//
//   channel:  one of 4 tracker channels, 1..4
//   column:   one of 16 text columns: notes 0..3, volumes 4..7, instruments 8..11,
//             octaves 12..15 (column k+4*j belongs to channel k+1)
//   cell:     one character of a column; pattern p, row r is index p*32 + r
//   pattern:  32 rows; 256 patterns fill a column's 8192 characters
//   position: an index 0..255 into the order list, which names the pattern played there
//   instrument: 8 small integers at instrumentTable[n*8 .. n*8+7], n = 1..15
//
// Cells are decoded from characters when they are played or drawn. Reading past a
// column's end (a short or empty copy) yields the empty cell: "." or "0".
#include <array>
#include <memory>
#include <optional>
#include <utility>

#include "host/text.h"

constexpr int kChannels = 4;
constexpr int kColumns = 16;
constexpr int kRowsPerPattern = 32;
constexpr int kPatterns = 256;
constexpr int kColumnLength = kPatterns * kRowsPerPattern;  // 8192
constexpr int kOrderLength = 256;
constexpr int kInstrumentTableLength = 255;
constexpr int kDescriptionSlots = 32;
constexpr int kDescriptionLength = 21;
constexpr int kWaveSamples = 8;

// Twelfth root of two in single precision, held as a double.
constexpr double kSemitone = 1.0594631433486938;

// Note values of the special note characters.
constexpr int kNoteEmpty = 255;      // "."
constexpr int kNoteOff = 128;        // "<"
constexpr int kSlideDown = 127;      // "+"
constexpr int kSlideUp = 129;        // "#"
constexpr int kPatternEnd = 130;     // "-"

// Column kinds within the 16 text columns.
inline int noteColumn(int channel) { return channel - 1; }         // channel 1..4
inline int volumeColumn(int channel) { return channel + 3; }
inline int instrumentColumn(int channel) { return channel + 7; }
inline int octaveColumn(int channel) { return channel + 11; }
inline bool isNoteColumn(int column) { return column < kChannels; }

// The fill character of an empty cell in column k: "." for notes, "0" otherwise.
inline char32_t emptyCell(int column) { return isNoteColumn(column) ? U'.' : U'0'; }

// One track column: a sequence of cells, each a code point. Only the cells up to the
// last one written are stored; the rest are the column's fill, so a short song's
// columns hold its few patterns, not 8192 cells. The stored cells take one byte each
// while every one is below U+0100 (every character the editor writes) and four once a
// song file brings a wider one, so a file's characters always come back as they were.
// Copies share their cells until one of them is changed: the undo history, a reset and
// a restore cost no cell storage for a column that did not change.
class Column {
public:
    Column() = default;                          // no cells
    Column(size_t count, char32_t fill);
    explicit Column(const String& cells);
    // The `count` cells at `cells`, then `fill` up to `size` cells in all.
    Column(const char32_t* cells, size_t count, size_t size, char32_t fill);

    size_t size() const { return cells_ ? cells_->size : 0; }
    char32_t operator[](size_t index) const {   // index < size()
        const Cells& cells = *cells_;
        if (!cells.wide.empty()) return index < cells.wide.size() ? cells.wide[index] : cells.fill;
        return index < cells.narrow.size() ? char32_t(uint8_t(cells.narrow[index])) : cells.fill;
    }
    void set(size_t index, char32_t c);          // index < size()
    // Up to `count` cells from `from` as text (none when `from` is past the end).
    String text(size_t from = 0, size_t count = String::npos) const;
    // Appends the first `count` cells to `text`, `fill` for those past the end.
    void appendTo(String& text, size_t count, char32_t fill) const;
    // The same size, and the same first `count` cells (all of them when count is larger).
    bool samePrefix(const Column& other, size_t count) const;
    bool operator==(const Column& other) const { return samePrefix(other, size()); }
    bool operator!=(const Column& other) const { return !(*this == other); }
    // The storage behind the cells, to tell whether two columns share it.
    const void* storage() const { return cells_.get(); }
    // Cells held in storage; every cell from there on is fill().
    size_t storedCells() const { return cells_ ? cells_->stored() : 0; }
    char32_t fill() const { return cells_ ? cells_->fill : 0; }
    // The stored cells one byte each while every one is below U+0100; none otherwise.
    const char* byteCells() const;

private:
    struct Cells {
        std::string narrow;   // one byte per stored cell, while `wide` is empty
        String wide;          // four bytes per stored cell, once any is above U+00FF
        size_t size = 0;      // cells in all
        char32_t fill = 0;    // every cell past the stored ones
        size_t stored() const { return wide.empty() ? narrow.size() : wide.size(); }
    };
    std::shared_ptr<Cells> cells_;   // shared between copies until one is changed
    Cells& own();
};

struct Song {
    std::array<Column, kColumns> trackColumns;               // 16 columns of 8192 cells
    std::array<int, kOrderLength> orderList{};               // pattern 0..255 per position
    std::array<int, kInstrumentTableLength> instrumentTable{};  // instrument n at n*8..n*8+7
    std::array<String, kDescriptionSlots> instrumentDescriptions;  // slots 1..31, <= 21 chars
    int songLength = 32;                                     // rows, multiple of 32, 32..3168
    int speed = 4;                                           // update frames per row, 1..16

    // A new song: note columns ".", the other twelve "0", everything else zero.
    void clear();
    // Cell `index` of `column`, or the empty cell when the column is shorter.
    char32_t cell(int column, int index) const {
        const Column& c = trackColumns[size_t(column)];
        if (index < 0 || size_t(index) >= c.size()) return emptyCell(column);
        return c[size_t(index)];
    }
    // Parameter j (0..7) of instrument n.
    int param(int instrument, int j) const;
    int& param(int instrument, int j);
};

// An empty column of 8192 cells for column k.
Column emptyColumn(int column);

// noteValue of a note character: 0..28 for notes, 127..130 and 255 for commands,
// 0 for any character outside the table.
int noteValue(char32_t c);
// The note character with noteValue v (0..28), the inverse of noteValue for notes.
char32_t noteCharacter(int v);
// An octave digit: a decimal digit, else 0.
inline int decimalValue(char32_t c) { return (c >= U'0' && c <= U'9') ? int(c - U'0') : 0; }
// A volume or instrument digit: decimal digits, then a/A..f/F as 10..15, else 0.
inline int hexValue(char32_t c) {
    if (c >= U'a' && c <= U'f') return int(c - U'a') + 10;
    if (c >= U'A' && c <= U'F') return int(c - U'A') + 10;
    return decimalValue(c);
}
// The instrument digit written into instrument cells: "1".."9", "A".."F" for 10..15.
char32_t instrumentDigit(int instrument);

// Rate factor 2^(semitone/12) as a power of kSemitone.
double pitchFactor(double semitone);

// The WAV table: WAV 1..7 -> (main sample index, second sample index) into the
// eight wave samples; none for any other value.
std::optional<std::pair<int, int>> wavPair(int wav);

// The eight sample files, index 0..7.
extern const std::array<const char32_t*, kWaveSamples> kWaveFiles;
