// tamo-latency: how long a note key takes to be heard.
//
//   tamo-latency period DATA_DIR
//       opens the output device as the tracker does (its own short period unless the
//       user's configuration sets one) and prints the period read back from the
//       device: "<frames> <hertz>"
//   tamo-latency wake DATA_DIR
//       how long the call that starts a sample takes when it wakes a resting output
//       device, beside the same call on an awake one (OpenAL Soft's null output)
//   tamo-latency measure PRESSES GAP_MS PERIOD WAVE_FILE PROGRAM [ARGS...]
//       starts PROGRAM on $DISPLAY with OpenAL Soft's wave writer as its output (the
//       caller's configuration names WAVE_FILE, 16-bit stereo), presses the note key
//       q PRESSES times in Standby through the X server's test extension, the first
//       1.5 s after its window appeared, then at random moments GAP_MS to 1.5 x GAP_MS
//       apart (400: 400 to 600 ms), and prints the median, least and most time from
//       a press to the moment OpenAL Soft mixed the first sample of its note, in ms,
//       and how many presses gave a note that started from silence (those count)
//
// How the wave writer paces time: from each start of its mixer (the device's open, and
// any later restart of its mixer) it mixes one period of PERIOD frames
// whenever the time since that start has passed the end of the period, and writes it
// at once. So frame n of a run is mixed at about its start + n / rate, rounded up to
// its period's end. A run's start is found by watching the file grow: every look at
// its size gives a time by which that many frames were mixed, and the earliest of
// those, less the run's frames over the rate, is the start; a look far later than the
// run's clock allows begins a new run (the mixer was stopped meanwhile). A note started
// between two mixes begins at the next period.
#include <X11/extensions/XTest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../xwindow.h"
#include "audio/audio.h"
#include "audio/output_config.h"
#include "host/text.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// Watches the wave file grow: the runs of the mixer, each with the earliest start its
// sizes allow.
struct WaveClock {
    struct Run {
        long firstFrame = 0;         // frames in the file when it began
        double start = 1e300;        // seconds on our clock of its first frame
    };
    std::string path;
    int rate = 44100;
    int frameBytes = 4;
    long header = 0;                 // bytes before the samples, once known
    std::vector<Run> runs;
    long frames = 0;                 // in the file at the last look

    void look() {
        struct stat st;
        double t = seconds();
        if (stat(path.c_str(), &st) != 0 || st.st_size < 64) return;
        if (header == 0) header = dataOffset();
        if (header <= 0 || st.st_size <= header) return;
        long now = long((st.st_size - header) / frameBytes);
        // A run's looks lag its clock by a period and the scheduler's delays at most;
        // far more means the mixer rested and started again with these frames.
        if (runs.empty() ||
            (now > frames && t - double(now - runs.back().firstFrame) / rate > runs.back().start + 0.1))
            runs.push_back(Run{frames, 1e300});
        frames = now;
        Run& run = runs.back();
        run.start = std::min(run.start, t - double(now - run.firstFrame) / rate);
    }
    // When frame `f`'s period was mixed, on our clock.
    double mixedAt(long f, int period) const {
        const Run* run = &runs.front();
        for (const Run& r : runs)
            if (r.firstFrame <= f) run = &r;
        long end = ((f - run->firstFrame) / period + 1) * period;
        return run->start + double(end) / rate;
    }
    long dataOffset() const {
        std::ifstream f(path, std::ios::binary);
        std::vector<char> head(256);
        f.read(head.data(), long(head.size()));
        for (long i = 12; i + 8 <= long(f.gcount()); ++i)
            if (std::memcmp(&head[size_t(i)], "data", 4) == 0) return i + 8;
        return -1;
    }
    // Waits `s` seconds while looking at the file every half millisecond.
    void wait(double s) {
        double end = seconds() + s;
        while (seconds() < end) {
            look();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
};

std::vector<int16_t> leftChannel(const WaveClock& clock) {
    std::ifstream f(clock.path, std::ios::binary);
    f.seekg(clock.header);
    std::vector<int16_t> left;
    int16_t frame[2];
    while (f.read(reinterpret_cast<char*>(frame), sizeof frame)) left.push_back(frame[0]);
    return left;
}

int periodMode(const char* dataDir) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    chooseOutputConfig(std::string(dataDir) + "/alsoft.conf");
    gxtkAudio device;
    std::printf("%d %d\n", device.periodFrames(), device.outputHertz());
    return device.isOpen() ? 0 : 1;
}

// A resting output device wakes inside the call that starts a sample: times that call
// on a resting device and on an awake one (OpenAL Soft's null output, the tracker's
// own period) and prints the medians in ms: "<resting> <awake> <rounds>". The woken
// mixer renders its first period at once, so the difference is what a rest adds.
int wakeMode(const char* dataDir, int rounds) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    chooseOutputConfig(std::string(dataDir) + "/alsoft.conf");
    gxtkAudio device;
    auto sample = device.loadSample(widen(std::string(dataDir) + "/wav/ramp_64.wav"));
    if (!device.isOpen() || !sample) return 1;
    auto timedStart = [&] {
        double t = seconds();
        device.playSample(sample, 1, 0);
        return (seconds() - t) * 1000;
    };
    std::vector<double> resting, awake;
    for (int i = 0; i < rounds; ++i) {
        device.stopChannel(1);
        for (int k = 0; k < gxtkAudio::kQuietCalls && !device.resting(); ++k) device.rest();
        if (!device.resting()) return 1;
        resting.push_back(timedStart());
        device.stopChannel(1);
        awake.push_back(timedStart());
    }
    std::sort(resting.begin(), resting.end());
    std::sort(awake.begin(), awake.end());
    std::printf("%.2f %.2f %d\n", resting[resting.size() / 2], awake[awake.size() / 2], rounds);
    return 0;
}

