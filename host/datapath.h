#pragma once
// Data paths and whole-file loading.
//
//   data path:      "vantorix://data/" + rest, below the folder "data" beside the
//                   executable; a plain relative name becomes one through toDataPath
//   internal path:  "vantorix://internal/" + rest, below root + "/internal"
//   external path:  "vantorix://external/" + rest, below root + "/external"
//   other "vantorix:" paths name no file; "./x" and "/x" are file-system paths
//
// The host maps paths (VXGame::mapDataPath) and opens, loads and decodes files
// (VXGame::openFile, loadData, loadString, ...; defined in datapath.cpp). Text files
// are UTF-16 with a byte-order mark, or UTF-8 (a leading UTF-8 mark is skipped),
// or Latin-1 when the bytes are not valid UTF-8. Paths meet libc narrowed to their
// low 8 bits per character; there is no UTF-8 conversion of file names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host/text.h"

// `path` in the program's scheme: unchanged when it has a scheme or drive prefix
// (its first "/" is the one of its first ":/") or starts with "./" or "/";
// otherwise "vantorix://data/" + path.
String toDataPath(const String& path);

// Whole-file loads read regular files only: a folder, FIFO, socket or device, or a
// file larger than its loader's bound, is refused unread as a missing file is, at
// once (a FIFO without a writer never makes a load wait).
constexpr size_t kMaxDataFileBytes = size_t(256) << 20;   // pictures, sounds, text

// The whole text of a data file (a relative name is a data path), empty when the
// file is missing or refused (above). Needs a current host (VXGame::current()).
String loadText(const String& path, size_t maxBytes = kMaxDataFileBytes);

// Decodes the bytes of a text file: the byte-order mark rules above, UTF-8 of one to
// four bytes (overlong forms accepted), Latin-1 when anything else is met.
String decodeText(const uint8_t* bytes, size_t size);
// The same into `text`, replacing what it held and reusing its storage.
void decodeText(const uint8_t* bytes, size_t size, String& text);

// Reads `file` from its current position to its end. The file stays open.
std::vector<uint8_t> readAll(FILE* file);

// The bytes of the file-system file `path` when it is a regular file of at most
// `maxBytes`; none otherwise, or when reading fails. The path is checked before it is
// opened and the opened file again, so nothing but a regular file is ever read.
std::optional<std::vector<uint8_t>> readRegularFile(const std::string& path, size_t maxBytes);

// Says on standard error, in one line, why the data file `name` (a path below the data
// folder) gave its loader nothing: "data/NAME: missing" when nothing is there, "...:
// cannot be read" when it cannot be opened as a file, otherwise "...: cannot be
// decoded". Loaders stay silent; the start-up reports what it could not use.
void reportDataFile(const String& name);

// The executable's folder from "/proc/<pid>/exe" (everything before the target's
// last "/"); empty when the link cannot be read, is 4096 bytes or longer, or holds
// no "/".
String executableFolder();
