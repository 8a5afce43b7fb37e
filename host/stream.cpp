// Data buffers, file streams and the application's stream layer.
//
//   [buffers]   VXDataBuffer, c_DataBuffer (create, pokeBytes, pokeString)
//   [files]     VXFileStream, openFileStream
//   [streams]   c_Stream (writeAll, writeString), c_FileStream
#include "host/stream.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "host/errors.h"
#include "host/game.h"

// ---- [buffers] ----

VXDataBuffer::~VXDataBuffer() { discard(); }

bool VXDataBuffer::allocate(int size, uint8_t* memory) {
    if (data || size < 0) return false;
    if (!memory && size > 0) {
        memory = static_cast<uint8_t*>(std::malloc(size_t(size)));
        if (!memory) return false;
    }
    data = memory;
    length = size;
    return true;
}

bool VXDataBuffer::loadFromPath(const String& path) {
    if (data) return false;
    VXGame* game = VXGame::current();
    if (!game) return false;
    std::optional<std::vector<uint8_t>> bytes = game->loadData(path);
    if (!bytes || bytes->size() > size_t(INT_MAX)) return false;
    if (!allocate(int(bytes->size()))) return false;
    if (!bytes->empty()) std::memcpy(data, bytes->data(), bytes->size());
    return true;
}

void VXDataBuffer::discard() {
    std::free(data);
    data = nullptr;
    length = 0;
}

c_DataBuffer* c_DataBuffer::create(int size) {
    if (data || !allocate(size)) raiseError(U"Allocate DataBuffer failed");
    return this;
}

void c_DataBuffer::pokeBytes(int address, const std::vector<int>& values, int offset, int count) {
    if (address < 0 || offset < 0) return;
    long n = std::min<long>({long(count), long(length) - address, long(values.size()) - offset});
    for (long i = 0; i < n; ++i) data[address + i] = uint8_t(values[size_t(offset + i)] & 0xFF);
}

namespace {

// The UTF-8 bytes of a character's low 16 bits: one to three.
int encodeLow16(char32_t c, uint8_t out[3]) {
    unsigned u = unsigned(c) & 0xFFFF;
    if (u < 0x80) {
        out[0] = uint8_t(u);
        return 1;
    }
    if (u < 0x800) {
        out[0] = uint8_t(0xC0 | (u >> 6));
        out[1] = uint8_t(0x80 | (u & 0x3F));
        return 2;
    }
    out[0] = uint8_t(0xE0 | (u >> 12));
    out[1] = uint8_t(0x80 | ((u >> 6) & 0x3F));
    out[2] = uint8_t(0x80 | (u & 0x3F));
    return 3;
}

}  // namespace

int c_DataBuffer::pokeString(int address, const String& text, const String& encoding) {
    bool utf8 = encoding == U"utf8";
    if (!utf8 && encoding != U"ascii") raiseError(U"Invalid string encoding:" + encoding);
    long room = (address >= 0 && address <= length) ? long(length) - address : 0;
    long total = 0;
    for (char32_t c : text) {
        uint8_t bytes[3] = {uint8_t(c & 0xFF), 0, 0};
        int n = utf8 ? encodeLow16(c, bytes) : 1;
        for (int i = 0; i < n; ++i, ++total)
            if (total < room) data[address + total] = bytes[i];
    }
    return int(total);
}

// ---- [files] ----

VXFileStream::~VXFileStream() { close(); }

bool VXFileStream::open(const String& path, const String& mode) {
    if (file_) return false;
    const char* fopenMode = mode == U"r" ? "rb" : mode == U"w" ? "wb" : mode == U"u" ? "rb+" : nullptr;
    VXGame* game = VXGame::current();
    if (!fopenMode || !game) return false;
    file_ = game->openFile(path, fopenMode);
    if (!file_ && mode == U"u") file_ = game->openFile(path, "wb+");
    if (!file_) return false;
    // Unbuffered: every write reaches the file (or fails) before it returns.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    closeFailed_ = false;
    long end = std::fseek(file_, 0, SEEK_END) == 0 ? std::ftell(file_) : 0;
    length_ = int(std::clamp<long>(end, 0, INT_MAX));
    std::fseek(file_, 0, SEEK_SET);
    position_ = 0;
    return true;
}

