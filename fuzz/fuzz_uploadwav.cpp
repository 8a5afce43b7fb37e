// libFuzzer target: the checkUploadWav of checks.h on every input.
#include <cstdlib>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!checkUploadWav(data, size)) abort();
    return 0;
}
