// Inputs the fuzzers once found faults with, replayed through the same checks
// (fuzz/checks.h), so a fixed reader stays fixed. Under the sanitizer build (make test
// runs it there too) an undefined operation inside a reader fails the test at once.
//   tests/e2e/fuzz_cases/TARGET/NAME   one input for the fuzz target TARGET
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/checks.h"

namespace fs = std::filesystem;

TEST(FuzzRegression, EveryInputOnceFoundByAFuzzerIsReadSafely) {
    int replayed = 0;
    for (auto& folder : fs::directory_iterator(TAMO_SOURCE_DIR "/tests/e2e/fuzz_cases")) {
        if (!folder.is_directory()) continue;
        auto check = checkFor(folder.path().filename().string());
        ASSERT_NE(check, nullptr) << "no fuzz target named " << folder.path().filename();
        for (auto& input : fs::directory_iterator(folder.path())) {
            if (input.path().filename().string()[0] == '.') continue;
            std::ifstream in(input.path(), std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_TRUE(check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
                << input.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

// The committed seeds are real files of each kind; every one is read without a fault.
TEST(FuzzRegression, EverySeedOfTheFuzzCorpusIsReadSafely) {
    int replayed = 0;
    for (auto& folder : fs::directory_iterator(TAMO_SOURCE_DIR "/fuzz/corpus")) {
        auto check = checkFor(folder.path().filename().string());
        ASSERT_NE(check, nullptr) << folder.path();
        for (auto& input : fs::directory_iterator(folder.path())) {
            std::ifstream in(input.path(), std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_TRUE(check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
                << input.path();
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 20);
}
