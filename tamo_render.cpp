// tamo-render SONGFILE OUT.wav: the song export. Plays a song file once through from
// position 0 with the player and the audio channels of the tracker, on the loopback
// device (44100 Hz, 16-bit stereo, 882 frames per 50 Hz tick), and writes the sound as
// a WAV file. The sound starts on the tick that reads the first row and ends where
// playback returns to position 0, so a looping song gives a seamless loop.
//
// The song file is taken as given on the command line (not from "songs/"); the eight
// wave samples come from the data folder beside this program. The WAV is written to
// a temporary file beside OUT and renamed when complete, so a failed render leaves
// nothing behind, and the song file itself is never written.
//
// Sections: [messages] [reading the song] [the WAV file] [main]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/wav.h"
#include "host/datapath.h"
#include "host/game.h"
#include "tracker/player.h"

namespace {

constexpr int kMaxTicks = 60 * 60 * 50;   // one hour: a song that never loops back stops here

// ---- [messages] ----

int fail(const std::string& message) {
    std::fprintf(stderr, "tamo-render: %s\n", message.c_str());
    return 1;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// ---- [reading the song] ----

// Reads and decodes the song file into `player`; an empty string on success, else why not.
std::string readSongFile(const std::string& path, c_tamoPlay& player) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return "cannot read " + quoted(path) + ": " + std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "cannot read " + quoted(path) + ": it is a folder";
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "cannot read " + quoted(path) + ": " + std::strerror(errno);
    std::vector<uint8_t> bytes = readAll(file);
    bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) return "cannot read " + quoted(path) + ": read error";
    String text = decodeText(bytes.data(), bytes.size());
    if (text.size() < 4 || text.compare(0, 4, U"TAM1") != 0)
        return quoted(path) + " is not a song file (it does not start with TAM1)";
    if (!player.takeSongText(text))
        return quoted(path) + " is not a complete song file (truncated or damaged)";
    return std::string();
}

// True when both paths name the same existing file (also through links).
bool sameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// ---- [the WAV file] ----

// Writes blocks of sample data to a file on a second thread, so the kernel's copying
// of the file data runs beside the mixing of the next block instead of after it.
// Only the writer thread touches the file between start() and stop().
class BlockWriter {
public:
    static constexpr size_t kBlock = 256 * 1024;   // bytes handed over at a time
    static constexpr size_t kPending = 8;          // full blocks that may wait

    void start(FILE* file) {
        file_ = file;
        current_.reserve(kBlock);
        thread_ = std::thread([this] { run(); });
    }

    // Main thread: queues `size` bytes; false once a write has failed.
    bool append(const void* data, size_t size) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        while (size > 0) {
            size_t n = std::min(size, kBlock - current_.size());
            current_.insert(current_.end(), bytes, bytes + n);
            bytes += n;
            size -= n;
            if (current_.size() == kBlock && !handOver()) return false;
        }
        return true;
    }

    // Main thread: writes what is left and waits for the thread; false if any write
    // failed (errno then tells why).
    bool stop() {
        if (!thread_.joinable()) return !failed_;
        if (!current_.empty()) handOver();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
        if (failed_) errno = error_;
        return !failed_;
    }

    int error() const { return failed_ ? error_ : 0; }   // errno of the failed write

    ~BlockWriter() { stop(); }

private:
    bool handOver() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < kPending || failed_; });
        if (failed_) return false;
        queue_.push_back(std::move(current_));
        if (!spare_.empty()) {
            current_ = std::move(spare_.back());
            spare_.pop_back();
        } else {
            current_ = std::vector<uint8_t>();
            current_.reserve(kBlock);
        }
        current_.clear();
        changed_.notify_all();
        return true;
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
            if (queue_.empty()) return;
            std::vector<uint8_t> block = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            bool ok = std::fwrite(block.data(), 1, block.size(), file_) == block.size();
            int error = errno;
            lock.lock();
            if (!ok && !failed_) {
                failed_ = true;
                error_ = error;
            }
            spare_.push_back(std::move(block));
            changed_.notify_all();
        }
    }

    FILE* file_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queue_;   // full blocks, oldest first
    std::vector<std::vector<uint8_t>> spare_;  // written blocks, reused
    std::vector<uint8_t> current_;             // the block being filled
    bool closing_ = false;
    bool failed_ = false;
    int error_ = 0;
};

// A 16-bit stereo WAV written to a temporary file and renamed into place by finish().
class WavWriter {
public:
    explicit WavWriter(const std::string& target) : target_(target) {}
    ~WavWriter() { abandon(); }

