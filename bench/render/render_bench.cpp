// tamo-bench-render: how fast tamo-render turns a song into a WAV, FLAC or OGG file,
// next to the limit of its design, in the same run.
//
//   the song:      four channels, 32 patterns (32 positions), speed 4: 81.92 s of audio,
//                  with arpeggios, detune swings, envelopes and a note on most rows
//   tamo-render:   the program as a user runs it (process start, reading the song,
//                  loading the samples, playing, writing the file), timed from outside;
//                  its own timing of the play-and-write loop is reported beside it;
//                  every timed run writes a new file (the previous one is removed
//                  before the clock starts: replacing it would time the kernel's
//                  release of the old file's pages too)
//   bare mix:      the loopback device with eight looping sources started once, fed
//                  exactly the gain and pitch values the player sends each tick and
//                  mixing 882 frames per tick, nothing else (device and samples
//                  included in its time)
//
// Each round runs both once; the report gives seconds of audio per second of wall
// time (best and median of the rounds) and the ratio tamo-render / bare mix.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "audio/sound.h"
#include "host/game.h"
#include "tracker/core/player.h"
#include "tracker/core/songfile.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// ---- the song ----

void instrument(Song& s, int n, std::array<int, 8> p) {
    for (int j = 0; j < 8; ++j) s.param(n, j) = p[j];
}

void put(Song& s, int channel, int index, int note, char32_t volume, int instr, int octave) {
    s.trackColumns[noteColumn(channel)].set(index, noteCharacter(note));
    s.trackColumns[volumeColumn(channel)].set(index, volume);
    s.trackColumns[instrumentColumn(channel)].set(index, instrumentDigit(instr));
    s.trackColumns[octaveColumn(channel)].set(index, char32_t(U'0' + octave));
}

Song benchSong() {
    Song s;
    s.clear();
    s.songLength = 32 * 32;
    s.speed = 4;
    instrument(s, 1, {1, 30, 0, 3 * 16 + 12, 4, 2, 4, 7});   // lead: arpeggio, swing
    instrument(s, 2, {4, 0, 2, 0, 8, 0, 0, 0});              // bass: triangle, E2P
    instrument(s, 3, {7, 0, 0, 0, 1, 0, 0, 0});              // hat: noise
    instrument(s, 4, {2, 60, 16, 5 * 16 + 7, 16, 3, 3, 5});  // pad: slow swing, RPT
    const int scale[] = {0, 2, 4, 5, 7, 9, 11, 12};
    for (int p = 0; p < 32; ++p) {
        s.orderList[p] = p;
        for (int r = 0; r < 32; ++r) {
            int i = p * 32 + r;
            if (r % 2 == 0) put(s, 1, i, scale[(p + r / 2) % 8] + 12, U'C', 1, 1);
            if (r % 4 == 0) put(s, 2, i, scale[(p * 3 + r / 4) % 8], U'A', 2, 1);
            put(s, 3, i, 24, r % 4 == 2 ? U'8' : U'4', 3, 2);
            if (r % 8 == 0) put(s, 4, i, scale[(p + r / 8) % 8] + 4, U'9', 4, 2);
        }
    }
    return s;
}

// ---- the player's per-tick gain and pitch values ----

struct TickValues {
    std::array<int, 16> channel;   // in call order: volumes 1,5,2,6,..., then rates
    std::array<float, 16> value;
};

class Recorder : public ChannelOut {
public:
    void stop(int) override {}
    void play(const c_Sound*, int, int) override {}
    void setVolume(int c, float v) override { last.push_back({c, v, true}); }
    void setRate(int c, float r) override { last.push_back({c, r, false}); }
    struct Op {
        int channel;
        float value;
        bool volume;
    };
    std::vector<Op> last;
};

// The values the player sends on each sounding tick of one pass through the song.
std::vector<TickValues> recordTicks(const String& songText, gxtkAudio& device) {
    c_tamoPlay player;
    Recorder rec;
    player.out = &rec;
    player.takeSongText(songText);
    std::vector<TickValues> ticks;
    playOnceThrough(
        player, device,
        [&](const int16_t*, int) {
            TickValues t;
            size_t from = rec.last.size() - 16;   // each tick ends with 8 volumes, 8 rates
            for (int k = 0; k < 16; ++k) {
                t.channel[k] = rec.last[from + k].channel;
                t.value[k] = rec.last[from + k].value;
            }
            ticks.push_back(t);
            rec.last.clear();
            return true;
        },
        1 << 30);
    return ticks;
}

