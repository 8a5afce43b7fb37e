// Ctrl+E: the song to a temporary file, tamo-render on it as a child process.
#include "tracker/app/export.h"

#include "host/datapath.h"
#include "host/input.h"
#include "tracker/app/app.h"
#include "tracker/app/editor.h"
#include "tracker/core/songfile.h"

namespace {

std::string renderProgram(const ExportState& ex) {
    if (!ex.program.empty()) return narrow(ex.program);
    return narrow(executableFolder()) + "/tamo-render";
}

// A render reads its song file as it starts: one left for a minute was left by an
// export that was killed, in this run or an earlier one.
constexpr int kStaleExportSeconds = 60;
const String kExportEnding = U"~export";

void removeStaleExports(const SongStore& songs) { songs.removeLeftovers(kExportEnding, kStaleExportSeconds); }

void forgetSongFile(const SongStore& songs, ExportState& ex) {
    if (!ex.songFile.empty()) songs.remove(ex.songFile);
    ex.songFile.clear();
}

// Writes the song and starts the render; the status text tells how it went.
Status startExport(c_SoundEngine& app, ExportState& ex) {
    if (app.fileName.empty()) return Status::EnterName;
    if (!isSongName(app.fileName)) return Status::ExportFailed;
    removeStaleExports(app.songs);
    // "~" is never typed into a name, so this cannot be one of the user's songs.
    ex.songFile = app.fileName + kExportEnding;
    const std::string song = app.songs.realPath(ex.songFile);
    const std::string wav = app.songs.realPath(app.fileName + U".wav");
    ex.child = ex.makeChild();
    if (song.empty() || wav.empty() || !app.songs.write(ex.songFile, writeSong(app.song)).saved ||
        !ex.child->start({renderProgram(ex), "--loops", "2", "--fade", "8", song, wav})) {
        ex.child.reset();
        forgetSongFile(app.songs, ex);
        return Status::ExportFailed;
    }
    return Status::Exporting;
}

}  // namespace

ExportState& exportOf(c_SoundEngine& app) {
    if (!app.exportState) {
        app.exportState = std::make_unique<ExportState>();
        removeStaleExports(app.songs);   // the first update of a run
    }
    return *app.exportState;
}

void stopExport(c_SoundEngine& app) {
    if (!app.exportState || !app.exportState->child) return;
    ExportState& ex = *app.exportState;
    ex.child->stop();
    ex.child.reset();
    forgetSongFile(app.songs, ex);
}

void exportStep(c_SoundEngine& app) {
    ExportState& ex = exportOf(app);
    if (ex.child) {
        int status = ex.child->poll();
        if (status != ChildProcess::kRunning) {
            ex.child.reset();
            forgetSongFile(app.songs, ex);
            app.status = status == 0 ? Status::WavSaved : Status::ExportFailed;
        }
    }
    if (app.mode != Mode::Playing && !ex.child && app.control && pressed(Key::E))
        app.status = startExport(app, ex);
}
