#pragma once
// The song file: "TAM1", then length, speed and P as single characters, then the
// first P*32 cells of each of the 16 columns, the 256 order entries, instrument
// parameters 0..248 and 31 descriptions of 21 characters. Numbers are stored as the
// character with that code point; the whole text is written as UTF-8.
//
//   P:        patterns stored, 1 + the largest order entry, 1..256
//   length:   1163 + 512*P characters; the fields follow each other without separators
//   name:     a song file's name inside the songs folder (the application's song store
//             says where that folder is and writes the files)
//
// The reader and the writer work on text in memory; nothing here touches a file.
#include <cstdint>
#include <string>

#include "tracker/core/song.h"

// The largest file that can hold a song: the longest song's characters, four bytes
// each, after a byte-order mark. Readers refuse larger files unread.
extern const size_t kMaxSongFileBytes;

// Patterns stored for `song`: 1 + its largest order entry, kept within 1..256.
int storedPatterns(const Song& song);
// Characters of a song file holding `patterns` patterns: 1163 + 512*patterns.
long songFileLength(long patterns);

// A 64-bit fingerprint (FNV-1a; byte cells eight to a step) of a song's columns,
// order list, instrument table, descriptions, length and speed: songs that differ in
// any of them get different fingerprints but for a chance of one in 2^64. Lets the tracker tell unsaved work
// without keeping a second copy of the song.
uint64_t songDigest(const Song& song);

// The whole file text of `song`.
String writeSong(const Song& song);
// The same into `text`, replacing what it held and reusing its storage.
void writeSong(const Song& song, String& text);
// Replaces `song` from a file text; false (song untouched) when the text is refused:
// it does not start with "TAM1", P is 0 or above 256, or it is shorter than the
// layout of its P needs. A speed
// character 0 reads as 5; instrument entries 249..254 and description slot 0 keep
// their values. Nothing beyond the text is read.
bool readSong(const String& text, Song& song);

// True when the file's first bytes are the song file's "TAM1".
bool startsAsSong(const std::string& bytes);

// False for a name that would leave the songs folder: one that starts with "/",
// holds a ".." path segment, or a NUL (checked on the low 8 bits of each character,
// which is what reaches the file system).
bool isSongName(const String& name);
// The typed name from the last backslash that follows "songs" (the backslash stays);
// the name itself when there is none.
String cutSongName(const String& name);
