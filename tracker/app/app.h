#pragma once
// tracker/app/: the application's rooms: life cycle and transport, editor, blocks and
// undo, name entry with LOAD and SAVE, the song store, rescue copy, export, screen, and
// the layout of the screen they share.
//
// c_SoundEngine: the tracker application, the one application object of the host.
//
//   mode:      Editing, Playing, or Standby (initial)
//   frame:     one update (50 per second): the MIDI input read, toggles, transport, then in Standby and
//              Editing the editor input and the spinners, in Playing one player tick
//   view:      32 screen rows of the pattern at `currentPosition`, starting at `editRow`
//   cursor:    cursorColumn 1..8 (odd: note column, even: volume column of channel
//              (c+1)/2), cursorRow 1..32 (screen row)
//   opened:    a song file named on the command line is loaded at the start and saved
//              back to its path (songstore.h)
//   zoom:      the window shows the 640 x 475 layout at 1x, 2x, 3x... (Ctrl with + and -,
//              Ctrl+0); everything here stays in layout pixels
//   settings:  LAYOUT and the zoom are kept in the user's settings file (host/settings.h)
//   start:     PLAY/F2/F1 write the song to "songs/tmp.dat" and reload the player from
//              it; `followStep` then moves `editRow` one frame behind the player's rows
//   live play: Enter loops the pattern at `currentPosition`, Ctrl+Enter plays the song
//              on, both from the row under the cursor, the player reading the edited
//              song itself while the editor keeps working in Editing or Standby; the
//              view and the cursor stay where the user puts them (with FLW On the song
//              from the cursor moves the view to the position being heard), and a play
//              line marks the row heard while its position is in view
//   repaint:   the layout is repainted when more than two updates ran since the last
//              repaint (while playing only at a pattern start with follow on); the
//              level meters are drawn every frame. Drawing that would change no pixel
//              is skipped, and a layout repainted over a layout redraws only the
//              rectangle that changes; the first frame paints the whole layout
//   clicks:    the left button pressed in this update with the pointer strictly inside
//              one of the layout's rectangles (layout.h)
//   status:    what the status bar says, as a value; its text is made by the screen
//
// The application owns the edited song, the editor state, its font, images and
// samples, the song store, and the player (which keeps its own copy of the song). Its
// handlers are split by concern: app.cpp (life cycle, transport, spinners), editor.cpp
// (keys, note entry, the preview), midikeys.cpp (MIDI keys as notes), blocks.cpp (copy, paste, undo), entry.cpp (file name
// and description, LOAD and SAVE), songstore.cpp (where song files live), rescue.cpp
// (the rescue copy of unsaved work), export.cpp (Ctrl+E), screen.cpp (the render
// handler and every text the screen shows); layout.h names the screen's rectangles. The
// song model, its file format, the instrument voice, the player and the channel output
// are the floor below, in tracker/core/.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "framework/app.h"
#include "graphics/drawing.h"
#include "host/savefile.h"
#include "tracker/app/songstore.h"
#include "tracker/core/player.h"
#include "tracker/core/song.h"

class c_Image;
class Settings;

enum class Mode { Editing, Playing, Standby };
// What plays besides PLAY's Mode::Playing: nothing, the pattern at the cursor in a
// loop (Enter), or the song from the cursor on (Ctrl+Enter).
enum class LivePlay { Off, Loop, Song };
// How note keys are read: DE takes the typed characters, US swaps the keys labelled Y and
// Z, Any takes the keys by their places on the keyboard, as a German keyboard has them.
enum class KeyboardLayout { DE, US, Any };

// What the status bar says (its texts, in this order, are screen.cpp's).
enum class Status {
    Standby, Editing, Playing,             // the mode
    EnterName, FileSaved, SavingFailed,    // SAVE (and the hand-off at a start)
    NoBackupKept,                          // SAVE wrote the song but kept no backup
    FileLoaded, FileNotFound,              // LOAD
    SongNotKept,                           // a rescue copy could not be written
    LoadingFailed,                         // the player could not read the hand-off
    Exporting, WavSaved, ExportFailed,     // Ctrl+E
    Looping,                               // live play of one pattern
};

// The logo: five rows of the font's block glyph '[' spelling T A M O, letters three
// cells wide with one blank cell between them (drawn by screen.cpp, and made into the
// program's icon by tools/icons).
constexpr int kLogoHeight = 5;
extern const char32_t* const kLogoRows[kLogoHeight];
class c_Font;
class c_Sound;
struct EditorState;
struct ExportState;
struct MidiKeys;
class MidiInput;
struct UndoState;

