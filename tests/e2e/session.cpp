// The outside driver of the real program: layout of the private copy, the process,
// xdotool input, xwd screenshots, the close message, font cells and WAV reading.
#include "session.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "host/decode/image.h"
#include "support/files.h"

namespace fs = std::filesystem;

#ifndef TAMO_SOURCE_DIR
#define TAMO_SOURCE_DIR "."
#endif
#ifndef TAMO_BINARY_DIR
#define TAMO_BINARY_DIR "."
#endif

// ---- Pixels ----

Rgb Screenshot::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
    const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
}

bool near(Rgb got, Rgb want, int tolerance) {
    return std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
           std::abs(got.b - want.b) <= tolerance;
}

static uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// An XWD dump (as written by xwd) of a 24- or 32-bit TrueColor window.
static Screenshot parseXwd(const std::string& bytes) {
    Screenshot shot;
    if (bytes.size() < 100) return shot;
    const uint8_t* h = reinterpret_cast<const uint8_t*>(bytes.data());
    uint32_t headerSize = be32(h), width = be32(h + 16), height = be32(h + 20);
    uint32_t byteOrder = be32(h + 28), bitsPerPixel = be32(h + 44), bytesPerLine = be32(h + 48);
    uint32_t masks[3] = {be32(h + 56), be32(h + 60), be32(h + 64)};
    uint32_t colours = be32(h + 76);
    size_t offset = size_t(headerSize) + size_t(colours) * 12;
    if ((bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0 || height == 0 ||
        offset + size_t(bytesPerLine) * height > bytes.size())
        return shot;
    shot.width = int(width);
    shot.height = int(height);
    shot.rgb.resize(size_t(width) * height * 3);
    int bpp = int(bitsPerPixel / 8);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = h + offset + size_t(y) * bytesPerLine + size_t(x) * bpp;
            uint32_t v = 0;
            for (int i = 0; i < bpp; ++i)
                v |= uint32_t(p[i]) << (byteOrder == 0 ? 8 * i : 8 * (bpp - 1 - i));
            for (int c = 0; c < 3; ++c) {
                uint32_t m = masks[c];
                int shift = 0;
                while (m && !(m & 1)) m >>= 1, ++shift;
                shot.rgb[(size_t(y) * width + x) * 3 + c] = uint8_t((v >> shift) & 255);
            }
        }
    return shot;
}

// ---- Font cells ----

FontCells::FontCells(const std::string& pngPath) {
    std::ifstream in(pngPath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto pixels = decodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!pixels || pixels->width < 96 * 11 || pixels->height < 12) return;
    width_ = pixels->width;
    height_ = pixels->height;
    alpha_.resize(size_t(width_) * height_);
    int d = pixels->depth;
    for (size_t i = 0; i < alpha_.size(); ++i) {
        const uint8_t* p = &pixels->data[i * d];
        // Glyphs are white with alpha; a picture without alpha counts its brightness.
        alpha_[i] = (d == 4) ? p[3] : (d == 2) ? p[1] : p[0];
    }
}

bool FontCells::lit(int code, int gx, int gy) const {
    int x = (code - 32) * 11 + gx;
    return alpha_[size_t(gy) * width_ + x] >= 128;
}

std::string FontCells::check(const Screenshot& shot, int x, int y, const std::string& text,
                             Rgb colour, int fromY) const {
    std::ostringstream wrong;
    for (size_t i = 0; i < text.size(); ++i) {
        int code = (unsigned char)text[i];
        if (code == ' ' || code < 32 || code > 127) continue;
        int bad = 0, litCount = 0, checked = 0;
        for (int gy = 0; gy < 12; ++gy)
            for (int gx = 0; gx < 11; ++gx) {
                int sx = x + int(i) * 11 + gx, sy = y + gy;
                if (sx < 0 || sy < fromY || sx >= shot.width || sy >= shot.height) continue;
                bool on = lit(code, gx, gy);
                litCount += on;
                ++checked;
                if (on != near(shot.at(sx, sy), colour, 12)) ++bad;
            }
        // A glyph's edge may be blended; a wrong character differs in many pixels.
        if (checked == 0 || bad > 3 || litCount == 0)
            wrong << "'" << text[i] << "' at x " << x + int(i) * 11 << " (" << bad
                  << " pixels differ); ";
    }
    return wrong.str();
}

// ---- Sound files ----

