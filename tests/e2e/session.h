#pragma once
// A real tracker on the test's private X server, driven only from outside: the test
// lays out a private copy of build/tamo and its data folder in a temporary folder,
// starts it with OpenAL Soft's wave writer as its sound output, moves the pointer,
// clicks and types with xdotool, reads the window back with xwd and finally asks the
// window to close as a window manager would.
//
//   window coordinates: pixels of the client area (640 x 475 at 1x), origin top-left
//   settings:           the program's settings folder (XDG_CONFIG_HOME) is private to
//                       the session: "config" in its folder
//   screenshot:         RGB bytes of the whole client area
//   sound:              what the program played, as the wave writer recorded it
#include <cstdint>
#include <string>
#include <vector>

#include "support/xvfb.h"

struct Rgb {
    int r = 0, g = 0, b = 0;
};

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;       // width * height * 3
    Rgb at(int x, int y) const;
    bool ok() const { return width > 0 && height > 0; }
};

// True when the pixel is within `tolerance` of `want` in every component.
bool near(Rgb got, Rgb want, int tolerance = 3);

// The glyphs of the program's font strip (11 x 12 cells for codes 32..127), to check
// that a text stands at a place on the screen.
class FontCells {
public:
    explicit FontCells(const std::string& pngPath);
    bool ok() const { return width_ > 0; }
    // Empty when `text` is drawn at (x, y) in `colour`; otherwise which characters
    // differ. Spaces are not checked; rows outside the window and above `fromY` (where
    // something is painted over the text) are skipped.
    std::string check(const Screenshot& shot, int x, int y, const std::string& text,
                      Rgb colour, int fromY = 0) const;

private:
    bool lit(int code, int gx, int gy) const;
    std::vector<uint8_t> alpha_;    // one byte per pixel of the strip
    int width_ = 0, height_ = 0;
};

struct Sound {
    int hertz = 0;
    std::vector<float> mono;        // -1..1, channels averaged
};
// Reads a RIFF WAVE file of 16-bit or float samples; a header whose sizes were never
// filled in (the writer still running or ended without closing) reads to the file end.
Sound readWave(const std::string& path);

class TamoSession {
public:
    // Lays out the program, its data folder (with only the listed demo songs in
    // "songs") and a sound configuration in `dir`.
    TamoSession(const TempDir& dir, const std::vector<std::string>& demoSongs = {});
    ~TamoSession();

    // Starts the program and waits until its window shows the tracker's background;
    // after a close it starts again on the same folder (the songs stay).
    bool start();
    const std::string& error() const { return error_; }
    // Instead of the private copy: another program (an installed launcher) and the
    // arguments it gets, given before start.
    void useProgram(const std::string& program, const std::vector<std::string>& arguments = {}) {
        program_ = program, arguments_ = arguments;
    }
    // A home folder of the program's own (XDG_DATA_HOME unset, so the user's data
    // folder is in it), and, when the tests run as root, the unprivileged user
    // "nobody" (uid and gid 65534) to run as; given before start.
    void useHome(const std::string& home) { home_ = home; }
    // The X server the program and the input go to (the shared one unless told),
    // given before start.
    void useDisplay(const std::string& display) { display_ = display; }

    void click(int x, int y, int button = 1);   // at window coordinates; 1 left, 3 right
    void moveTo(int x, int y);              // the pointer, no button
    void drag(int x0, int y0, int x1, int y1);  // left button held from one point to another
    void key(const std::string& keysym);    // e.g. "F1", "Return", "Right"
    void type(const std::string& text);     // one character at a time, 80 ms apart
    void wait(int milliseconds);
    // Types a song name into the file name box and confirms it with Enter.
    void enterName(const std::string& name);
    Screenshot screenshot();

    // Sends the window manager's delete message and waits for the end: the exit
    // status (negative: -128 - signal), or -1000 when the program had to be killed.
    int close();
    void requestClose();                    // the delete message only; no waiting
    void killAtOnce();                      // SIGKILL, as a crash or power cut would end it
    void focus();                           // keys and typing go to this window
    bool running();
    // Makes this session's songs folder the other session's (before either starts):
    // two programs on one songs folder.
    void shareSongsOf(const TamoSession& other);

    std::string songsFolder() const { return dir_ + "/data/songs"; }
    std::string wavePath() const { return dir_ + "/sound.wav"; }
    std::string fontPath() const { return dir_ + "/data/glimfont.png"; }
    std::string dataFolder() const { return dir_ + "/data"; }
    std::string configFolder() const { return dir_ + "/config"; }
    std::string settingsPath() const { return configFolder() + "/tamo-tracker/settings"; }
    std::string log() const;                // what the program printed, both streams
    std::string errors() const;             // what it printed on standard error

private:
    bool xdotool(const std::string& args, std::string* out = nullptr);
    std::string dir_;
    std::string display_;           // e.g. ":5"; empty: the shared server
    std::string window_;
    int width_ = 640, height_ = 475;  // the window's size, found at start
    std::string error_;
    std::string program_;           // empty: the private copy
    std::vector<std::string> arguments_;
    std::string home_;              // empty: the tests' own
    int pid_ = -1;
    int exitStatus_ = -1000;        // once the program has ended
};

// Places on the screen (window pixels) that tests click.
inline const int kNameBox[2] = {100, 450};
inline const int kLoadButton[2] = {414, 450};
inline const int kSaveButton[2] = {468, 450};
inline const int kEditButton[2] = {543, 346};

// Colours of the screen.
inline const Rgb kBackground{86, 60, 106};
inline const Rgb kText{148, 144, 164};
inline const Rgb kStatusText{172, 37, 104};
inline const Rgb kStatusBar{38, 38, 38};
inline const Rgb kBlack{0, 0, 0};
