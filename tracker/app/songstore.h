#pragma once
// The song store: where the tracker's song files live, by which names, and how their
// text is read and written there. Everything that names a song file goes through it.
//
//   folder:    the songs folder every song is written to, a data path
//              ("vantorix://data/songs/" by default) or a folder of the file system
//              ("/..." ending in "/")
//   installed: a copy whose data folder holds "installed" writes into the user's own
//              folder, $XDG_DATA_HOME/tamo-tracker/songs/ (host/folders), made when
//              first written to, and reads the songs shipped in its data folder as
//              demos; a build tree keeps both in data/songs, which must be there
//   demos:     a read-only folder looked in after the songs folder (none by default)
//   opened:    one song file opened by its path from anywhere: the path's last part
//              is its name, and that name reads and writes the opened file
//   name:      a song's path inside the folder, as typed ("tune", "backup/tune");
//              isSongName (songfile.h) keeps a typed name inside it
//   hand-off:  "tmp.dat", the copy playback reads, rewritten at every start
//   rescue:    "autosave", the newest copy of unsaved work; older ones move along to
//              "autosave.1" .. "autosave.9", so no window's or earlier run's copy is
//              written over before it could be loaded
//   own names: the hand-off and the rescue copies, which the tracker rewrites itself:
//              they keep no backup and SAVE refuses them; they always name files of
//              the songs folder, also when an opened file has such a name
//   backup:    "backup/NAME" in the songs folder holds the version a save of NAME
//              replaced (an opened file's too); the own names and working files (a
//              "~" in the name, never typed) keep none
//   real path: a name's file-system path: a data path is mapped by the host, a
//              folder of the file system is taken as it is
//   songs:     the song files of the folder and the demos, newest first, one per name
//              (the folder's copy wins): files that start with "TAM1", not the
//              hand-off, the working files or anything in a folder below
//
// Writing replaces a file atomically (host/savefile.h): a failed write leaves the old
// file as it was.
#include <optional>
#include <string>
#include <vector>

#include "host/savefile.h"
#include "host/text.h"

class SongStore {
public:
    static const String kHandOffName;   // "tmp.dat"
    static const String kRescueName;    // "autosave"
    static constexpr int kRescueCopies = 10;   // "autosave" and "autosave.1" .. "autosave.9"
    static const String kBackupFolder;  // "backup/"

    // The folders of this copy of the program: see "installed" above.
    void chooseFolders();
    void setFolder(const String& folder) { folder_ = folder; }
    const String& folder() const { return folder_; }
    void setDemoFolder(const String& folder) { demos_ = folder; }
    // Opens the song file at the absolute `path`; its name, the path's last part.
    String open(const String& path);

    // The path of `name` in the folder, for the host's loaders.
    String path(const String& name) const { return folder_ + name; }
    // The file-system path `name` is written to; empty when the host cannot map it.
    std::string realPath(const String& name) const;
    // The whole text of `name` (from the folder, else the demos); empty when it is
    // missing or no regular file of a song's size.
    String read(const String& name) const;
    // Writes `text` as UTF-8 over `name`, keeping the old file as its backup when
    // `name` keeps one.
    SaveResult write(const String& name, const String& text) const;
    // Removes `name` (nothing happens when it is not there).
    void remove(const String& name) const;
    // The names of the songs, newest first.
    std::vector<String> songs() const;

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
    bool isOpened(const String& name) const {
        return !opened_.empty() && name == openedName_ && !isOwnName(name);
    }
    String folder_ = U"vantorix://data/songs/";
    String demos_;                      // empty: none
    String opened_, openedName_;        // empty: none
    bool ownFolder_ = false;            // the user's folder, made when needed
};
