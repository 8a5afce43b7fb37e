#pragma once
// The command line of tamo-render: what to render and how, checked before any work.
//
//   output:   the file's extension picks the format (.wav, .flac, .ogg); "-" is WAV
//             on standard output
//   bits:     16 or 24 (integer PCM), 32 = 32-bit float (WAV only); not for OGG
//   channels: tracker channels 1..4 that sound; the rest are muted as the tracker's
//             on/off switches mute them
#include <array>
#include <string>

enum class FileKind { Wav, Flac, Ogg };

struct RenderOptions {
    std::string song;                 // the song file, read as given
    std::string out;                  // the output file, "-" for standard output
    FileKind kind = FileKind::Wav;
    int bits = 16;                    // 16, 24 or 32 (float)
    double quality = 0.6;             // Vorbis quality 0..1
    int loops = 1;                    // passes through the song, 1..99
    double fadeSeconds = 0;           // fade after the loops, 0..60
    bool stems = false;               // also one file per channel, NAME-c.EXT
    std::array<bool, 4> channels{true, true, true, true};
    bool normalize = false;           // scale to a peak of -1 dBFS
    int rate = 44100;                 // frames per second, 22050..96000

    bool toStandardOutput() const { return out == "-"; }
};

struct CommandLine {
    enum What { Render, Help, Version, Usage } what = Usage;
    RenderOptions options;
    std::string problem;              // why the command line was refused (Usage)
};

CommandLine parseCommandLine(int argc, char** argv);

// The --help text.
const char* helpText();

// "NAME-c.EXT" beside `out` for tracker channel c (1..4).
std::string stemPath(const std::string& out, int channel);
