#pragma once
// The song file: "TAM1", then length, speed and P as single characters, then the
// first P*32 cells of each of the 16 columns, the 256 order entries, instrument
// parameters 0..248 and 31 descriptions of 21 characters. Numbers are stored as the
// character with that code point; the whole text is written as UTF-8.
//
//   P:        patterns stored, 1 + the largest order entry, 1..256
//   length:   1163 + 512*P characters; the fields follow each other without separators
//   folder:   song files live in "songs" of the data folder; names stay inside it
//
// The reader and the writer work on text in memory. Saving replaces the file through
// a temporary file and a rename (host/savefile.h), so a failed save leaves the old
// file as it was; the version a save replaces is kept as "songs/backup/NAME".
#include "host/savefile.h"
#include <cstdint>

#include "tracker/core/song.h"

// The data folder of song files, "vantorix://data/songs/".
extern const String kSongFolder;
// The folder within it that holds the previous version of each saved song.
extern const String kBackupFolder;    // "backup/"
// The playback hand-off, rewritten at every start; it keeps no backup.
extern const String kHandOffName;     // "tmp.dat"
// The newest rescue copy of unsaved work; it keeps no backup either. Older copies
// move along to "autosave.1" .. "autosave.9" (rescueName).
extern const String kRescueName;      // "autosave"
constexpr int kRescueCopies = 10;     // the newest and nine older ones
// The largest file that can hold a song: the longest song's characters, four bytes
// each, after a byte-order mark. Readers refuse larger files unread.
extern const size_t kMaxSongFileBytes;

// Patterns stored for `song`: 1 + its largest order entry, kept within 1..256.
int storedPatterns(const Song& song);
// Characters of a song file holding `patterns` patterns: 1163 + 512*patterns.
long songFileLength(long patterns);

// A 64-bit fingerprint (FNV-1a) of a song's columns, order list, instrument table,
// descriptions, length and speed: songs that differ in any of them get different
// fingerprints but for a chance of one in 2^64. Lets the tracker tell unsaved work
// without keeping a second copy of the song.
uint64_t songDigest(const Song& song);

// The whole file text of `song`.
String writeSong(const Song& song);
// Replaces `song` from a file text; false (song untouched) when the text is refused:
// it does not start with "TAM1", P is 0 or above 256, or it is shorter than the
// layout of its P needs. A speed
// character 0 reads as 5; instrument entries 249..254 and description slot 0 keep
// their values. Nothing beyond the text is read.
bool readSong(const String& text, Song& song);

// False for a name that would leave the songs folder: one that starts with "/",
// holds a ".." path segment, or a NUL (checked on the low 8 bits of each character,
// which is what reaches the file system).
bool isSongName(const String& name);
// The typed name from the last backslash that follows "songs" (the backslash stays);
// the name itself when there is none.
String cutSongName(const String& name);

// The temporary file a save of `path` writes first (beside it, same folder).
String savingPath(const String& path);
// Writes `text` as UTF-8 to the data path `path` with replaceFile; with a `backup`
// data path, a file that was at `path` is kept there.
SaveResult saveTextFile(const String& path, const String& text, const String& backup = String());
// The rescue copy of age 0 (the newest, "autosave") to kRescueCopies - 1 ("autosave.9").
String rescueName(int age);
bool isRescueName(const String& name);
// The names the tracker writes itself, the hand-off and the rescue copies: they keep
// no backup and SAVE refuses them.
bool isOwnName(const String& name);
// Writes `text` as the newest rescue copy. A copy there that was not this writer's
// last one (`mine`, its stamp, updated on success) is moved along first, so no other
// window's or earlier run's copy is written over. False when nothing was written.
bool writeRescueCopy(const String& text, std::optional<FileStamp>& mine);