class c_SoundEngine : public c_App {
public:
    // `startSong`: the absolute path of a song file to open at the start; empty: none.
    explicit c_SoundEngine(String startSong = String());
    ~c_SoundEngine() override;

    int handleCreate() override;
    int handleCreateSounds() override;
    int handleUpdate() override;
    int handleRender() override;

    // ---- Song and modes (app.cpp) ----
    Song song;                                // trackColumns, orderList, instruments, length, speed
    int currentPosition = 0;                  // song position under the cursor, 0..255
    int editRow = 0;                          // first visible row within the pattern
    int patternBase = 0;                      // orderList[currentPosition] * 32
    Mode mode = Mode::Standby;
    int currentInstrument = 1;                // 1..15
    int octave = 2;                           // octave digit written by note entry, 0..3
    std::array<float, kChannels> channelEnable{1.0f, 1.0f, 1.0f, 1.0f};  // 1.0 on, 0.0 muted
    bool follow = false;                      // the view follows playback
    KeyboardLayout keyboardLayout = KeyboardLayout::DE;
    Status status = Status::Standby;
    int repaintCounter = 0;                   // +1 per update, reset by a repaint
    float wheelDelta = 0;                     // wheel movement of this update
    int followCounter = 0;                    // frame counter of followStep

    std::array<std::shared_ptr<c_Sound>, kWaveSamples> waveSamples;  // editor's own copies
    std::shared_ptr<c_Font> font;
    std::shared_ptr<c_Image> buttonImage;     // "button1.png"
    std::shared_ptr<c_Image> navrowImage;     // "button_navrow.png"
    std::unique_ptr<c_tamoPlay> player;

    void reportMissingData() const;           // data files the set-up could not use, on stderr
    void followStep();                        // the editor's mirror of the player's row timing
    void switchEditing();                     // EDIT or Space
    void runTransport(bool fromStart);        // PLAY/F2 (fromStart false) or F1: start or stop
    void runSpinners();                       // the fifteen minus/plus settings with their clamps
    int buttonHeld = 0;                       // updates the left button has been held since
                                              // its press (a held spinner repeats)
    int soloChannel = 0;                      // channel 1..4 playing alone; 0: none
    std::array<float, kChannels> switchesBeforeSolo{};   // channelEnable before the solo
    void solo(int k);                         // right click on a switch or Ctrl+F5..F8

    // ---- Live play (app.cpp) ----
    LivePlay live = LivePlay::Off;
    int heardPosition = 0;                    // song position of the row being heard
    int heardRow = -1;                        // that row, 0..31; -1 before the first is read
    bool playing() const { return mode == Mode::Playing || live != LivePlay::Off; }
    // The row of the view the play line marks, 0..31; -1 for none.
    int playLine() const;
    void startLive(LivePlay what);            // from the row under the cursor
    void stopLive();                          // silences all channels; mode and view stay
    void liveTick();                          // one player tick over the edited song

    // ---- Settings kept between runs, and the zoom (app.cpp) ----
    std::unique_ptr<Settings> settings;       // the user's settings file; none: nothing is kept
    void loadSettings();                      // the remembered layout and zoom, at start
    void switchLayout();                      // LAYOUT: DE, US, ANY, DE...
    void zoomKeys();                          // Ctrl with + or -, Ctrl+0

    // ---- Editor (editor.cpp) ----
    int cursorColumn = 1;                     // 1..8
    int cursorRow = 1;                        // 1..32 (33 only inside one update)
    int cursorChannel() const { return (cursorColumn + 1) / 2; }   // 1..4
    void editorInput();                       // the editor input step, once per update
    std::unique_ptr<MidiKeys> midiKeys;       // the MIDI input and its waiting messages
    void useMidiInput(std::unique_ptr<MidiInput> input);   // before the first update

