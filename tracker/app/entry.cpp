// The two one-line text fields: the song file name and the current instrument's
// description, and the LOAD and SAVE of the named song. Each field takes at most one
// typed character per update; while either is active the editor stays in Standby and
// every audio channel is kept silent.
#include <algorithm>
#include <vector>

#include "host/errors.h"
#include "host/input.h"
#include "tracker/app/app.h"
#include "tracker/app/editor.h"
#include "tracker/core/channels.h"
#include "tracker/core/songfile.h"

namespace {

constexpr size_t kNameLength = 32;

// The 51 characters a name or a description may hold.
bool acceptedText(int c) {
    if (c == 252 || c == 228 || c == 246 || c == ' ') return true;   // ü ä ö, space
    if (c >= 'a' && c <= 'z') return true;
    if (c >= '0' && c <= '9') return true;
    switch (c) {
        case '!': case '-': case '.': case '_': case '(': case ')':
        case '&': case '+': case '[': case ']': case '/':
            return true;
        default:
            return false;
    }
}

bool eraseKey() { return pressed(Key::Backspace) || pressed(Key::Delete); }

// Appends the next queued character when it is accepted and `text` has room.
void takeCharacter(String& text, size_t limit) {
    int c = nextChar();
    if (text.size() < limit && c > 31 && acceptedText(c)) text += char32_t(c);
}

void holdStandby(c_SoundEngine& app) {
    app.mode = Mode::Standby;
    stopAllChannels(editorChannels(app));
}

// The songs a name box can show.
std::vector<String> songNames(const c_SoundEngine& app) {
    std::vector<String> names = app.songs.songs();
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const String& n) { return n.size() > kNameLength; }),
                names.end());
    return names;
}

// Up (-1) and Down (+1) step through the songs, newest first; from a name that is not
// one of them, either key shows the newest.
void stepName(c_SoundEngine& app, int step) {
    const std::vector<String> names = songNames(app);
    if (names.empty()) return;
    const auto at = std::find(names.begin(), names.end(), app.fileName);
    const long index = at == names.end() ? 0 : std::clamp<long>((at - names.begin()) + step, 0, long(names.size()) - 1);
    app.fileName = names[size_t(index)];
}

// Tab: the typed start becomes the newest song whose name begins with it.
void completeName(c_SoundEngine& app) {
    for (const String& name : songNames(app))
        if (name.compare(0, app.fileName.size(), app.fileName) == 0) {
            app.fileName = name;
            return;
        }
}

void nameEntry(c_SoundEngine& app) {
    if (clickedIn(layout::kNameBox)) app.nameEntryActive = 1;
    if (app.nameEntryActive != 1) return;
    holdStandby(app);
    takeCharacter(app.fileName, kNameLength);
    if (pressed(Key::Up)) stepName(app, -1);
    if (pressed(Key::Down)) stepName(app, +1);
    if (pressed(Key::Tab)) completeName(app);
    if (pressed(Key::Enter)) app.nameEntryActive = 0;
    if (eraseKey() && !app.fileName.empty()) app.fileName.pop_back();
}

void descriptionEntry(c_SoundEngine& app) {
    int slot = app.currentInstrument;
    if (slot < 0 || slot >= kDescriptionSlots) return;
    String& text = app.song.instrumentDescriptions[slot];
    if (clickedIn(layout::kDescriptionBox)) {
        text.clear();
        app.descriptionEntryActive = 1;
    }
    if (app.descriptionEntryActive != 1) return;
    holdStandby(app);
    takeCharacter(text, kDescriptionLength);
    if (pressed(Key::Enter)) {
        if (text.size() < size_t(kDescriptionLength)) text.resize(kDescriptionLength, U' ');
        app.descriptionEntryActive = 0;
    }
    if (eraseKey()) text.clear();
}

}  // namespace

void c_SoundEngine::textEntries() {
    nameEntry(*this);
    descriptionEntry(*this);
}

// ---- [load and save] ----

// The own names are refused: the next playback or rescue copy would replace such a
// song without a backup.
Status c_SoundEngine::saveSong(const String& name) {
    if (name.empty()) return Status::EnterName;
    if (!isSongName(name) || SongStore::isOwnName(name)) return Status::SavingFailed;
    SaveResult result = songs.write(name, writeSong(song));
    if (!result.saved) return Status::SavingFailed;
    storedDigest = songDigest(song);
    if (result.backup != BackupResult::Failed) return Status::FileSaved;
    printLine(U"No backup kept of songs/" + name);
    return Status::NoBackupKept;
}

bool c_SoundEngine::saveHandOff() { return songs.write(SongStore::kHandOffName, writeSong(song)).saved; }

// The song named on the command line: loaded as LOAD would, and saved back to its file.
void c_SoundEngine::openStartSong() {
    storedDigest = songDigest(song);   // the empty song is no unsaved work
    fileName = songs.open(startSong);
    status = loadSong();
}

Status c_SoundEngine::loadSong() {
    fileName = cutSongName(fileName);
    if (fileName.empty() || !isSongName(fileName)) return Status::FileNotFound;
    String text = songs.read(fileName);
    Song loaded = song;
    if (!readSong(text, loaded)) return Status::FileNotFound;
    // The song about to be replaced is kept first; when it cannot be, it stays.
    if (!rescueUnsaved() && !discardAgain(loadRefusedAt)) return Status::SongNotKept;
    // Its copy is left as it is: the next one, of the loaded song, goes beside it.
    rescueStamp.reset();
    song = std::move(loaded);
    // A loaded rescue copy is still unsaved work, but already kept: it is written again
    // once it changes, until it is saved.
    if (SongStore::isRescueName(fileName)) rescuePending = true;
    else storePending = true;
    resetUndo();
    return Status::FileLoaded;
}
