// The song store: names in the songs folder, mapped to files and read and written; the
// folders of an installed copy; an opened file; the list of songs.
#include "tracker/app/songstore.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/datapath.h"
#include "host/folders.h"
#include "host/game.h"
#include "tracker/core/songfile.h"

const String SongStore::kHandOffName = U"tmp.dat";
const String SongStore::kRescueName = U"autosave";
const String SongStore::kBackupFolder = U"backup/";

namespace {

// The file-system path of a data path or of a file-system path ("/...").
std::string realOf(const String& path) {
    if (!path.empty() && path[0] == U'/') return narrow(path);
    VXGame* game = VXGame::current();
    return game ? narrow(game->mapDataPath(path)) : std::string();
}

struct Listed {
    String name;
    int64_t modified;
};

// The song files directly in `folder` that are not the tracker's working files.
void addSongs(const String& folder, std::vector<Listed>& found) {
    if (folder.empty()) return;
    const std::string real = realOf(folder);
    for (const FolderEntry& e : folderEntries(real)) {
        const String name = widen(e.name);
        if (e.folder || name == SongStore::kHandOffName || name.find(U'~') != String::npos) continue;
        if (std::any_of(found.begin(), found.end(), [&](const Listed& s) { return s.name == name; }))
            continue;
        if (startsAsSong(fileStart(real + e.name, 4))) found.push_back({name, e.modified});
    }
}

}  // namespace

void SongStore::chooseFolders() {
    if (!isFile(realOf(U"vantorix://data/installed"))) return;
    const std::string user = userDataFolder(kProgramFolder);
    if (user.empty()) return;
    demos_ = folder_;
    folder_ = widen(user) + U"/songs/";
    ownFolder_ = true;
}

String SongStore::open(const String& path) {
    opened_ = path;
    openedName_ = path.substr(path.find_last_of(U'/') + 1);
    return openedName_;
}

std::string SongStore::realPath(const String& name) const {
    return isOpened(name) ? narrow(opened_) : realOf(path(name));
}

String SongStore::read(const String& name) const {
    if (isOpened(name)) return loadText(opened_, kMaxSongFileBytes);
    if (demos_.empty() || isFile(realPath(name))) return loadText(path(name), kMaxSongFileBytes);
    return loadText(demos_ + name, kMaxSongFileBytes);
}

SaveResult SongStore::write(const String& name, const String& text) const {
    const std::string target = realPath(name);
    const std::string backup = keepsBackup(name) ? realPath(kBackupFolder + name) : std::string();
    if (target.empty() || (keepsBackup(name) && backup.empty())) return SaveResult();
    if (ownFolder_) makeFolders(realOf(folder_));
    return replaceFile(target, encodeUtf8(text), backup);
}

void SongStore::remove(const String& name) const {
    const std::string file = realPath(name);
    if (!file.empty()) std::remove(file.c_str());
}

std::vector<String> SongStore::songs() const {
    std::vector<Listed> found;
    addSongs(folder_, found);
    addSongs(demos_, found);
    std::stable_sort(found.begin(), found.end(), [](const Listed& a, const Listed& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.name < b.name;
    });
    std::vector<String> names;
    for (const Listed& s : found) names.push_back(s.name);
    return names;
}

void SongStore::removeLeftovers(const String& ending, int seconds) const {
    const std::string folder = realPath(String());
    if (!folder.empty()) ::removeLeftovers(folder, narrow(ending), seconds);
}

String SongStore::rescueName(int age) { return age == 0 ? kRescueName : kRescueName + U"." + toString(age); }

bool SongStore::isRescueName(const String& name) {
    for (int age = 0; age < kRescueCopies; ++age)
        if (name == rescueName(age)) return true;
    return false;
}

bool SongStore::isOwnName(const String& name) { return name == kHandOffName || isRescueName(name); }

bool SongStore::keepsBackup(const String& name) { return !isOwnName(name) && name.find(U'~') == String::npos; }

bool SongStore::writeRescue(const String& text, std::optional<FileStamp>& mine) const {
    std::vector<std::string> ages;
    for (int age = 0; age < kRescueCopies; ++age) {
        ages.push_back(realPath(rescueName(age)));
        if (ages.back().empty()) return false;
        // A move keeps a file's stamp: this writer's last copy, wherever it went, is
        // the end of the row.
        if (mine && stampOf(ages.back()) == mine) break;
    }
    if (stampOf(ages[0]) && !(mine && stampOf(ages[0]) == mine) && !moveAlong(ages)) return false;
    if (!write(kRescueName, text).saved) return false;
    mine = stampOf(ages[0]);
    return true;
}
