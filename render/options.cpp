// The command line of tamo-render: options, values, the output's format.
#include "render/options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

const char kHelp[] =
    "usage: tamo-render [OPTIONS] SONGFILE OUT\n"
    "Plays a song file from position 0 and writes its sound to OUT.\n"
    "The format follows OUT's extension: .wav, .flac or .ogg; OUT \"-\" writes a WAV to\n"
    "standard output (rendered to a temporary file first, then copied).\n"
    "\n"
    "  --bits 16|24|32f     sample format: 16 (default) or 24 bit; 32f = 32-bit float, WAV only\n"
    "  --quality Q          OGG Vorbis quality 0.0..1.0 (default 0.6)\n"
    "  --loops N            play the song N times through its loop, 1..99 (default 1)\n"
    "  --fade SECONDS       after the loops, play on while fading to silence, 0..60\n"
    "                       (default 0); a song that never loops ends without a fade\n"
    "  --stems              also write each channel alone beside OUT: NAME-1.EXT..NAME-4.EXT\n"
    "                       (with the same timing; the stems add up to the mix)\n"
    "  --channels LIST      only these channels sound, e.g. 1,3\n"
    "  --normalize          scale everything so that the peak is -1 dBFS; takes two passes\n"
    "                       over the mix (one to measure the peak, one to write)\n"
    "  --rate HZ            sample rate 22050..96000 (default 44100)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 done, 1 the song could not be read or OUT not written, 2 bad usage.\n"
    "OUT is written to a temporary file and renamed when complete; the song file is\n"
    "never written. A render on a terminal shows its progress on standard error.\n";

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The extension of the last path component, with its dot, in lower case.
std::string extensionOf(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return lower(path.substr(dot));
}

bool wholeNumber(const std::string& text, long lo, long hi, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    value = v;
    return true;
}

bool decimal(const std::string& text, double lo, double hi, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(v >= lo && v <= hi)) return false;
    value = v;
    return true;
}

// "1,3" -> channels 1 and 3 on, the others off; false on anything else.
bool channelList(const std::string& text, std::array<bool, 4>& channels) {
    std::array<bool, 4> on{};
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        long c = 0;
        if (!wholeNumber(text.substr(at, comma - at), 1, 4, c) || on[c - 1]) return false;
        on[c - 1] = true;
        at = comma + 1;
    }
    channels = on;
    return true;
}

class Parser {
public:
    explicit Parser(CommandLine& result) : r_(result), o_(result.options) {}

    // One option with its value; false (and the problem set) when refused.
    bool option(const std::string& name, const std::string& value) {
        long n = 0;
        if (name == "--bits") {
            if (value == "16" || value == "24") o_.bits = value == "16" ? 16 : 24;
            else if (value == "32f") o_.bits = 32;
            else return refuse("--bits takes 16, 24 or 32f");
            bitsGiven_ = true;
        } else if (name == "--quality") {
            if (!decimal(value, 0, 1, o_.quality)) return refuse("--quality takes 0.0..1.0");
            qualityGiven_ = true;
        } else if (name == "--loops") {
            if (!wholeNumber(value, 1, 99, n)) return refuse("--loops takes 1..99");
            o_.loops = int(n);
        } else if (name == "--fade") {
            if (!decimal(value, 0, 60, o_.fadeSeconds)) return refuse("--fade takes 0..60 seconds");
        } else if (name == "--channels") {
            if (!channelList(value, o_.channels))
                return refuse("--channels takes channel numbers 1..4 separated by commas, e.g. 1,3");
        } else if (name == "--rate") {
            if (!wholeNumber(value, 22050, 96000, n)) return refuse("--rate takes 22050..96000");
            o_.rate = int(n);
        } else {
            return refuse("unknown option " + name);
        }
        return true;
    }

    static bool takesValue(const std::string& name) {
        for (const char* o : {"--bits", "--quality", "--loops", "--fade", "--channels", "--rate"})
            if (name == o) return true;
        return false;
    }

    // The format from the output's name, and the options that depend on it.
    bool output() {
        const std::string ext = o_.toStandardOutput() ? ".wav" : extensionOf(o_.out);
        if (ext == ".wav") o_.kind = FileKind::Wav;
        else if (ext == ".flac") o_.kind = FileKind::Flac;
        else if (ext == ".ogg") o_.kind = FileKind::Ogg;
        else
            return refuse("cannot write \"" + o_.out + "\": the output must end in .wav, .flac or .ogg");
        if (o_.kind == FileKind::Flac && o_.bits == 32) return refuse("FLAC takes --bits 16 or 24");
        if (o_.kind == FileKind::Ogg && bitsGiven_) return refuse("--bits does not apply to OGG");
        if (o_.kind != FileKind::Ogg && qualityGiven_) return refuse("--quality applies to OGG only");
        if (o_.stems && o_.toStandardOutput())
            return refuse("--stems needs an output file name, not \"-\"");
        return true;
    }

    bool refuse(const std::string& problem) {
        r_.what = CommandLine::Usage;
        r_.problem = problem;
        return false;
    }

private:
    CommandLine& r_;
    RenderOptions& o_;
    bool bitsGiven_ = false;
    bool qualityGiven_ = false;
};

}  // namespace

CommandLine parseCommandLine(int argc, char** argv) {
    CommandLine result;
    Parser parser(result);
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") return result.what = CommandLine::Help, result;
        if (arg == "--version") return result.what = CommandLine::Version, result;
        if (arg == "--stems") {
            result.options.stems = true;
        } else if (arg == "--normalize") {
            result.options.normalize = true;
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            size_t eq = arg.find('=');
            std::string name = arg.substr(0, eq);
            if (!Parser::takesValue(name)) return parser.refuse("unknown option " + name), result;
            if (eq == std::string::npos && i + 1 >= argc)
                return parser.refuse(name + " needs a value"), result;
            std::string value = eq == std::string::npos ? argv[++i] : arg.substr(eq + 1);
            if (!parser.option(name, value)) return result;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return parser.refuse("expected a song file and an output file"), result;
    result.options.song = files[0];
    result.options.out = files[1];
    if (!parser.output()) return result;
    result.what = CommandLine::Render;
    return result;
}

const char* helpText() { return kHelp; }

std::string stemPath(const std::string& out, int channel) {
    const std::string ext = extensionOf(out);
    const std::string base = out.substr(0, out.size() - ext.size());
    return base + "-" + std::to_string(channel) + out.substr(out.size() - ext.size());
}