int measureMode(int presses, int gapMs, int period, const char* wave, char** program) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) { std::fprintf(stderr, "tamo-latency: no display\n"); return 2; }
    std::remove(wave);
    pid_t child = fork();
    if (child == 0) {
        execv(program[0], program);
        _exit(127);
    }
    WaveClock clock;
    clock.path = wave;
    Window w = 0;
    for (int i = 0; i < 1000 && !w; ++i) {
        w = findWindow(d, child);
        clock.wait(0.01);
    }
    if (!w) { std::fprintf(stderr, "tamo-latency: no window\n"); kill(child, SIGKILL); return 1; }
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    clock.wait(1.5);   // start-up is not part of it

    KeyCode q = XKeysymToKeycode(d, XStringToKeysym("q"));
    std::mt19937 random(7);
    std::uniform_real_distribution<double> gap(gapMs / 1000.0, gapMs * 1.5 / 1000.0);
    std::vector<double> pressed;
    std::vector<long> framesAtPress;   // in the file when the key went down
    for (int i = 0; i < presses; ++i) {
        if (i > 0) clock.wait(gap(random));
        clock.look();
        XTestFakeKeyEvent(d, q, True, 0);
        XSync(d, False);
        pressed.push_back(seconds());
        framesAtPress.push_back(clock.frames);
        clock.wait(0.05);
        XTestFakeKeyEvent(d, q, False, 0);
        XSync(d, False);
    }
    clock.wait(0.5);
    askToClose(d, w);
    int status = 0;
    waitpid(child, &status, 0);

    std::vector<int16_t> left = leftChannel(clock);
    std::vector<double> ms;
    const long quiet = clock.rate / 100;   // 10 ms of silence before the search
    for (size_t k = 0; k < pressed.size() && !clock.runs.empty(); ++k) {
        // Its note can only be in a period mixed after the press, and it must start
        // from silence (a note still sounding from the press before does not count).
        long from = std::min(framesAtPress[k], long(left.size()));
        long to = k + 1 < pressed.size() ? framesAtPress[k + 1] : long(left.size());
        to = std::min(to, long(left.size()));
        long i = std::max(0L, from - quiet);
        while (i < to && std::abs(left[size_t(i)]) < 256) ++i;
        if (i >= to || i < from) continue;
        ms.push_back((clock.mixedAt(i, period) - pressed[k]) * 1000);
    }
    if (ms.empty()) { std::fprintf(stderr, "tamo-latency: no note heard\n"); return 1; }
    std::sort(ms.begin(), ms.end());
    std::printf("%.1f %.1f %.1f %zu\n", ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "period") return periodMode(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "wake") return wakeMode(argv[2], 41);
    if (argc >= 7 && std::string(argv[1]) == "measure")
        return measureMode(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argv[5],
                           argv + 6);
    std::fprintf(stderr,
                 "usage: tamo-latency period DATA_DIR\n"
                 "       tamo-latency wake DATA_DIR\n"
                 "       tamo-latency measure PRESSES GAP_MS PERIOD WAVE_FILE PROGRAM [ARGS...]\n");
    return 2;
}
