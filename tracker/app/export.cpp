// Ctrl+E: the song to a temporary file, tamo-render on it as a child process.
#include "tracker/app/export.h"

#include <cstdio>

#include "host/datapath.h"
#include "host/game.h"
#include "host/input.h"
#include "host/savefile.h"
#include "tracker/app/app.h"
#include "tracker/app/editor.h"
#include "tracker/core/songfile.h"

namespace {

std::string realPath(const String& dataPath) {
    VXGame* game = VXGame::current();
    return game ? narrow(game->mapDataPath(dataPath)) : std::string();
}

std::string renderProgram(const ExportState& ex) {
    if (!ex.program.empty()) return narrow(ex.program);
    return narrow(executableFolder()) + "/tamo-render";
}

// A render reads its song file as it starts: one left for a minute was left by an
// export that was killed, in this run or an earlier one.
constexpr int kStaleExportSeconds = 60;
const char kExportEnding[] = "~export";

void removeStaleExports() {
    removeLeftovers(realPath(kSongFolder.substr(0, kSongFolder.size() - 1)), kExportEnding, kStaleExportSeconds);
}

void forgetSongFile(ExportState& ex) {
    if (!ex.songFile.empty()) std::remove(realPath(ex.songFile).c_str());
    ex.songFile.clear();
}

// Writes the song and starts the render; the status text tells how it went.
String startExport(c_SoundEngine& app, ExportState& ex) {
    if (app.fileName.empty()) return U"Enter a Name...";
    if (!isSongName(app.fileName)) return U"Export Failed!";
    removeStaleExports();
    // "~" is never typed into a name, so this cannot be one of the user's songs.
    ex.songFile = kSongFolder + app.fileName + widen(kExportEnding);
    const std::string song = realPath(ex.songFile);
    const std::string wav = realPath(kSongFolder + app.fileName + U".wav");
    ex.child = ex.makeChild();
    if (song.empty() || wav.empty() || !saveTextFile(ex.songFile, writeSong(app.song)).saved ||
        !ex.child->start({renderProgram(ex), "--loops", "2", "--fade", "8", song, wav})) {
        ex.child.reset();
        forgetSongFile(ex);
        return U"Export Failed!";
    }
    return U"Exporting...";
}

}  // namespace

ExportState& exportOf(c_SoundEngine& app) {
    if (!app.exportState) {
        app.exportState = std::make_unique<ExportState>();
        removeStaleExports();   // the first update of a run
    }
    return *app.exportState;
}

void exportStep(c_SoundEngine& app) {
    ExportState& ex = exportOf(app);
    if (ex.child) {
        int status = ex.child->poll();
        if (status != ChildProcess::kRunning) {
            ex.child.reset();
            forgetSongFile(ex);
            app.statusText = status == 0 ? U"WAV Saved..." : U"Export Failed!";
        }
    }
    if (app.mode != 1 && !ex.child && app.control && pressed(kKeyE))
        app.statusText = startExport(app, ex);
}
