#include "tracker/core/song.h"

#include <algorithm>
#include <cmath>

const std::array<const char32_t*, kWaveSamples> kWaveFiles = {
    U"wav/ramp_64.wav", U"wav/ramp_b_64.wav", U"wav/ramp_c_64.wav", U"wav/saw_64.wav",
    U"wav/fx2b.wav",    U"wav/tri_64.wav",    U"wav/hnoise.wav",    U"wav/zero_64.wav",
};

// The piano keys of a German keyboard, in noteValue order 0..28.
static const char32_t kNoteKeys[] = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0p";

Column::Column(size_t count, char32_t fill) : Column(nullptr, 0, count, fill) {}

Column::Column(const String& cells) : Column(cells.data(), cells.size(), cells.size(), U'.') {}

// Song files fill whole columns of mostly short songs: the fill is laid down in one
// piece and the stored cells are copied in one piece, with no work of our own per cell.
Column::Column(const char32_t* cells, size_t count, size_t size, char32_t fill)
    : cells_(std::make_shared<Cells>()) {
    count = std::min(count, size);
    const char32_t widest = std::max(count < size ? fill : 0, count > 0 ? *std::max_element(cells, cells + count) : 0);
    if (widest > 0xFF) {
        cells_->wide.assign(size, fill);
        std::copy(cells, cells + count, cells_->wide.data());
        return;
    }
    cells_->narrow.assign(size, char(fill));
    std::copy(cells, cells + count, cells_->narrow.data());
}

void Column::appendTo(String& text, size_t count, char32_t fill) const {
    const size_t at = text.size();
    const size_t stored = std::min(count, size());
    text.resize(at + count, fill);
    if (stored == 0) return;
    char32_t* to = text.data() + at;
    if (cells_->wide.empty()) {
        const auto* from = reinterpret_cast<const unsigned char*>(cells_->narrow.data());
        std::copy(from, from + stored, to);
    } else {
        std::copy(cells_->wide.begin(), cells_->wide.begin() + long(stored), to);
    }
}

const char* Column::byteCells() const {
    if (!cells_ || !cells_->wide.empty()) return nullptr;
    return cells_->narrow.data();
}

char32_t Column::operator[](size_t index) const {
    return cells_->wide.empty() ? char32_t(uint8_t(cells_->narrow[index])) : cells_->wide[index];
}

Column::Cells& Column::own() {
    if (cells_.use_count() > 1) cells_ = std::make_shared<Cells>(*cells_);
    return *cells_;
}

void Column::set(size_t index, char32_t c) {
    if ((*this)[index] == c) return;   // an unchanged cell keeps the storage shared
    Cells& cells = own();
    if (cells.wide.empty() && c <= 0xFF) {
        cells.narrow[index] = char(c);
        return;
    }
    if (cells.wide.empty()) {
        cells.wide = widen(cells.narrow);
        cells.narrow.clear();
        cells.narrow.shrink_to_fit();
    }
    cells.wide[index] = c;
}

String Column::text(size_t from, size_t count) const {
    size_t length = size();
    if (from >= length) return String();
    count = std::min(count, length - from);
    if (!cells_->wide.empty()) return cells_->wide.substr(from, count);
    return widen(cells_->narrow.substr(from, count));
}

bool Column::operator==(const Column& other) const {
    if (cells_ == other.cells_) return true;
    if (size() != other.size()) return false;
    if (size() == 0) return true;
    if (cells_->wide.empty() && other.cells_->wide.empty()) return cells_->narrow == other.cells_->narrow;
    for (size_t i = 0; i < size(); ++i)
        if ((*this)[i] != other[i]) return false;
    return true;
}

// Every empty column of a kind shares one storage until it is edited.
Column emptyColumn(int column) {
    static const Column notes(size_t(kColumnLength), U'.');
    static const Column digits(size_t(kColumnLength), U'0');
    return isNoteColumn(column) ? notes : digits;
}

void Song::clear() {
    for (int k = 0; k < kColumns; ++k) trackColumns[k] = emptyColumn(k);
    orderList.fill(0);
    instrumentTable.fill(0);
    for (auto& d : instrumentDescriptions) d.clear();
    songLength = 32;
    speed = 4;
}

char32_t Song::cell(int column, int index) const {
    const Column& c = trackColumns[column];
    if (index < 0 || size_t(index) >= c.size()) return emptyCell(column);
    return c[index];
}

int Song::param(int instrument, int j) const {
    int i = instrument * 8 + j;
    return (i >= 0 && i < kInstrumentTableLength) ? instrumentTable[i] : 0;
}

int& Song::param(int instrument, int j) {
    static int scratch;
    int i = instrument * 8 + j;
    if (i < 0 || i >= kInstrumentTableLength) return scratch = 0;
    return instrumentTable[i];
}

int noteValue(char32_t c) {
    switch (c) {
        case U'.': return kNoteEmpty;
        case U'<': return kNoteOff;
        case U'+': return kSlideDown;
        case U'#': return kSlideUp;
        case U'-': return kPatternEnd;
        default: break;
    }
    for (int v = 0; v < 29; ++v)
        if (kNoteKeys[v] == c) return v;
    return 0;
}

char32_t noteCharacter(int v) {
    return (v >= 0 && v < 29) ? kNoteKeys[v] : U'y';
}

int decimalValue(char32_t c) {
    return (c >= U'0' && c <= U'9') ? int(c - U'0') : 0;
}

int hexValue(char32_t c) {
    if (c >= U'a' && c <= U'f') return int(c - U'a') + 10;
    if (c >= U'A' && c <= U'F') return int(c - U'A') + 10;
    return decimalValue(c);
}

char32_t instrumentDigit(int instrument) {
    if (instrument >= 10 && instrument <= 15) return char32_t(U'A' + (instrument - 10));
    return char32_t(U'0' + (instrument % 10));
}

double pitchFactor(double semitone) {
    return std::pow(kSemitone, semitone);
}

std::optional<std::pair<int, int>> wavPair(int wav) {
    static const int kMain[] = {1, 2, 0, 5, 1, 4, 6};
    static const int kSecond[] = {3, 3, 3, 7, 7, 7, 7};
    if (wav < 1 || wav > 7) return std::nullopt;
    return std::make_pair(kMain[wav - 1], kSecond[wav - 1]);
}
