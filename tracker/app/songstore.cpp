// The song store: names in the songs folder, mapped to files and read and written.
#include "tracker/app/songstore.h"

#include <cstdio>
#include <vector>

#include "host/datapath.h"
#include "host/game.h"
#include "tracker/core/songfile.h"

const String SongStore::kHandOffName = U"tmp.dat";
const String SongStore::kRescueName = U"autosave";
const String SongStore::kBackupFolder = U"backup/";

std::string SongStore::realPath(const String& name) const {
    const String p = path(name);
    if (!p.empty() && p[0] == U'/') return narrow(p);
    VXGame* game = VXGame::current();
    return game ? narrow(game->mapDataPath(p)) : std::string();
}

String SongStore::read(const String& name) const { return loadText(path(name), kMaxSongFileBytes); }

SaveResult SongStore::write(const String& name, const String& text) const {
    const std::string target = realPath(name);
    const std::string backup = keepsBackup(name) ? realPath(kBackupFolder + name) : std::string();
    if (target.empty() || (keepsBackup(name) && backup.empty())) return SaveResult();
    return replaceFile(target, encodeUtf8(text), backup);
}

void SongStore::remove(const String& name) const {
    const std::string file = realPath(name);
    if (!file.empty()) std::remove(file.c_str());
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
