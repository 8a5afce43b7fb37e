// The rescue copy of unsaved work: "songs/autosave", written while the song differs
// from what was last loaded or saved, within 5 seconds of a change (checked every 5
// seconds) and before the song is discarded (the window's close request, a LOAD).
// Copies other windows or earlier runs left are moved along, never written over
// (writeRescueCopy). A failed write is reported on standard output and in the status
// bar; at a close it keeps the window open, unless the close repeats a refused one
// within 10 seconds.
#include "host/errors.h"
#include "tracker/app/app.h"
#include "tracker/core/songfile.h"

namespace {
constexpr int kRescueInterval = 5 * 50;     // updates: 5 seconds at 50 updates per second
constexpr int kCloseAgainWindow = 10 * 50;  // updates: a second close within 10 s ends anyway
}

bool c_SoundEngine::songChanged() const { return songDigest(song) != storedDigest; }

// Writes only new unsaved work: nothing when the song is as stored, or as the last
// rescue copy already holds it.
bool c_SoundEngine::rescueUnsaved() {
    const uint64_t digest = songDigest(song);
    if (digest == storedDigest || digest == rescuedDigest) return true;
    if (!writeRescueCopy(writeSong(song), rescueStamp)) {
        printLine(U"Unsaved song could not be kept in songs/" + kRescueName);
        statusText = U"Song not kept!";
        return false;
    }
    rescuedDigest = digest;
    printLine(U"Unsaved song kept in songs/" + kRescueName);
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

// 0 lets the program end; 1 keeps the window open because the work could not be kept.
int c_SoundEngine::handleClose() {
    if (rescueUnsaved()) return 0;
    if (closeRefusedAt >= 0 && updates - closeRefusedAt <= kCloseAgainWindow) return 0;
    closeRefusedAt = updates;
    return 1;
}