int VXFileStream::eof() {
    if (!file_) return -1;
    return position_ == length_ ? 1 : 0;
}

void VXFileStream::close() {
    if (!file_) return;
    closeFailed_ = std::fclose(file_) != 0;
    file_ = nullptr;
    position_ = length_ = 0;
}

int VXFileStream::seek(int offset) {
    if (!file_) return 0;
    std::fseek(file_, offset, SEEK_SET);
    long at = std::ftell(file_);
    position_ = int(std::clamp<long>(at, 0, INT_MAX));
    return position_;
}

namespace {

// How many of `count` bytes at `offset` lie inside the buffer.
int clipToBuffer(VXDataBuffer* buffer, int offset, int count) {
    if (!buffer || !buffer->data || offset < 0 || count <= 0 || offset >= buffer->length) return 0;
    return std::min(count, buffer->length - offset);
}

}  // namespace

int VXFileStream::read(VXDataBuffer* buffer, int offset, int count) {
    if (!file_) return 0;
    count = clipToBuffer(buffer, offset, count);
    if (count == 0) return 0;
    std::fseek(file_, position_, SEEK_SET);
    int n = int(std::fread(buffer->data + offset, 1, size_t(count), file_));
    position_ += n;
    return n;
}

int VXFileStream::write(VXDataBuffer* buffer, int offset, int count) {
    if (!file_) return 0;
    count = clipToBuffer(buffer, offset, count);
    if (count == 0) return 0;
    std::fseek(file_, position_, SEEK_SET);
    int n = int(std::fwrite(buffer->data + offset, 1, size_t(count), file_));
    position_ += n;
    length_ = std::max(length_, position_);
    return n;
}

std::unique_ptr<VXFileStream> openFileStream(const String& path, const String& mode) {
    auto stream = std::make_unique<VXFileStream>();
    bool append = mode == U"a";
    if (!stream->open(path, append ? String(U"u") : mode)) return nullptr;
    if (append) stream->seek(stream->length());
    return stream;
}

// ---- [streams] ----

void c_Stream::writeAll(c_DataBuffer* buffer, int offset, int count) {
    while (count > 0) {
        int n = write(buffer, offset, count);
        if (n <= 0) throw c_StreamWriteError(this);
        offset += n;
        count -= n;
    }
}

void c_Stream::writeString(const String& text) {
    c_DataBuffer buffer;
    buffer.create(int(std::min<size_t>(text.size() * 3, INT_MAX)));
    int n = buffer.pokeString(0, text, U"utf8");
    writeAll(&buffer, 0, std::min(n, buffer.length));
}

c_FileStream::c_FileStream(std::unique_ptr<VXFileStream> s) : stream(std::move(s)) {}

std::unique_ptr<c_FileStream> c_FileStream::open(const String& path, const String& mode) {
    std::unique_ptr<VXFileStream> s = openFileStream(path, mode);
    if (!s) return nullptr;
    return std::make_unique<c_FileStream>(std::move(s));
}

std::unique_ptr<c_FileStream> c_FileStream::create(const String& path, const String& mode) {
    std::unique_ptr<c_FileStream> s = open(path, mode);
    if (!s) raiseError(U"Failed to open stream");
    return s;
}

int c_FileStream::write(c_DataBuffer* buffer, int offset, int count) {
    return stream ? stream->write(buffer, offset, count) : 0;
}

void c_FileStream::close() {
    if (!stream) return;
    stream->close();
    stream.reset();
}

bool c_FileStream::closeChecked() {
    if (!stream) return false;
    stream->close();
    bool ok = !stream->closeFailed();
    stream.reset();
    return ok;
}
