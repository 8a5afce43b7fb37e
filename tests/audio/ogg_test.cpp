// OGG Vorbis files: a stereo file we encode here decodes at its own rate and loads as
// a 16-bit stereo buffer; damaged files load nothing and do not crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "host/decode/ogg.h"
#include "audio_support.h"
#include "support/xvfb.h"

using namespace audiotest;

namespace {

// Three seconds at 22050 Hz: 440 Hz on the left, 660 Hz on the right, encoded by sox.
std::vector<uint8_t> stereoOgg(const TempDir& dir) {
    std::string path = dir.file("tones.ogg");
    std::string command = "sox -q -n -r 22050 -c 2 '" + path + "' synth 3 sine 440 sine 660 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readFile(path);
}

std::vector<double> channelOf(const DecodedSound& s, int which) {
    std::vector<double> out;
    auto* samples = reinterpret_cast<const int16_t*>(s.data.data());
    for (int i = 0; i < s.length; ++i) out.push_back(samples[i * s.channels + which]);
    return out;
}

}  // namespace

TEST(OggFiles, AStereoFileDecodesBothChannelsAtItsOwnRate) {
    TempDir dir;
    std::vector<uint8_t> bytes = stereoOgg(dir);
    ASSERT_FALSE(bytes.empty());
    auto sound = decodeOgg(bytes.data(), bytes.size());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->format, 2);
    EXPECT_EQ(sound->hertz, 22050);
    EXPECT_EQ(sound->length, 66150);
    ASSERT_EQ(sound->data.size(), size_t(sound->length) * 4);
    EXPECT_NEAR(frequencyOf(channelOf(*sound, 0), 22050), 440, 2);
    EXPECT_NEAR(frequencyOf(channelOf(*sound, 1), 22050), 660, 3);
}

// The growing block must hold exactly what the decoder produced, across many
// doublings: compare with the library's own whole-file decoder.
TEST(OggFiles, TheGrowingBlockKeepsEverySampleInOrder) {
    TempDir dir;
    std::vector<uint8_t> bytes = stereoOgg(dir);
    auto sound = decodeOgg(bytes.data(), bytes.size());
    ASSERT_TRUE(sound);
    int channels = 0, hertz = 0;
    short* reference = nullptr;
    int frames = stb_vorbis_decode_memory(bytes.data(), int(bytes.size()), &channels, &hertz, &reference);
    ASSERT_GT(frames, 0);
    ASSERT_EQ(sound->length, frames);
    EXPECT_EQ(std::memcmp(sound->data.data(), reference, size_t(frames) * 4), 0);
    std::free(reference);
}

TEST(OggFiles, AStereoFileLoadsAsA16BitStereoBuffer) {
    TempDir dir;
    ASSERT_FALSE(stereoOgg(dir).empty());
    gxtkAudio device{AudioLoopback{}};
    auto sound = loadSound(widen(dir.file("tones.ogg")));
    ASSERT_TRUE(sound && sound->sample && sound->sample->buffer);
    BufferInfo info = bufferInfo(sound->sample->buffer);
    EXPECT_EQ(info.bits, 16);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.hertz, 22050);
    EXPECT_EQ(info.size, 66150 * 4);
    EXPECT_EQ(uploadFormat(2, 2), AL_FORMAT_STEREO16);
}

TEST(OggFiles, DamagedFilesDecodeToNoneOrLessWithoutCrashing) {
    TempDir dir;
    std::vector<uint8_t> bytes = stereoOgg(dir);
    ASSERT_GT(bytes.size(), 200u);
    for (size_t n : {size_t(0), size_t(4), size_t(58), size_t(200), bytes.size() / 2}) {
        auto sound = decodeOgg(bytes.data(), n);
        if (sound) EXPECT_LT(sound->length, 66150) << "cut at " << n;
    }
    std::vector<uint8_t> garbage(4096);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 131 + 7);
    EXPECT_FALSE(decodeOgg(garbage.data(), garbage.size()));
    EXPECT_FALSE(decodeOgg(nullptr, 0));
}

namespace {

// The Ogg page checksum (polynomial 0x04c11db7, no reflection), over a page whose
// checksum field is zero.
uint32_t oggChecksum(const uint8_t* page, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= uint32_t(page[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc << 1) ^ ((crc & 0x80000000u) ? 0x04c11db7u : 0);
    }
    return crc;
}

void putLe(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
}

// Offset of the comment header's vendor length.
size_t vendorLengthAt(const std::vector<uint8_t>& bytes) {
    static const uint8_t kComment[] = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(kComment), std::end(kComment));
    return size_t(at - bytes.begin()) + sizeof kComment;
}

// States `frames` as the stream's length: the last page's position, its checksum redone.
void stateLength(std::vector<uint8_t>& bytes, uint64_t frames) {
    static const uint8_t kPage[] = {'O', 'g', 'g', 'S'};
    auto last = std::find_end(bytes.begin(), bytes.end(), std::begin(kPage), std::end(kPage));
    size_t page = size_t(last - bytes.begin());
    putLe(bytes, page + 6, frames, 8);
    putLe(bytes, page + 22, 0, 4);
    putLe(bytes, page + 22, oggChecksum(bytes.data() + page, bytes.size() - page), 4);
}

}  // namespace

// The decoder's tables for the richest stream an encoder makes must fit its memory.
TEST(OggFiles, AHighestQuality96kHzStereoFileDecodesWhole) {
    TempDir dir;
    std::string path = dir.file("hq.ogg");
    std::string command = "sox -q -n -r 96000 -c 2 -C 10 '" + path + "' synth 1 noise vol 0.5 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<uint8_t> bytes = readFile(path);
    auto sound = decodeOgg(bytes.data(), bytes.size());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->hertz, 96000);
    EXPECT_EQ(sound->length, 96000);
}

// A few bytes of header must not make the decoder allocate what they claim, nor may a
// stated length beyond ten minutes be taken.
TEST(OggFiles, HeadersClaimingMoreThanTheFileHoldsAreRefused) {
    TempDir dir;
    const std::vector<uint8_t> good = stereoOgg(dir);
    ASSERT_TRUE(decodeOgg(good.data(), good.size()));
    const size_t vendor = vendorLengthAt(good);
    ASSERT_LT(vendor + 8, good.size());

    std::vector<uint8_t> bytes = good;
    putLe(bytes, vendor, 0xFEFEFEFF, 4);
    EXPECT_FALSE(decodeOgg(bytes.data(), bytes.size())) << "vendor length";

    bytes = good;
    uint32_t vendorLength = uint32_t(bytes[vendor]) | uint32_t(bytes[vendor + 1]) << 8;
    putLe(bytes, vendor + 4 + vendorLength, 0x7FFFFFFF, 4);
    EXPECT_FALSE(decodeOgg(bytes.data(), bytes.size())) << "comment count";

    bytes = good;
    stateLength(bytes, 600ull * 22050);
    EXPECT_TRUE(decodeOgg(bytes.data(), bytes.size())) << "ten minutes stated";
    stateLength(bytes, 600ull * 22050 + 1);
    EXPECT_FALSE(decodeOgg(bytes.data(), bytes.size())) << "longer than ten minutes stated";
}
