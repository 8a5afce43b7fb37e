#pragma once
// The song store: where the tracker's song files live, by which names, and how their
// text is read and written there. Everything that names a song file goes through it.
//
//   folder:    the songs folder, a data path ("vantorix://data/songs/" by default) or
//              a folder of the file system ("/..." ending in "/")
//   name:      a song's path inside the folder, as typed ("tune", "backup/tune");
//              isSongName (songfile.h) keeps a typed name inside it
//   hand-off:  "tmp.dat", the copy playback reads, rewritten at every start
//   rescue:    "autosave", the copy of unsaved work
//   backup:    "backup/NAME" holds the version a save of NAME replaced; the hand-off,
//              the rescue copy and working files (a "~" in the name, never typed)
//              keep none
//   real path: a name's file-system path: a data path is mapped by the host, a
//              folder of the file system is taken as it is
//
// Writing replaces a file atomically (host/savefile.h): a failed write leaves the old
// file as it was.
#include <string>

#include "host/savefile.h"
#include "host/text.h"

class SongStore {
public:
    static const String kHandOffName;   // "tmp.dat"
    static const String kRescueName;    // "autosave"
    static const String kBackupFolder;  // "backup/"

    void setFolder(const String& folder) { folder_ = folder; }
    const String& folder() const { return folder_; }
    // The path of `name` in the folder, for the host's loaders.
    String path(const String& name) const { return folder_ + name; }
    // The file-system path of `name`; empty when the host cannot map it.
    std::string realPath(const String& name) const;
    // The whole text of `name`; empty when it is missing.
    String read(const String& name) const;
    // Writes `text` as UTF-8 over `name`, keeping the old file as its backup when
    // `name` keeps one.
    SaveResult write(const String& name, const String& text) const;
    // Removes `name` (nothing happens when it is not there).
    void remove(const String& name) const;
    // False for the names that keep no backup: the hand-off, the rescue copy and the
    // working files.
    static bool keepsBackup(const String& name);

private:
    String folder_ = U"vantorix://data/songs/";
};
