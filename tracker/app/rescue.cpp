// The rescue copy of unsaved work: "songs/autosave", written while the song differs
// from what was last loaded or saved, within 5 seconds of a change (checked every 5
// seconds) and before the song is discarded (the window's close request, a LOAD).
// Copies other windows or earlier runs left are moved along, never written over
// (SongStore::writeRescue). A failed write is reported on standard output and in the
// status bar; it keeps the window open at a close and the song at a LOAD, unless the
// request repeats a refused one within 10 seconds.
#include "host/errors.h"
#include "tracker/app/app.h"
#include "tracker/app/export.h"
#include "tracker/core/songfile.h"

namespace {
constexpr int kRescueInterval = 5 * 50;     // updates: 5 seconds at 50 updates per second
constexpr int kAgainWindow = 10 * 50;       // updates: a repeat within 10 s discards anyway
}

bool c_SoundEngine::songChanged() const { return songDigest(song) != storedDigest; }

// Writes only new unsaved work: nothing when the song is as stored, or as the last
// rescue copy already holds it.
bool c_SoundEngine::rescueUnsaved() {
    const uint64_t digest = songDigest(song);
    if (digest == storedDigest || digest == rescuedDigest) return true;
    if (!songs.writeRescue(writeSong(song), rescueStamp)) {
        printLine(U"Unsaved song could not be kept in songs/" + SongStore::kRescueName);
        status = Status::SongNotKept;
        return false;
    }
    rescuedDigest = digest;
    printLine(U"Unsaved song kept in songs/" + SongStore::kRescueName);
    return true;
}

// The song as created or loaded becomes the stored one (or, for a loaded rescue copy,
// the rescued one) only at the end of that update, once the spinners have brought the
// shown instrument into its ranges: that alone is no new unsaved work.
void c_SoundEngine::rescueStep() {
    ++updates;
    if (storePending || rescuePending) {
        const uint64_t digest = songDigest(song);
        if (storePending) storedDigest = digest;
        if (rescuePending) rescuedDigest = digest;
        storePending = rescuePending = false;
    }
    if (++rescueCounter < kRescueInterval) return;
    rescueCounter = 0;
    rescueUnsaved();
}

bool c_SoundEngine::discardAgain(long& refusedAt) {
    if (refusedAt >= 0 && updates - refusedAt <= kAgainWindow) return true;
    refusedAt = updates;
    return false;
}

// 0 lets the program end; 1 keeps the window open because the work could not be kept.
// A close that ends the program also ends a running export.
int c_SoundEngine::handleClose() {
    if (!rescueUnsaved() && !discardAgain(closeRefusedAt)) return 1;
    stopExport(*this);
    return 0;
}
