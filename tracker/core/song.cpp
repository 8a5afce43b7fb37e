#include "tracker/core/song.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const std::array<const char32_t*, kWaveSamples> kWaveFiles = {
    U"wav/ramp_64.wav", U"wav/ramp_b_64.wav", U"wav/ramp_c_64.wav", U"wav/saw_64.wav",
    U"wav/fx2b.wav",    U"wav/tri_64.wav",    U"wav/hnoise.wav",    U"wav/zero_64.wav",
};

// The piano keys of a German keyboard, in noteValue order 0..28.
static const char32_t kNoteKeys[] = U"ysxdcvgbhnjmq2w3er5t6z7ui9o0p";

Column::Column(size_t count, char32_t fill) : Column(nullptr, 0, count, fill) {}

Column::Column(const String& cells) : Column(cells.data(), cells.size(), cells.size(), U'.') {}

// Only the given cells are stored, copied in one piece; the fill is not laid down.
Column::Column(const char32_t* cells, size_t count, size_t size, char32_t fill)
    : cells_(std::make_shared<Cells>()) {
    count = std::min(count, size);
    cells_->size = size;
    cells_->fill = fill;
    if (count > 0 && *std::max_element(cells, cells + count) > 0xFF) {
        cells_->wide.assign(cells, count);
        return;
    }
    cells_->narrow.resize(count);
    std::copy(cells, cells + count, cells_->narrow.data());
}

void Column::appendTo(String& text, size_t count, char32_t fill) const {
    const size_t at = text.size();
    const size_t stored = std::min(count, storedCells());
    const size_t filled = std::min(count, size());
    text.resize(at + count, fill);
    char32_t* to = text.data() + at;
    if (filled > stored) std::fill(to + stored, to + filled, cells_->fill);
    if (stored == 0) return;
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

Column::Cells& Column::own() {
    if (cells_.use_count() > 1) cells_ = std::make_shared<Cells>(*cells_);
    return *cells_;
}

void Column::set(size_t index, char32_t c) {
    if ((*this)[index] == c) return;   // an unchanged cell keeps the storage shared
    Cells& cells = own();
    if (index >= cells.stored()) {   // the fill up to the cell becomes stored cells
        if (cells.wide.empty() && cells.fill <= 0xFF) cells.narrow.resize(index + 1, char(cells.fill));
        else {
            if (cells.wide.empty()) cells.wide = widen(cells.narrow);
            cells.wide.resize(index + 1, cells.fill);
        }
    }
    if (cells.wide.empty() && c <= 0xFF) {
        cells.narrow[index] = char(c);
        return;
    }
    if (cells.wide.empty()) cells.wide = widen(cells.narrow);
    cells.narrow.clear();
    cells.narrow.shrink_to_fit();
    cells.wide[index] = c;
}

String Column::text(size_t from, size_t count) const {
    size_t length = size();
    if (from >= length) return String();
    count = std::min(count, length - from);
    String out;
    out.reserve(count);
    const size_t stored = storedCells();
    if (from < stored) {
        const size_t n = std::min(count, stored - from);
        if (!cells_->wide.empty()) out.append(cells_->wide, from, n);
        else out = widen(cells_->narrow.substr(from, n));
    }
    out.resize(count, cells_->fill);
    return out;
}

// The loops over cells are the standard library's, a whole run of cells at a time.
namespace {

// The first `count` stored cells of two storages are the same.
template <class Cells>
bool sameStored(const Cells& a, const Cells& b, size_t count) {
    const auto* x = reinterpret_cast<const unsigned char*>(a.narrow.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.narrow.data());
    if (a.wide.empty() && b.wide.empty()) return std::memcmp(x, y, count) == 0;
    if (!a.wide.empty() && !b.wide.empty()) return std::equal(a.wide.data(), a.wide.data() + count, b.wide.data());
    if (a.wide.empty()) return std::equal(x, x + count, b.wide.data());
    return std::equal(y, y + count, a.wide.data());
}

// Every stored cell from `from` to `to` is `c`.
template <class Cells>
bool storedAre(const Cells& cells, size_t from, size_t to, char32_t c) {
    if (!cells.wide.empty())
        return size_t(std::count(cells.wide.data() + from, cells.wide.data() + to, c)) == to - from;
    if (c > 0xFF) return from == to;
    const auto* x = reinterpret_cast<const unsigned char*>(cells.narrow.data());
    return size_t(std::count(x + from, x + to, static_cast<unsigned char>(c))) == to - from;
}

}  // namespace

bool Column::samePrefix(const Column& other, size_t count) const {
    if (size() != other.size()) return false;
    count = std::min(count, size());
    if (cells_ == other.cells_ || count == 0) return true;
    const size_t mine = std::min(count, storedCells()), theirs = std::min(count, other.storedCells());
    const size_t both = std::min(mine, theirs);
    // Stored on both sides, then stored on one side against the other's fill, then the fills.
    if (!sameStored(*cells_, *other.cells_, both)) return false;
    if (!storedAre(*cells_, both, mine, other.fill()) || !storedAre(*other.cells_, both, theirs, fill()))
        return false;
    return std::max(mine, theirs) == count || fill() == other.fill();
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
