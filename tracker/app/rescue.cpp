// The rescue copy of unsaved work: "songs/autosave", written while the song differs
// from what was last loaded or saved, every 30 seconds and before the song is
// discarded (the window's close request, a LOAD). A failed write is reported on
// standard output and never stops the program.
#include "host/errors.h"
#include "tracker/app/app.h"
#include "tracker/app/export.h"
#include "tracker/core/songfile.h"

namespace {
constexpr int kRescueInterval = 30 * 50;   // updates: 30 seconds at 50 updates per second
}

bool c_SoundEngine::songChanged() const { return songDigest(song) != storedDigest; }

// Writes only new unsaved work: nothing when the song is as stored, or as the last
// rescue copy already holds it.
void c_SoundEngine::rescueUnsaved() {
    const uint64_t digest = songDigest(song);
    if (digest == storedDigest || digest == rescuedDigest) return;
    if (!songs.write(SongStore::kRescueName, writeSong(song)).saved) {
        printLine(U"Unsaved song could not be kept in songs/" + SongStore::kRescueName);
        return;
    }
    rescuedDigest = digest;
    printLine(U"Unsaved song kept in songs/" + SongStore::kRescueName);
}

// The song as created or loaded becomes the stored one only at the end of that update,
// once the spinners have brought the shown instrument into its ranges: that alone is
// no unsaved work.
void c_SoundEngine::rescueStep() {
    if (storePending) {
        storedDigest = songDigest(song);
        storePending = false;
    }
    if (++rescueCounter < kRescueInterval) return;
    rescueCounter = 0;
    rescueUnsaved();
}

int c_SoundEngine::handleClose() {
    rescueUnsaved();
    stopExport(*this);
    return 0;
}
