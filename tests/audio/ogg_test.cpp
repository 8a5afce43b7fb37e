// OGG Vorbis files: a stereo file we encode here decodes at its own rate and loads as
// a 16-bit stereo buffer; damaged files load nothing and do not crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "audio/ogg.h"
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