Sound readWave(const std::string& path) {
    Sound sound;
    std::ifstream in(path, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0)
        return sound;
    auto le16 = [&](size_t o) { return int(uint8_t(b[o])) | int(uint8_t(b[o + 1])) << 8; };
    auto le32 = [&](size_t o) { return uint32_t(le16(o)) | uint32_t(le16(o + 2)) << 16; };
    int format = 0, channels = 0, bits = 0;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        std::string id = b.substr(at, 4);
        uint32_t size = le32(at + 4);
        size_t body = at + 8;
        if (id == "fmt " && body + 16 <= b.size()) {
            format = le16(body);
            channels = le16(body + 2);
            sound.hertz = int(le32(body + 4));
            bits = le16(body + 14);
            if (format == 0xFFFE && body + 26 <= b.size()) format = le16(body + 24);
        } else if (id == "data") {
            size_t end = (size == 0 || size == 0xFFFFFFFFu || body + size > b.size())
                             ? b.size() : body + size;
            int bytes = bits / 8;
            if (channels <= 0 || bytes <= 0) return sound;
            size_t frame = size_t(bytes) * channels;
            for (size_t f = body; f + frame <= end; f += frame) {
                float sum = 0;
                for (int c = 0; c < channels; ++c) {
                    size_t o = f + size_t(c) * bytes;
                    if (format == 3 && bits == 32) {
                        uint32_t v = le32(o);
                        float x;
                        std::memcpy(&x, &v, 4);
                        sum += x;
                    } else if (bits == 16) {
                        sum += float(int16_t(le16(o))) / 32768.0f;
                    } else if (bits == 8) {
                        sum += (float(uint8_t(b[o])) - 128.0f) / 128.0f;
                    }
                }
                sound.mono.push_back(sum / float(channels));
            }
            return sound;
        }
        at = body + size + (size & 1);
    }
    return sound;
}

// ---- The session ----

TamoSession::TamoSession(const TempDir& dir, const std::vector<std::string>& demoSongs)
    : dir_(dir.path()) {
    std::error_code ec;
    fs::copy_file(TAMO_BINARY_DIR "/tamo", dir_ + "/tamo", ec);
    fs::copy_file(TAMO_BINARY_DIR "/tamo-render", dir_ + "/tamo-render", ec);   // Ctrl+E runs it
    fs::copy(TAMO_SOURCE_DIR "/data", dir_ + "/data", fs::copy_options::recursive, ec);
    // Only the songs the test asks for: a test never sees a user's own songs.
    for (auto& entry : fs::directory_iterator(songsFolder(), ec)) fs::remove_all(entry.path(), ec);
    for (const auto& name : demoSongs)
        fs::copy_file(TAMO_SOURCE_DIR "/data/songs/" + name, songsFolder() + "/" + name, ec);
    std::ofstream conf(dir_ + "/alsoft.conf");
    conf << "[general]\ndrivers=wave\nfrequency=44100\nchannels=stereo\nsample-type=int16\n"
         << "[wave]\nfile=" << wavePath() << "\n";
}

TamoSession::~TamoSession() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool TamoSession::xdotool(const std::string& args, std::string* out) {
    std::string cmd = "DISPLAY=" + display_ + " xdotool " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return false;
    char buf[256];
    std::string text;
    while (fgets(buf, sizeof buf, p)) text += buf;
    int status = pclose(p);
    if (out) *out = text;
    return status == 0;
}

bool TamoSession::start() {
    if (display_.empty()) {
        if (!sharedXvfb().ok()) { error_ = "no X server"; return false; }
        display_ = sharedXvfb().display();
    }
    const std::string program = program_.empty() ? dir_ + "/tamo" : program_;
    if (!fs::exists(program)) { error_ = program + " is missing"; return false; }
    std::vector<char*> argv{const_cast<char*>("tamo")};
    for (const std::string& a : arguments_) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    window_.clear();   // a session may be started again after a close
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(dir_.c_str()) != 0) _exit(126);
        setenv("ALSOFT_CONF", (dir_ + "/alsoft.conf").c_str(), 1);
        setenv("DISPLAY", display_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", configFolder().c_str(), 1);
        unsetenv("ALSOFT_DRIVERS");      // CTest's null backend would win over the file
        int in = open("/dev/null", O_RDONLY);
        int out = open((dir_ + "/tamo.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open((dir_ + "/tamo.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!home_.empty()) {
            setenv("HOME", home_.c_str(), 1);
            unsetenv("XDG_DATA_HOME");
            if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(126);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!running()) { error_ = "the program ended at start: " + log(); return false; }
        std::string out;
        if (window_.empty() && xdotool("search --all --pid " + std::to_string(pid_) + " --name 'Tamo Tracker'", &out)) {
            std::istringstream ids(out);
            ids >> window_;
        }
        if (!window_.empty()) {
            Screenshot shot = screenshot();
            if (shot.ok() && near(shot.at(shot.width - 5, shot.height - 5), kBackground)) {
                width_ = shot.width;
                height_ = shot.height;
                focus();
                wait(100);
                return true;
            }
        }
        wait(100);
    }
    error_ = window_.empty() ? "no window appeared" : "the window never showed the tracker";
    return false;
}

