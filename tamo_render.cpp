// tamo-render [OPTIONS] SONGFILE OUT: the song export. Plays a song file from position 0
// with the player and the audio channels of the tracker on the loopback device and
// writes the sound as WAV, FLAC or OGG through libsndfile (--help lists the options).
// The sound starts on the tick that reads the first row; one pass ends where playback
// returns to position 0, so a looping song gives a seamless loop.
//
// The song file is taken as given on the command line (not from "songs/"); the eight
// wave samples come from the data folder beside this program. Every output is written
// to a temporary file and renamed when all of them are complete, so a failed render
// leaves nothing behind, and the song file itself is never written. Each render (the
// normalizing measurement, the mix, each stem) runs on a fresh device and player, so
// it sounds exactly as a render of its own would. Stopped by a signal (Ctrl+C, a hang-up,
// the tracker ending an export), it removes its temporary files and then ends by that
// signal.
//
// Sections: [messages] [reading the song] [checking outputs] [rendering] [main]
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "host/datapath.h"
#include "host/game.h"
#include "render/mixdown.h"
#include "render/options.h"
#include "render/soundfile.h"
#include "tracker/core/player.h"
#include "tracker/core/songfile.h"

namespace {

constexpr const char* kVersion = "tamo-render " TAMO_VERSION;

// SIGINT, SIGTERM or SIGHUP once received: the render stops at its next block.
volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) { stopSignal = signal; }

const char kStopped[] = "stopped by a signal; nothing written";

// ---- [messages] ----

int fail(const std::string& message) {
    std::fprintf(stderr, "tamo-render: %s\n", message.c_str());
    return 1;
}

int usage(const std::string& problem) {
    std::fprintf(stderr, "tamo-render: %s\nusage: tamo-render [OPTIONS] SONGFILE OUT (--help lists them)\n",
                 problem.c_str());
    return 2;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// A progress line on standard error while rendering, only on a terminal.
class Progress {
public:
    explicit Progress(int rate) : rate_(rate), shown_(isatty(STDERR_FILENO) == 1) {}
    void at(const std::string& what, long long frames) {
        if (!shown_ || frames - last_ < rate_) return;
        last_ = frames;
        std::fprintf(stderr, "\rtamo-render: %s: %.0f s of audio ", what.c_str(), double(frames) / rate_);
    }
    void done() {
        if (shown_ && last_ > 0) std::fprintf(stderr, "\n");
        last_ = 0;
    }

private:
    int rate_;
    bool shown_;
    long long last_ = 0;
};

// ---- [reading the song] ----

// Reads and checks the song file's text; an empty string on success, else why not.
// Only a regular file of a song's size is read: a FIFO, a device or a huge file is
// refused at once.
std::string readSongFile(const std::string& path, String& text) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return "cannot read " + quoted(path) + ": " + std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "cannot read " + quoted(path) + ": it is a folder";
    if (!S_ISREG(info.st_mode)) return "cannot read " + quoted(path) + ": not a regular file";
    if (uint64_t(info.st_size) > kMaxSongFileBytes)
        return quoted(path) + " is not a song file (far too large)";
    errno = 0;
    std::optional<std::vector<uint8_t>> bytes = readRegularFile(path, kMaxSongFileBytes);
    if (!bytes) return "cannot read " + quoted(path) + (errno ? ": " + std::string(std::strerror(errno)) : "");
    text = decodeText(bytes->data(), bytes->size());
    if (text.size() < 4 || text.compare(0, 4, U"TAM1") != 0)
        return quoted(path) + " is not a song file (it does not start with TAM1)";
    c_tamoPlay player;
    if (!player.takeSongText(text))
        return quoted(path) + " is not a complete song file (truncated or damaged)";
    return std::string();
}

// ---- [checking outputs] ----

// True when both paths name the same existing file (also through links).
bool sameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Why `out` may not be written, or an empty string. An output replaces its file by a
// rename, which must never swap out the song, a device or a folder.
std::string refusedOutput(const std::string& song, const std::string& out) {
    if (sameFile(song, out)) return "will not write over the song file " + quoted(song);
    struct stat target;
    if (stat(out.c_str(), &target) == 0 && !S_ISREG(target.st_mode))
        return quoted(out) + " exists and is not a regular file";
    return std::string();
}

struct Output {
    std::string path;
    int only;   // 0: the mix of the chosen channels; 1..4: that channel alone
};

// The files to write: OUT, then with --stems one per sounding channel.
std::vector<Output> outputsOf(const RenderOptions& o) {
    std::vector<Output> outputs{{o.out, 0}};
    if (o.stems)
        for (int c = 1; c <= kChannels; ++c)
            if (o.channels[c - 1]) outputs.push_back({stemPath(o.out, c), c});
    return outputs;
}

// ---- [rendering] ----

struct Job {
    const RenderOptions& options;
    const String& song;
    Progress& progress;
};

// The plan for one output: all chosen channels (`only` 0) or channel `only` alone.
MixPlan planFor(const RenderOptions& o, int only, float gain) {
    MixPlan plan;
    plan.loops = o.loops;
    plan.fadeSeconds = o.fadeSeconds;
    plan.rate = o.rate;
    plan.gain = gain;
    for (int c = 0; c < kChannels; ++c)
        plan.channels[c] = o.channels[c] && (only == 0 || only == c + 1) ? 1.0f : 0.0f;
    return plan;
}