// ---- the two contenders ----

// The bare mix: seconds of wall time for the whole pass.
double bareMix(const std::vector<TickValues>& ticks) {
    auto start = Clock::now();
    gxtkAudio device(AudioLoopback{}, kRenderHertz);
    std::array<std::shared_ptr<c_Sound>, kWaveSamples> samples;
    for (int i = 0; i < kWaveSamples; ++i) samples[i] = loadSound(kWaveFiles[i]);
    const int sampleOf[9] = {0, 1, 5, 6, 2, 3, 7, 7, 3};   // channel 1..8
    for (int c = 1; c <= 8; ++c) playSound(samples[sampleOf[c]].get(), c, 1);
    std::vector<int16_t> frames(size_t(kFramesPerTick) * 2);
    for (const TickValues& t : ticks) {
        for (int k = 0; k < 8; ++k) setChannelVolume(t.channel[k], t.value[k]);
        for (int k = 8; k < 16; ++k) setChannelRate(t.channel[k], t.value[k]);
        device.render(frames.data(), kFramesPerTick);
    }
    for (int c = 1; c <= 8; ++c) stopChannel(c);
    return since(start);
}

// The player driving the same device in process, frames thrown away: seconds.
double playerInProcess(const String& songText) {
    auto start = Clock::now();
    gxtkAudio device(AudioLoopback{}, kRenderHertz);
    c_tamoPlay player;
    player.takeSongText(songText);
    player.reloadSamples();
    playOnceThrough(player, device, [](const int16_t*, int) { return true; }, 1 << 30);
    return since(start);
}

struct ProgramRun {
    double wall = 0;       // seconds, process start to exit
    double ownLoop = 0;    // seconds the program reports for its play-and-write loop
};

// Runs a shell command line and times it from outside; stops the benchmark on failure.
ProgramRun runProgram(const std::string& command) {
    ProgramRun run;
    auto start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) std::exit(1);
    char line[1024] = {0};
    std::string out;
    while (std::fgets(line, sizeof line, pipe)) out += line;
    int status = pclose(pipe);
    run.wall = since(start);
    if (status != 0) {
        std::fprintf(stderr, "failed: %s\n%s\n", command.c_str(), out.c_str());
        std::exit(1);
    }
    size_t in = out.find(" s of audio in ");
    if (in != std::string::npos) run.ownLoop = std::atof(out.c_str() + in + 15);
    return run;
}

ProgramRun runTamoRender(const std::string& song, const std::string& out) {
    std::remove(out.c_str());
    return runProgram(std::string("'") + TAMO_RENDER_PROGRAM + "' '" + song + "' '" + out + "'");
}

std::string selfPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) std::exit(1);
    return std::string(path, size_t(n));
}

bool saveTicks(const std::string& path, const std::vector<TickValues>& ticks) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(ticks.data(), sizeof(TickValues), ticks.size(), f) == ticks.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<TickValues> loadTicks(const std::string& path) {
    std::vector<TickValues> ticks;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return ticks;
    TickValues t;
    while (std::fread(&t, sizeof t, 1, f) == 1) ticks.push_back(t);
    std::fclose(f);
    return ticks;
}

double best(std::vector<double> v) { return *std::max_element(v.begin(), v.end()); }
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