    // ---- Blocks and undo (blocks.cpp) ----
    int blockMarking = 0;                     // 1 while marking; the end follows the cursor
    int blockStart = 0;                       // marked start row - 1, 0..31
    int blockEnd = 0;                         // marked end row 1..32; 0 = no end
    int shiftRow = 1;                         // cursor row at the last Shift press: a tap marks from it
    bool shiftChord = false;                  // Ctrl came with the Shift held: its tap marks nothing
    void blockStep();
    void resetUndo();                         // the song becomes the history's only slot (start, load)
    void undoSnapshot();                      // after an editor change of the columns
    void undoStep();                          // UNDO, Ctrl+Z
    void redoStep();                          // Ctrl+Y
    void undoKeys();                          // Ctrl+Z and Ctrl+Y by their labels in the layout
    bool controlHeld = false;                 // Ctrl was down at the end of the last update
    bool control = false;                     // Ctrl counts for a chord in this update
    void readControl();                       // sets control and controlHeld, once per update

    // ---- File name and description entry (entry.cpp) ----
    String fileName;                          // at most 32 characters
    int nameEntryActive = 0;
    int descriptionEntryActive = 0;
    void textEntries();

    // ---- Song files (entry.cpp) ----
    SongStore songs;                          // the songs folder and its file names
    // EnterName, FileSaved, NoBackupKept or SavingFailed (also for the own names)
    Status saveSong(const String& name);
    bool saveHandOff();                       // the song to the hand-off for the player
    // FileLoaded, FileNotFound, or SongNotKept when the song about to be replaced
    // could not be kept (a repeat within 10 s loads anyway)
    Status loadSong();
    String startSong;                         // the file named on the command line; empty: none
    void openStartSong();                     // loads it, its name in the name box

    // ---- Rescue copy of unsaved work (rescue.cpp) ----
    uint64_t storedDigest = 0;                // songDigest of the song as last loaded or saved
    bool storePending = false;                // take storedDigest at the end of this update
    bool rescuePending = false;               // take rescuedDigest then (a rescue copy was loaded)
    std::optional<uint64_t> rescuedDigest;    // songDigest last kept in a rescue copy; none yet
    std::optional<FileStamp> rescueStamp;     // the rescue copy this window wrote last; none yet
    int rescueCounter = 0;                    // updates since the last periodic check
    long updates = 0;                         // updates run so far
    long closeRefusedAt = -1;                 // `updates` at the last close kept open; -1 none
    long loadRefusedAt = -1;                  // `updates` at the last LOAD refused; -1 none
    // A discard the song could not be kept for goes ahead only when it repeats one
    // refused (at `refusedAt`) within 10 s; otherwise `refusedAt` becomes now.
    bool discardAgain(long& refusedAt);
    int handleClose() override;               // the window's close request: rescue, then quit
    bool songChanged() const;                 // the song differs from the one last stored
    bool rescueUnsaved();                     // keep new unsaved work; false when it could not be
    void rescueStep();                        // every update: the periodic rescue

    // ---- Export, Ctrl+E (export.cpp) ----
    std::unique_ptr<ExportState> exportState;  // the running render, if any

    // ---- Screen (screen.cpp) ----
    std::array<int, kChannels> levels{2, 2, 2, 2};   // meter heights in pixels, 2..64
    bool repaintSkip = true;                  // skip drawing that would change no pixel
    DrawingPrint shownPrint;                  // print of the last repaint drawn; whole 0: none
    bool shownLayout = false;                 // it painted the whole layout
    std::array<int, kChannels> shownLevels{}; // meter heights last drawn; 0 = not drawn
    int shownPlayLine = -1;                   // playLine() at the last repaint
    void paintLayout();                       // the whole screen but the status bar, on/off line,
                                              // transport label and meters
    void paintRepaint(bool layout);           // layout if asked, play line, status
    void paintChanged(const DrawingPrint& print, bool layout, bool whole);   // what differs
    void paintStatus();                       // status bar, header, on/off line, transport label
    String screenText;                        // the painter's reused text buffer
    bool updateLevels();                      // the meters' levels of this frame; true if one moved
    void paintMeters(bool all);               // the meters that moved, or all four

    // State private to the editor and to the undo history (editor.h, blocks.h).
    std::unique_ptr<EditorState> editorState;
    std::unique_ptr<UndoState> undoState;
};

// The pattern number at song position `position`, or 0 outside the 256 positions.
int orderAt(const Song& song, int position);

// Three-character note name of the cell at `index`, or empty for an octave digit
// outside 0..3 ("C-3", "---", "{|}", "-dn", "-up", "End", "???").
String noteName(const Song& song, int channel, int index);
// Two upper-case hex digits of the low 8 bits.
String hex2(int value);
// The status bar's text for `status` ("Standby...", "File Saved...", ...).
String statusText(Status status);
