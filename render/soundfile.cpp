// A sound file through libsndfile: the temporary file, the sample formats, the
// commit by rename or by copying to standard output.
//
// Sections: [opening] [writing] [completing] [ogg serial numbers]
#include "render/soundfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/audio.h"
#include "host/savefile.h"

namespace {

int formatOf(const RenderOptions& o) {
    if (o.kind == FileKind::Ogg) return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    int major = o.kind == FileKind::Flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV;
    int sub = o.bits == 24 ? SF_FORMAT_PCM_24 : o.bits == 32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16;
    return major | sub;
}

// A float sample as 24-bit PCM in the top three bytes of an int (libsndfile's scale).
int32_t pcm24(float sample) {
    double v = std::nearbyint(double(sample) * 8388608.0);
    v = v > 8388607.0 ? 8388607.0 : v < -8388608.0 ? -8388608.0 : v;
    return int32_t(v) * 256;
}

std::string temporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

}  // namespace

SoundFile::SoundFile(const std::string& target, const RenderOptions& options)
    : target_(target), options_(options) {}

SoundFile::~SoundFile() { abandon(); }

bool SoundFile::fail(const std::string& why) {
    if (error_.empty()) error_ = why;
    return false;
}

// ---- [opening] ----

bool SoundFile::open() {
    std::string pattern = options_.toStandardOutput() ? temporaryFolder() + "/tamo-render.wav"
                                                      : target_;
    pattern += ".partial-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return fail(std::strerror(errno));
    temp_ = name.data();
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    SF_INFO info{};
    info.samplerate = options_.rate;
    info.channels = 2;
    info.format = formatOf(options_);
    blocks_ = std::make_unique<BlockFile>(fd);
    if (!blocks_->isOpen()) return fail(std::strerror(blocks_->error()));
    file_ = sf_open_virtual(blocks_->io(), SFM_WRITE, &info, blocks_.get());
    if (!file_) return fail(sf_strerror(nullptr));
    // A float WAV would carry a PEAK chunk with the time of writing: renders of the
    // same song must be the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (options_.kind == FileKind::Ogg) {
        double quality = options_.quality;
        sf_command(file_, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    return true;
}

// ---- [writing] ----

bool SoundFile::write(const float* frames, int count) {
    if (!file_) return false;
    const size_t samples = size_t(count) * 2;
    sf_count_t written = 0;
    if (options_.kind != FileKind::Ogg && options_.bits == 16) {
        shorts_.resize(samples);
        for (size_t i = 0; i < samples; ++i) shorts_[i] = pcm16(frames[i]);
        written = sf_writef_short(file_, shorts_.data(), count);
    } else if (options_.kind != FileKind::Ogg && options_.bits == 24) {
        ints_.resize(samples);
        for (size_t i = 0; i < samples; ++i) ints_[i] = pcm24(frames[i]);
        written = sf_writef_int(file_, ints_.data(), count);
    } else {
        written = sf_writef_float(file_, frames, count);
    }
    if (written == count) return true;
    return fail(writeError());
}

// The file's own error (errno of a failed write) before libsndfile's account of it.
std::string SoundFile::writeError() const {
    if (blocks_ && blocks_->error()) return std::strerror(blocks_->error());
    return file_ ? sf_strerror(file_) : "write error";
}

// ---- [completing] ----

bool SoundFile::close() {
    if (!file_) return false;
    int status = sf_close(file_);
    file_ = nullptr;
    bool closed = blocks_->close();
    if (status != 0 || !closed) return fail(closed ? sf_error_number(status) : writeError());
    if (options_.kind == FileKind::Ogg && !fixOggSerials()) return false;
    return true;
}

// A file is on disk before it is renamed into place, and its folder after, so a
// power loss leaves the old file or the complete new one.
bool SoundFile::commit() {
    if (temp_.empty()) return false;
    if (options_.toStandardOutput()) {
        if (!copyToStandardOutput()) return fail(std::strerror(errno));
        unlink(temp_.c_str());
    } else {
        if (!syncToDisk(temp_) || saveSystemCalls().rename(temp_.c_str(), target_.c_str()) != 0)
            return fail(std::strerror(errno));
        syncToDisk(folderOf(target_));
    }
    temp_.clear();
    return true;
}

void SoundFile::abandon() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    blocks_.reset();
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

bool SoundFile::copyToStandardOutput() {
    FILE* in = std::fopen(temp_.c_str(), "rb");
    if (!in) return false;
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    while (size_t n = std::fread(buffer.data(), 1, buffer.size(), in))
        ok = ok && std::fwrite(buffer.data(), 1, n, stdout) == n;
    ok = !std::ferror(in) && ok;
    std::fclose(in);
    return std::fflush(stdout) == 0 && ok;
}

// ---- [ogg serial numbers] ----

// libsndfile gives the Vorbis stream a serial number from the clock, so two renders of
// one song would differ in those bytes. Every page gets serial 1 and its CRC again.
namespace {

uint32_t oggCrc(const uint8_t* data, size_t size) {
    static uint32_t table[256];
    if (table[1] == 0)
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k) r = r & 0x80000000u ? (r << 1) ^ 0x04c11db7u : r << 1;
            table[i] = r;
        }
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xff];
    return crc;
}

void put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

// Sets the serial of every page in `bytes`; false when the pages do not add up.
bool renumberPages(std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at + 27 <= bytes.size()) {
        uint8_t* page = &bytes[at];
        if (std::memcmp(page, "OggS", 4) != 0) return false;
        size_t segments = page[26], size = 27 + segments;
        if (at + size > bytes.size()) return false;
        for (size_t s = 0; s < segments; ++s) size += page[27 + s];
        if (at + size > bytes.size()) return false;
        put32(page + 14, 1);
        put32(page + 22, 0);
        put32(page + 22, oggCrc(page, size));
        at += size;
    }
    return at == bytes.size();
}

}  // namespace

bool SoundFile::fixOggSerials() {
    FILE* f = std::fopen(temp_.c_str(), "r+b");
    if (!f) return fail(std::strerror(errno));
    std::vector<uint8_t> bytes;
    uint8_t buffer[1 << 16];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, f)) bytes.insert(bytes.end(), buffer, buffer + n);
    bool ok = !std::ferror(f) && renumberPages(bytes) && std::fseek(f, 0, SEEK_SET) == 0 &&
              std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok ? true : fail("cannot complete the OGG file");
}
