#pragma once
// The song store: where the tracker's song files live, by which names, and how their
// text is read and written there. Everything that names a song file goes through it.
//
//   folder:    the songs folder, a data path ("vantorix://data/songs/" by default) or
//              a folder of the file system ("/..." ending in "/")
//   name:      a song's path inside the folder, as typed ("tune", "backup/tune");
//              isSongName (songfile.h) keeps a typed name inside it
//   hand-off:  "tmp.dat", the copy playback reads, rewritten at every start
//   rescue:    "autosave", the newest copy of unsaved work; older ones move along to
//              "autosave.1" .. "autosave.9", so no window's or earlier run's copy is
//              written over before it could be loaded
//   own names: the hand-off and the rescue copies, which the tracker rewrites itself:
//              they keep no backup and SAVE refuses them
//   backup:    "backup/NAME" holds the version a save of NAME replaced; the own names
//              and working files (a "~" in the name, never typed) keep none
//   real path: a name's file-system path: a data path is mapped by the host, a
//              folder of the file system is taken as it is
//
// Writing replaces a file atomically (host/savefile.h): a failed write leaves the old
// file as it was.
#include <optional>
#include <string>

#include "host/savefile.h"
#include "host/text.h"

class SongStore {
public:
    static const String kHandOffName;   // "tmp.dat"
    static const String kRescueName;    // "autosave"
    static constexpr int kRescueCopies = 10;   // "autosave" and "autosave.1" .. "autosave.9"
    static const String kBackupFolder;  // "backup/"

    void setFolder(const String& folder) { folder_ = folder; }
    const String& folder() const { return folder_; }
    // The path of `name` in the folder, for the host's loaders.
    String path(const String& name) const { return folder_ + name; }
    // The file-system path of `name`; empty when the host cannot map it.
    std::string realPath(const String& name) const;
    // The whole text of `name`; empty when it is missing or no regular file of a
    // song's size.
    String read(const String& name) const;
    // Writes `text` as UTF-8 over `name`, keeping the old file as its backup when
    // `name` keeps one.
    SaveResult write(const String& name, const String& text) const;
    // Removes `name` (nothing happens when it is not there).
    void remove(const String& name) const;
    // Removes the files of the folder (not of its subfolders) whose names end in
    // `ending` and that were last changed over `seconds` ago.
    void removeLeftovers(const String& ending, int seconds) const;

    // The rescue copy of age 0 ("autosave", the newest) to kRescueCopies - 1.
    static String rescueName(int age);
    static bool isRescueName(const String& name);
    // The hand-off and the rescue copies.
    static bool isOwnName(const String& name);
    // False for the names that keep no backup: the own names and the working files.
    static bool keepsBackup(const String& name);
    // Writes `text` as the newest rescue copy. `mine` is the stamp of the copy this
    // writer made last (updated on success; none for a fresh start). A newest copy that
    // is not `mine` is moved along first; when `mine` has moved along itself, only the
    // copies newer than it move, over it, so two windows take turns without pushing
    // older work out. False when nothing was written.
    bool writeRescue(const String& text, std::optional<FileStamp>& mine) const;

private:
    String folder_ = U"vantorix://data/songs/";
};
