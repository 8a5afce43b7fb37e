// WAV files: what loads, in what format, and what is refused without harm.
#include <gtest/gtest.h>

#include <random>

#include "host/decode/wav.h"
#include "audio_support.h"
#include "support/xvfb.h"

using namespace audiotest;

namespace {

std::optional<DecodedSound> decode(const std::vector<uint8_t>& bytes) { return decodeWav(bytes.data(), bytes.size()); }

std::vector<uint8_t> listChunk() { return chunk("LIST", std::vector<uint8_t>(26, 'x')); }

}  // namespace

TEST(WavFiles, Mono8BitLoadsAllSixtyFourSamplesAtItsOwnRate) {
    auto sound = decode(makeWav(WavLayout{}));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->length, 64);
    EXPECT_EQ(sound->channels, 1);
    EXPECT_EQ(sound->format, 1);
    EXPECT_EQ(sound->hertz, 11025);
    EXPECT_EQ(sound->data, std::vector<uint8_t>(64, 0x80));
}

TEST(WavFiles, AnEmptyDataChunkLoadsAsASoundWithoutSamples) {
    WavLayout empty;
    empty.data.clear();
    auto sound = decode(makeWav(empty));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->length, 0);
    EXPECT_TRUE(sound->data.empty());
}

TEST(WavFiles, Stereo16BitOfSixtyFourBytesHasSixteenFrames) {
    WavLayout s;
    s.channels = 2;
    s.bits = 16;
    s.hertz = 22050;
    auto sound = decode(makeWav(s));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->length, 16);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->format, 2);
    EXPECT_EQ(sound->hertz, 22050);
}

TEST(WavFiles, ChunksBetweenFmtAndDataAreSkippedBySize) {
    WavLayout s;
    s.between = {listChunk(), chunk("fact", {1, 2, 3})};   // odd size: no pad byte follows
    s.data = {1, 2, 3, 4, 5};
    auto sound = decode(makeWav(s));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST(WavFiles, AChunkBeforeFmtIsRefused) {
    WavLayout s;
    s.before = {listChunk()};
    EXPECT_FALSE(decode(makeWav(s)));
}

TEST(WavFiles, ExtraBytesOfALongFmtChunkAreSkipped) {
    WavLayout s;
    s.fmtSize = 18;
    s.data = {9, 8, 7};
    auto sound = decode(makeWav(s));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->data, (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(sound->length, 3);
}

TEST(WavFiles, FloatingPointAndOtherFormatTagsAreRefused) {
    for (unsigned tag : {0u, 2u, 3u, 0xFFFEu}) {
        WavLayout s;
        s.formatTag = tag;
        s.bits = 32;
        EXPECT_FALSE(decode(makeWav(s))) << "format tag " << tag;
    }
}

TEST(WavFiles, FilesThatAreNotRiffWaveAreRefused) {
    std::vector<uint8_t> good = makeWav(WavLayout{});
    for (size_t at : {0u, 8u, 12u}) {
        std::vector<uint8_t> bad = good;
        bad[at] = 'X';
        EXPECT_FALSE(decode(bad)) << "damaged tag at " << at;
    }
    EXPECT_FALSE(decode({}));
    EXPECT_FALSE(decodeWav(nullptr, 0));
}

// Every cut of a file either loads what is whole or gives none; none of it crashes
// or reads beyond the bytes (the sanitizer build watches the latter).
TEST(WavFiles, TruncatedFilesGiveNoneWithoutCrashing) {
    WavLayout s;
    s.between = {listChunk()};
    std::vector<uint8_t> whole = makeWav(s);
    for (size_t n = 0; n < whole.size(); ++n) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(n));
        EXPECT_FALSE(decode(cut)) << "cut at " << n;
    }
    EXPECT_TRUE(decode(whole));
}