void TamoSession::click(int x, int y, int button) {
    moveTo(x, y);
    xdotool("click " + std::to_string(button));
    wait(120);    // a few updates: the click is seen, the layout repainted
}

void TamoSession::moveTo(int x, int y) {
    xdotool("mousemove --window " + window_ + " " + std::to_string(x) + " " + std::to_string(y));
    wait(60);
}

void TamoSession::drag(int x0, int y0, int x1, int y1) {
    moveTo(x0, y0);
    xdotool("mousedown 1");
    wait(100);
    moveTo(x1, y1);
    wait(60);
    xdotool("mouseup 1");
    wait(120);
}

void TamoSession::key(const std::string& keysym) {
    xdotool("key " + keysym);
    wait(120);
}

void TamoSession::type(const std::string& text) {
    // One character per update is taken from the queue; 80 ms leaves four updates.
    for (char c : text) {
        std::string s(1, c);
        xdotool("type --delay 0 '" + s + "'");
        wait(80);
    }
    wait(100);
}

void TamoSession::enterName(const std::string& name) {
    click(kNameBox[0], kNameBox[1]);
    type(name);
    key("Return");
}

void TamoSession::wait(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Screenshot TamoSession::screenshot() {
    std::string cmd = "DISPLAY=" + display_ + " xwd -silent -id " + window_ + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) bytes.append(buf, n);
    pclose(p);
    return parseXwd(bytes);
}

bool TamoSession::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -128 - WTERMSIG(status);
    return false;
}

// The delete message a window manager sends when the user closes a window; libX11 is
// loaded at run time so the tests need no link-time X library.
static bool sendDeleteMessage(const std::string& display, unsigned long window) {
    void* x11 = dlopen("libX11.so.6", RTLD_NOW);
    if (!x11) return false;
    auto open = reinterpret_cast<Display* (*)(const char*)>(dlsym(x11, "XOpenDisplay"));
    auto atom = reinterpret_cast<Atom (*)(Display*, const char*, Bool)>(dlsym(x11, "XInternAtom"));
    auto send = reinterpret_cast<Status (*)(Display*, Window, Bool, long, XEvent*)>(
        dlsym(x11, "XSendEvent"));
    auto sync = reinterpret_cast<int (*)(Display*, Bool)>(dlsym(x11, "XSync"));
    auto closeDisplay = reinterpret_cast<int (*)(Display*)>(dlsym(x11, "XCloseDisplay"));
    if (!open || !atom || !send || !sync || !closeDisplay) return false;
    Display* d = open(display.c_str());
    if (!d) return false;
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = atom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(atom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    send(d, window, False, NoEventMask, &e);
    sync(d, False);
    closeDisplay(d);
    return true;
}

void TamoSession::requestClose() {
    if (pid_ > 0 && !window_.empty()) sendDeleteMessage(display_, std::stoul(window_));
}

void TamoSession::killAtOnce() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// Puts the pointer on the window: keys go where the pointer and focus are.
void TamoSession::focus() {
    xdotool("mousemove --window " + window_ + " " + std::to_string(width_ - 10) + " " +
            std::to_string(height_ - 5));
    xdotool("windowfocus --sync " + window_);
    wait(100);
}

void TamoSession::shareSongsOf(const TamoSession& other) {
    fs::remove_all(songsFolder());
    fs::create_directory_symlink(other.songsFolder(), songsFolder());
}

int TamoSession::close() {
    if (pid_ <= 0) return exitStatus_;
    requestClose();
    for (int i = 0; i < 100; ++i) {
        if (!running()) return exitStatus_;
        wait(50);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1000;
}

std::string TamoSession::log() const {
    return readFile(dir_ + "/tamo.log") + readFile(dir_ + "/tamo.err");
}

std::string TamoSession::errors() const {
    return readFile(dir_ + "/tamo.err");
}