    bool open() {
        std::vector<char> name(target_.begin(), target_.end());
        const char suffix[] = ".partial-XXXXXX";
        name.insert(name.end(), suffix, suffix + sizeof suffix);
        int fd = mkstemp(name.data());
        if (fd < 0) return false;
        temp_ = name.data();
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        file_ = fdopen(fd, "wb");
        if (!file_) {
            close(fd);
            return false;
        }
        if (!writeHeader(0)) return false;
        blocks_.start(file_);
        return true;
    }

    bool write(const int16_t* frames, int count) {
        const size_t size = size_t(count) * 4;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        const void* data = frames;   // already the file's byte order
#else
        bytes.resize(size);
        for (int i = 0; i < count * 2; ++i) {
            uint16_t s = uint16_t(frames[i]);
            bytes[2 * i] = uint8_t(s & 0xff);
            bytes[2 * i + 1] = uint8_t(s >> 8);
        }
        const void* data = bytes.data();
#endif
        if (!blocks_.append(data, size)) return false;
        dataBytes_ += uint32_t(size);
        return true;
    }

    // Completes the header and moves the file into place.
    bool finish() {
        bool ok = blocks_.stop() && std::fseek(file_, 0, SEEK_SET) == 0 && writeHeader(dataBytes_) &&
                  std::fflush(file_) == 0;
        ok = (std::fclose(file_) == 0) && ok;
        file_ = nullptr;
        if (ok) ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
        if (ok) temp_.clear();
        return ok;
    }

    int writeError() const { return blocks_.error(); }

    void abandon() {
        blocks_.stop();
        if (file_) std::fclose(file_);
        file_ = nullptr;
        if (!temp_.empty()) unlink(temp_.c_str());
        temp_.clear();
    }

private:
    bool writeHeader(uint32_t dataBytes) {
        std::vector<uint8_t> h = wavHeader(2, kRenderHertz, 16, dataBytes);
        return std::fwrite(h.data(), 1, h.size(), file_) == h.size();
    }

    std::string target_;
    std::string temp_;
    FILE* file_ = nullptr;
    uint32_t dataBytes_ = 0;
    BlockWriter blocks_;
    std::vector<uint8_t> bytes;   // one tick's frames in little-endian order (big-endian hosts)
};

}  // namespace

// ---- [main] ----

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamo-render SONGFILE OUT.wav\n");
        return 2;
    }
    // A file size limit then fails the write (and the WAV is removed) instead of
    // killing the program with the partial file left behind.
    signal(SIGXFSZ, SIG_IGN);
    const std::string songPath = argv[1];
    const std::string outPath = argv[2];
    if (sameFile(songPath, outPath))
        return fail("will not write the WAV over the song file " + quoted(songPath));

    // The WAV replaces OUT by a rename, which must never swap out a device or a folder.
    struct stat target;
    if (stat(outPath.c_str(), &target) == 0 && !S_ISREG(target.st_mode))
        return fail(quoted(outPath) + " exists and is not a regular file");

    c_tamoPlay player;
    std::string problem = readSongFile(songPath, player);
    if (!problem.empty()) return fail(problem);

    VXGlfwGame host;   // data paths: the folder "data" beside this program
    gxtkAudio device(AudioLoopback{}, kRenderHertz);
    if (!device.isOpen()) return fail("cannot open the loopback audio device");
    player.reloadSamples();
    for (int i = 0; i < kWaveSamples; ++i)
        if (!player.waveSamples[i])
            return fail("missing wave sample " + narrow(kWaveFiles[i]) + " in " +
                        narrow(executableFolder()) + "/data");

    WavWriter wav(outPath);
    if (!wav.open())
        return fail("cannot create " + quoted(outPath) + ": " + std::strerror(errno));
    auto start = std::chrono::steady_clock::now();
    RenderSummary done = playOnceThrough(
        player, device, [&](const int16_t* frames, int count) { return wav.write(frames, count); },
        kMaxTicks);
    if (done.ticks == 0)
        return fail(quoted(songPath) + " reads no row within an hour (speed " +
                    std::to_string(double(player.speed)) + ")");
    if (done.sinkFailed || !wav.finish()) {
        int error = wav.writeError() ? wav.writeError() : errno;
        wav.abandon();
        return fail("cannot write " + quoted(outPath) + ": " + std::strerror(error));
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    int positions = player.song.songLength / kRowsPerPattern;
    std::printf("tamo-render: %s: %d position%s at speed %g, %d rows, %.2f s of audio in %.3f s "
                "(%.0fx real time)%s -> %s\n",
                songPath.c_str(), positions, positions == 1 ? "" : "s", double(player.speed),
                done.rows, done.seconds(), wall, wall > 0 ? done.seconds() / wall : 0.0,
                done.looped ? "" : " (stopped at the one hour limit)", outPath.c_str());
    return 0;
}