TEST(WavFiles, GarbageAndHugeChunkSizesGiveNoneWithoutCrashing) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = makeWav(WavLayout{});
        int flips = 1 + int(random() % 8);
        for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = uint8_t(random());
        auto sound = decode(bytes);
        if (sound) {
            EXPECT_LE(size_t(sound->length) * size_t(std::max(sound->channels, 0)) *
                          size_t(std::max(sound->format, 0)), sound->data.size());
        }
    }
    WavLayout huge;
    huge.between = {chunk("LIST", {})};
    std::vector<uint8_t> bytes = makeWav(huge);
    bytes[40] = bytes[41] = bytes[42] = bytes[43] = 0xFF;   // LIST claims 4 GB
    EXPECT_FALSE(decode(bytes));
    bytes = makeWav(WavLayout{});
    bytes[40] = bytes[41] = bytes[42] = bytes[43] = 0xFF;   // data claims 4 GB
    EXPECT_FALSE(decode(bytes));
}

TEST(WavFiles, ZeroChannelsOrBitsGiveNoneInsteadOfDividingByZero) {
    WavLayout s;
    s.channels = 0;
    EXPECT_FALSE(decode(makeWav(s)));
    s = WavLayout{};
    s.bits = 4;
    EXPECT_FALSE(decode(makeWav(s)));
}

// ---- through the device into OpenAL buffers ----

class WavUpload : public ::testing::Test {
protected:
    TempDir dir;
    gxtkAudio device{AudioLoopback{}};

    std::shared_ptr<c_Sound> load(const std::string& name, const WavLayout& layout) {
        EXPECT_TRUE(writeFile(dir.file(name), makeWav(layout)));
        return loadSound(widen(dir.file(name)));
    }
};

TEST_F(WavUpload, Mono8BitBecomesAMono8BufferOfSixtyFourBytes) {
    ASSERT_TRUE(device.isOpen());
    auto sound = load("a.wav", WavLayout{});
    ASSERT_TRUE(sound && sound->sample && sound->sample->buffer);
    BufferInfo info = bufferInfo(sound->sample->buffer);
    EXPECT_EQ(info.bits, 8);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.hertz, 11025);
    EXPECT_EQ(info.size, 64);
    EXPECT_EQ(uploadFormat(1, 1), AL_FORMAT_MONO8);
}

TEST_F(WavUpload, TheFourFormatsFollowFromSampleSizeAndChannels) {
    EXPECT_EQ(uploadFormat(1, 2), AL_FORMAT_STEREO8);
    EXPECT_EQ(uploadFormat(2, 1), AL_FORMAT_MONO16);
    EXPECT_EQ(uploadFormat(2, 2), AL_FORMAT_STEREO16);
    EXPECT_EQ(uploadFormat(3, 1), 0);
    EXPECT_EQ(uploadFormat(2, 6), 0);
    WavLayout s;
    s.channels = 2;
    s.bits = 16;
    auto sound = load("s.wav", s);
    ASSERT_TRUE(sound && sound->sample);
    BufferInfo info = bufferInfo(sound->sample->buffer);
    EXPECT_EQ(info.bits, 16);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.size, 64);
}

TEST_F(WavUpload, AnEndingInCapitalsIsStillAWav) {
    auto sound = load("LOUD.WAV", WavLayout{});
    ASSERT_TRUE(sound && sound->sample);
    EXPECT_EQ(bufferInfo(sound->sample->buffer).size, 64);
}

TEST_F(WavUpload, MissingFilesOtherEndingsAndRefusedBytesLoadNothing) {
    EXPECT_FALSE(loadSound(widen(dir.file("missing.wav"))));
    EXPECT_FALSE(load("a.raw", WavLayout{}));
    ASSERT_TRUE(writeFile(dir.file("junk.wav"), std::vector<uint8_t>(300, 0x5A)));
    EXPECT_FALSE(loadSound(widen(dir.file("junk.wav"))));
    EXPECT_FALSE(loadSound(widen(dir.file("junk.ogg"))));
}

TEST_F(WavUpload, A24BitWavLoadsAsASampleThatPlaysSilence) {
    WavLayout s;
    s.bits = 24;
    s.data = std::vector<uint8_t>(96, 0x40);
    auto sound = load("deep.wav", s);
    ASSERT_TRUE(sound && sound->sample);
    EXPECT_EQ(bufferInfo(sound->sample->buffer).size, 0);
    EXPECT_EQ(device.playSample(sound->sample, 0, 1), 0);
    auto out = listen(device, 0.05);
    EXPECT_EQ(peak(out), 0);
}
