#pragma once
// A sound file written through libsndfile into a temporary file, which commit() then
// renames into place (or, for standard output, copies there), so a failed render
// leaves nothing behind.
//
//   samples:  arrive as float stereo (full scale 1.0); 16-bit output is rounded
//             exactly as the loopback device rounds, 24-bit to nearest with clamping,
//             float and Vorbis take them as they are
//   temp:     "OUT.partial-XXXXXX" beside OUT; for standard output in $TMPDIR (/tmp)
#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/blockfile.h"
#include "render/options.h"

class SoundFile {
public:
    SoundFile(const std::string& target, const RenderOptions& options);
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    bool open();                                  // creates the temporary file
    bool write(const float* frames, int count);   // false on a write error
    bool close();                                 // completes the temporary file
    bool commit();                                // moves it into place
    void abandon();                               // removes it
    const std::string& error() const { return error_; }
    const std::string& target() const { return target_; }

private:
    bool fail(const std::string& why);
    std::string writeError() const;
    bool fixOggSerials();
    bool copyToStandardOutput();

    std::string target_;
    const RenderOptions& options_;
    std::string temp_;
    std::unique_ptr<BlockFile> blocks_;   // what libsndfile writes into
    SNDFILE* file_ = nullptr;
    std::string error_;
    std::vector<int16_t> shorts_;   // converted frames for 16-bit output
    std::vector<int32_t> ints_;     // converted frames for 24-bit output
};