// One render on a fresh device and player; `sink` takes the frames. An empty string
// on success, else why not.
std::string renderOnce(const Job& job, const MixPlan& plan, const std::string& what,
                       const std::function<bool(const float*, int)>& sink, MixResult& result) {
    gxtkAudio device(AudioLoopback{}, plan.rate);
    if (!device.isOpen()) return "cannot open the loopback audio device";
    c_tamoPlay player;
    player.takeSongText(job.song);
    player.reloadSamples();
    for (int i = 0; i < kWaveSamples; ++i)
        if (!player.waveSamples[i])
            return "missing wave sample " + narrow(kWaveFiles[i]) + " in " +
                   narrow(executableFolder()) + "/data";
    long long sent = 0;
    result = mixDown(player, device, plan, [&](const float* frames, int count) {
        job.progress.at(what, sent += count);
        return stopSignal == 0 && sink(frames, count);
    });
    job.progress.done();
    if (stopSignal != 0) return kStopped;
    if (result.play.ticks == 0)
        return quoted(job.options.song) + " reads no row within an hour (speed " +
               std::to_string(double(player.speed)) + ")";
    return std::string();
}

// The gain that brings the mix's peak to -1 dBFS (1 for silence).
std::string normalizingGain(const Job& job, float& gain) {
    MixResult measured;
    MixPlan plan = planFor(job.options, 0, 1.0f);
    plan.measurePeak = true;
    std::string problem = renderOnce(job, plan, "measuring the peak",
                                     [](const float*, int) { return true; }, measured);
    gain = measured.peak > 0 ? float(std::pow(10.0, -1.0 / 20.0) / measured.peak) : 1.0f;
    return problem;
}

// Renders into `file` the mix (`only` 0) or channel `only` alone.
std::string renderFile(const Job& job, SoundFile& file, int only, float gain, MixResult& result) {
    if (!file.open()) return "cannot create " + quoted(file.target()) + ": " + file.error();
    std::string problem = renderOnce(job, planFor(job.options, only, gain), file.target(),
                                     [&](const float* f, int n) { return file.write(f, n); }, result);
    if (!problem.empty()) return problem;
    if (result.sinkFailed || !file.close())
        return "cannot write " + quoted(file.target()) + ": " + file.error();
    return std::string();
}

void printSummary(const RenderOptions& o, const MixResult& mix, double wall,
                  const std::vector<Output>& outputs) {
    const double seconds = double(mix.frames) / o.rate;
    std::printf("tamo-render: %s: %d pass%s, %d rows, %.2f s of audio in %.3f s (%.0fx real time)%s ->",
                o.song.c_str(), mix.play.passes, mix.play.passes == 1 ? "" : "es", mix.play.rows,
                seconds, wall, wall > 0 ? seconds / wall : 0.0,
                mix.play.looped ? "" : " (stopped at the one hour limit)");
    for (const Output& out : outputs) std::printf(" %s", out.path.c_str());
    std::printf("\n");
}

// Renders every output and commits them; the exit status.
int render(const RenderOptions& options) {
    const std::vector<Output> outputs = outputsOf(options);
    if (!options.toStandardOutput())
        for (const Output& out : outputs) {
            std::string refused = refusedOutput(options.song, out.path);
            if (!refused.empty()) return fail(refused);
        }
    String song;
    std::string problem = readSongFile(options.song, song);
    if (!problem.empty()) return fail(problem);

    VXGlfwGame host;   // data paths: the folder "data" beside this program
    Progress progress(options.rate);
    Job job{options, song, progress};
    auto start = std::chrono::steady_clock::now();
    float gain = 1.0f;
    if (options.normalize) problem = normalizingGain(job, gain);
    if (!problem.empty()) return fail(problem);

    std::vector<std::unique_ptr<SoundFile>> files;
    MixResult mix;
    for (size_t i = 0; i < outputs.size() && problem.empty(); ++i) {
        files.push_back(std::make_unique<SoundFile>(outputs[i].path, options));
        MixResult result;
        problem = renderFile(job, *files.back(), outputs[i].only, gain, result);
        if (i == 0) mix = result;
    }
    if (problem.empty() && stopSignal != 0) problem = kStopped;
    for (auto& file : files)
        if (problem.empty() && !file->commit())
            problem = "cannot write " + quoted(file->target()) + ": " + file->error();
    if (!problem.empty()) return fail(problem);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!options.toStandardOutput()) printSummary(options, mix, wall, outputs);
    return 0;
}

}  // namespace

// ---- [main] ----

int main(int argc, char** argv) {
    CommandLine command = parseCommandLine(argc, argv);
    if (command.what == CommandLine::Help) return std::fputs(helpText(), stdout), 0;
    if (command.what == CommandLine::Version) return std::puts(kVersion), 0;
    if (command.what == CommandLine::Usage) return usage(command.problem);
    const RenderOptions& options = command.options;
    // A file size limit or a reader of standard output that goes away then fails the
    // write (and the temporary file is removed) instead of killing the program with
    // the partial file left behind.
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    for (int stop : {SIGINT, SIGTERM, SIGHUP}) signal(stop, onStopSignal);
    int status = render(options);
    if (stopSignal != 0) {   // the temporary files are gone with render()'s outputs
        signal(stopSignal, SIG_DFL);
        raise(stopSignal);
    }
    return status;
}
