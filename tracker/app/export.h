#pragma once
// Ctrl+E, the export from inside the tracker: the edited song is written to a
// temporary file in the songs folder (the same atomic write as SAVE; never the
// hand-off file, which playback owns) and tamo-render, found beside the tracker's
// executable, renders it to "songs/NAME.wav" with two loops and an eight second fade
// as a child process. Each update asks the child, without waiting, whether it has
// ended, so the screen and the sound go on while it works.
//
//   key:     the key labelled E pressed with Control, outside playback (like SAVE)
//   status:  "Enter a Name..." for an empty name box; "Exporting..." while the child
//            runs, then "WAV Saved..." or "Export Failed!"
//   one:     a second Ctrl+E while an export runs is ignored
//   leftover: a song file "NAME~export" a killed export left (over a minute old) is
//            removed at the next start and at the next export
//   close:   closing the window ends a running render and waits for it; the render
//            removes its temporary files, the tracker the song file, so no WAV is
//            left half written
#include <functional>
#include <memory>

#include "host/process.h"
#include "host/text.h"

class c_SoundEngine;

struct ExportState {
    std::unique_ptr<ChildProcess> child;   // the running render; none when idle
    String songFile;                       // its song file's name in the song store
    String program;                        // tamo-render; empty: beside the executable
    // Makes the child process (tests substitute one they finish themselves).
    std::function<std::unique_ptr<ChildProcess>()> makeChild = [] {
        return std::make_unique<ChildProcess>();
    };
};

// The export's state of `app` (made on first use).
ExportState& exportOf(c_SoundEngine& app);
// Ends a running export, leaving nothing of it behind (the window's close).
void stopExport(c_SoundEngine& app);
// One update of the export: the finished child's status, then a Ctrl+E press.
void exportStep(c_SoundEngine& app);
