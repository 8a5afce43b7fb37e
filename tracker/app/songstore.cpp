// The song store: names in the songs folder, mapped to files and read and written.
#include "tracker/app/songstore.h"

#include <cstdio>

#include "host/datapath.h"
#include "host/game.h"

const String SongStore::kHandOffName = U"tmp.dat";
const String SongStore::kRescueName = U"autosave";
const String SongStore::kBackupFolder = U"backup/";

std::string SongStore::realPath(const String& name) const {
    const String p = path(name);
    if (!p.empty() && p[0] == U'/') return narrow(p);
    VXGame* game = VXGame::current();
    return game ? narrow(game->mapDataPath(p)) : std::string();
}

String SongStore::read(const String& name) const { return loadText(path(name)); }

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

bool SongStore::keepsBackup(const String& name) {
    return name != kHandOffName && name != kRescueName && name.find(U'~') == String::npos;
}
