#pragma once
// The song file: "TAM1", then length, speed and P as single characters, then the
// first P*32 cells of each of the 16 columns, the 256 order entries, instrument
// parameters 0..248 and 31 descriptions of 21 characters. Numbers are stored as the
// character with that code point; the whole text is written as UTF-8.
// (The owner of song files completes this header; these two are the contract.)
#include "tracker/song.h"

// The whole file text of `song`.
String writeSong(const Song& song);
// Replaces `song` from a file text; false (song untouched) when the text is refused.
bool readSong(const String& text, Song& song);
