// Every shipped demo song, rendered with tamo-render, still sounds exactly as it did
// when its checksum was committed: a change that alters the sound is made knowingly.
//
// After an intended change of the sound, render again and put the printed lines into
// tests/e2e/render_checksums.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "support/files.h"
#include "support/renders.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> demoSongs() {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(TAMO_SOURCE_DIR "/data/songs"))
        if (e.path().filename().string().rfind("demo", 0) == 0) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(DemoSongRender, EveryDemoSoundsAsItsCommittedChecksum) {
    auto sums = committedChecksums();
    auto demos = demoSongs();
    ASSERT_GE(demos.size(), 3u) << "the demo songs are missing from data/songs";
    TempDir dir;
    std::string newLines;
    for (const auto& name : demos) {
        std::string out = dir.file(name + ".wav");
        std::string cmd = std::string("'") + TAMO_BINARY_DIR "/tamo-render' '" TAMO_SOURCE_DIR
                          "/data/songs/" + name + "' '" + out + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << "tamo-render failed on " << name;
        std::string samples = sampleBytes(readFile(out));
        ASSERT_GT(samples.size(), 44100u * 4) << name << " rendered less than a second";
        std::string sum = checksum(samples);
        newLines += name + " " + sum + "\n";
        auto known = sums.find(name);
        if (known == sums.end())
            ADD_FAILURE() << name << " has no committed checksum";
        else
            EXPECT_EQ(sum, known->second) << name << " sounds different from its committed render";
    }
    if (HasFailure())
        std::printf("Checksums of this build (for tests/e2e/render_checksums.txt):\n%s",
                    newLines.c_str());
}

TEST(DemoSongRender, RenderingTheSameSongTwiceGivesTheSameSound) {
    TempDir dir;
    std::string song = TAMO_SOURCE_DIR "/data/songs/demo1";
    std::string sums[2];
    for (int i = 0; i < 2; ++i) {
        std::string out = dir.file("take" + std::to_string(i) + ".wav");
        std::string cmd = std::string("'") + TAMO_BINARY_DIR "/tamo-render' '" + song + "' '" +
                          out + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        sums[i] = checksum(sampleBytes(readFile(out)));
    }
    EXPECT_EQ(sums[0], sums[1]);
}