// tamo-bench-render [rounds]          runs the comparison (7 rounds by default)
// tamo-bench-render --song FILE        only writes the benchmark song (for profiling)
// tamo-bench-render --bare-mix TICKS   one bare mix in its own process (run by the comparison)
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--song") {
        FILE* f = std::fopen(argv[2], "wb");
        std::string bytes = encodeUtf8(writeSong(benchSong()));
        bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f) ok = std::fclose(f) == 0 && ok;
        return ok ? 0 : 1;
    }
    if (argc == 3 && std::string(argv[1]) == "--bare-mix") {
        VXGlfwGame host;
        host.setDataRoot(widen(TAMO_SOURCE_DIR));
        std::vector<TickValues> ticks = loadTicks(argv[2]);
        if (ticks.empty()) return 1;
        bareMix(ticks);
        return 0;
    }
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    char folder[] = "/tmp/tamo-bench-render-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string songPath = std::string(folder) + "/bench.tam";
    const std::string wavPath = std::string(folder) + "/bench.wav";
    const std::string flacPath = std::string(folder) + "/bench.flac";
    const std::string oggPath = std::string(folder) + "/bench.ogg";
    const std::string tickPath = std::string(folder) + "/bench.ticks";
    const String text = writeSong(benchSong());
    {
        FILE* f = std::fopen(songPath.c_str(), "wb");
        std::string bytes = encodeUtf8(text);
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
        std::fclose(f);
    }

    VXGlfwGame host;
    host.setDataRoot(widen(TAMO_SOURCE_DIR));
    std::vector<TickValues> ticks;
    {
        gxtkAudio device(AudioLoopback{}, kRenderHertz);
        ticks = recordTicks(text, device);
    }
    if (!saveTicks(tickPath, ticks)) return 1;
    const double audio = ticks.size() / 50.0;
    std::printf("song: 4 channels, 32 patterns, 1024 rows at speed 4: %zu ticks, %.2f s of audio\n",
                ticks.size(), audio);

    // The same program writing into memory (/dev/shm) shows what the disk adds.
    const bool haveShm = access("/dev/shm", W_OK) == 0;
    const std::string shmWav = "/dev/shm/" + std::string(folder + 5) + ".wav";
    const std::string bareCommand = "'" + selfPath() + "' --bare-mix '" + tickPath + "'";
    std::vector<double> bare, whole, loop, shm, flac, ogg, bareWarm, playerWarm;
    for (int r = 0; r < rounds; ++r) {
        bare.push_back(audio / runProgram(bareCommand).wall);
        ProgramRun run = runTamoRender(songPath, wavPath);
        whole.push_back(audio / run.wall);
        if (run.ownLoop > 0) loop.push_back(audio / run.ownLoop);
        if (haveShm) shm.push_back(audio / runTamoRender(songPath, shmWav).wall);
        flac.push_back(audio / runTamoRender(songPath, flacPath).wall);
        ogg.push_back(audio / runTamoRender(songPath, oggPath).wall);
        bareWarm.push_back(audio / bareMix(ticks));
        playerWarm.push_back(audio / playerInProcess(text));
    }
    if (haveShm) std::remove(shmWav.c_str());
    for (const std::string& out : {wavPath, flacPath, oggPath}) std::remove(out.c_str());
    std::remove(tickPath.c_str());
    std::remove(songPath.c_str());
    rmdir(folder);

    auto row = [](const char* what, const std::vector<double>& v) {
        std::printf("  %-52s %6.0f %8.0f\n", what, best(v), median(v));
    };
    std::printf("seconds of audio per second of wall time, %d rounds:           best   median\n",
                rounds);
    std::printf("each in its own process (start, device, samples, everything):\n");
    row("bare loopback mix, 8 looping sources", bare);
    row("tamo-render, WAV in the temp folder", whole);
    if (!shm.empty()) row("tamo-render, WAV in /dev/shm", shm);
    if (!loop.empty()) row("tamo-render, its own timing of play and write", loop);
    row("tamo-render, FLAC in the temp folder", flac);
    row("tamo-render, OGG in the temp folder", ogg);
    std::printf("in this process, device and samples warm:\n");
    row("bare loopback mix, 8 looping sources", bareWarm);
    row("the player on the same device, frames dropped", playerWarm);
    std::printf("ratio to the bare mix (medians): tamo-render WAV %.2f (goal >= 0.92)",
                median(whole) / median(bare));
    if (!shm.empty()) std::printf(" (in memory %.2f)", median(shm) / median(bare));
    std::printf(", FLAC %.2f, OGG %.2f", median(flac) / median(bare), median(ogg) / median(bare));
    std::printf(", the player alone %.2f\n", median(playerWarm) / median(bareWarm));
    return 0;
}
