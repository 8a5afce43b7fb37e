// Data paths, whole-file loading, text decoding, the saved state and URLs.
//
//   [paths]    toDataPath, executableFolder, VXGlfwGame::mapDataPath
//   [files]    openFile, readAll, readRegularFile, loadData, the image and sound
//              loaders, reportDataFile
//   [text]     decodeText, loadString, loadText
//   [state]    saveState, loadState
//   [urls]     VXGlfwGame::openUrl
#include "host/datapath.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/decode/ogg.h"
#include "host/decode/wav.h"
#include "host/decode/image.h"
#include "host/errors.h"
#include "host/game.h"

extern char** environ;

namespace {

const String kDataScheme = U"vantorix://data/";
const String kInternalScheme = U"vantorix://internal/";
const String kExternalScheme = U"vantorix://external/";
const char kStateFile[] = "./.vantorixstate";

bool startsWith(const String& text, const String& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const String& text, const String& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

String lowerAscii(String text) {
    for (char32_t& c : text)
        if (c >= U'A' && c <= U'Z') c += U'a' - U'A';
    return text;
}

}  // namespace

// ---- [paths] ----

String toDataPath(const String& path) {
    size_t scheme = path.find(U":/");
    if (scheme != String::npos && path.find(U'/') == scheme + 1) return path;
    if (startsWith(path, U"./") || startsWith(path, U"/")) return path;
    return kDataScheme + path;
}

String executableFolder() {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%i/exe", int(getpid()));
    char target[4096];
    ssize_t n = readlink(link, target, sizeof target);
    if (n < 0 || size_t(n) >= sizeof target) return String();
    String folder = widen(std::string(target, size_t(n)));
    size_t slash = folder.rfind(U'/');
    if (slash == String::npos) return String();
    return folder.substr(0, slash);
}

String VXGlfwGame::mapDataPath(const String& path) {
    if (dataRoot_.empty()) {
        dataRoot_ = executableFolder();
        // Without its own folder the program can find none of its data.
        if (dataRoot_.empty()) std::abort();
    }
    if (!startsWith(path, U"vantorix:")) return path;
    if (startsWith(path, kDataScheme))
        return dataRoot_ + U"/data/" + path.substr(kDataScheme.size());
    if (startsWith(path, kInternalScheme)) {
        if (internalRoot_.empty()) internalRoot_ = dataRoot_ + U"/internal";
        return internalRoot_ + U"/" + path.substr(kInternalScheme.size());
    }
    if (startsWith(path, kExternalScheme))
        return dataRoot_ + U"/external/" + path.substr(kExternalScheme.size());
    return String();
}

// ---- [files] ----

FILE* VXGame::openFile(const String& path, const char* mode) {
    String mapped = mapDataPath(path);
    if (mapped.empty()) return nullptr;
    return std::fopen(narrow(mapped).c_str(), mode);
}

std::vector<uint8_t> readAll(FILE* file) {
    std::vector<uint8_t> bytes;
    uint8_t block[4096];
    for (;;) {
        size_t n = std::fread(block, 1, sizeof block, file);
        bytes.insert(bytes.end(), block, block + n);
        if (n < sizeof block) break;
    }
    return bytes;
}

namespace {

// A descriptor of `path` open for reading when it is a regular file, else -1. A
// FIFO, socket or device is never opened when the path names one; one put in its
// place after that check opens without waiting (O_NONBLOCK) and is refused by the
// second check on the opened file.
int openRegular(const std::string& path, struct stat& info) {
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::optional<std::vector<uint8_t>> readRegularFile(const std::string& path, size_t maxBytes) {
    struct stat info;
    int fd = openRegular(path, info);
    if (fd < 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    bool ok = uint64_t(info.st_size) <= maxBytes;
    if (ok) {
        // One byte more than allowed tells a file that grew since it was checked.
        bytes.resize(size_t(info.st_size) + 1);
        size_t got = 0;
        for (;;) {
            if (got == bytes.size()) {
                if (bytes.size() > maxBytes) break;
                bytes.resize(std::min(maxBytes + 1, bytes.size() * 2 + 4096));
            }
            ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            got += size_t(n);
        }
        ok = ok && got <= maxBytes;
        bytes.resize(got);
    }
    close(fd);
    if (!ok) return std::nullopt;
    return bytes;
}

std::optional<std::vector<uint8_t>> VXGame::loadData(const String& path, size_t maxBytes) {
    String mapped = mapDataPath(path);
    if (mapped.empty()) return std::nullopt;
    return readRegularFile(narrow(mapped), maxBytes);
}

std::optional<ImagePixels> VXGame::loadImagePixels(const String& path) {
    std::optional<std::vector<uint8_t>> bytes = loadData(path);
    if (!bytes) return std::nullopt;
    return decodeImage(bytes->data(), bytes->size());
}

std::optional<DecodedSound> VXGame::loadAudioSamples(const String& path) {
    String lower = lowerAscii(path);
    bool wav = endsWith(lower, U".wav");
    bool ogg = !wav && endsWith(lower, U".ogg");
    if (!wav && !ogg) return std::nullopt;
    std::optional<std::vector<uint8_t>> bytes = loadData(path);
    if (!bytes) return std::nullopt;
    return wav ? decodeWav(bytes->data(), bytes->size()) : decodeOgg(bytes->data(), bytes->size());
}

void reportDataFile(const String& name) {
    String path = toDataPath(name);
    if (VXGame* game = VXGame::current()) path = game->mapDataPath(path);
    std::string file = narrow(path);
    struct stat info;
    const char* problem = "cannot be decoded";
    if (stat(file.c_str(), &info) != 0) {
        problem = errno == ENOENT || errno == ENOTDIR ? "missing" : "cannot be read";
    } else if (!S_ISREG(info.st_mode)) {
        problem = "cannot be read";
    } else if (FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
    } else {
        problem = "cannot be read";
    }
    debugLog(U"data/" + name + U": " + widen(problem));
}

// ---- [text] ----

namespace {

// UTF-16 units after a byte-order mark; each whole unit is one character.
void decodeUtf16(const uint8_t* bytes, size_t size, bool bigEndian, String& text) {
    text.clear();
    text.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        unsigned hi = bigEndian ? bytes[i] : bytes[i + 1];
        unsigned lo = bigEndian ? bytes[i + 1] : bytes[i];
        text += char32_t((hi << 8) | lo);
    }
}

// Strict UTF-8 of one to four bytes; false at the first byte that does not fit. The
// characters go straight into a text of the largest size they can take (one per byte).
bool decodeUtf8(const uint8_t* bytes, size_t size, String& text) {
    text.assign(size, U'\0');
    char32_t* out = text.data();
    size_t count = 0;
    size_t i = 0;
    while (i < size) {
        // Runs of ASCII, eight bytes at a time: most of a song file.
        if (size - i >= 8) {
            uint64_t eight;
            std::memcpy(&eight, bytes + i, 8);
            if ((eight & 0x8080808080808080ull) == 0) {
                std::copy(bytes + i, bytes + i + 8, out + count);
                i += 8;
                count += 8;
                continue;
            }
        }
        unsigned c = bytes[i];
        size_t extra;
        if (c < 0x80) extra = 0;
        else if ((c & 0xE0) == 0xC0) { extra = 1; c &= 0x1F; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; c &= 0x0F; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; c &= 0x07; }
        else return false;
        if (size - i - 1 < extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned b = bytes[i + k];
            if ((b & 0xC0) != 0x80) return false;
            c = (c << 6) | (b & 0x3F);
        }
        if (c > 0x10FFFF) return false;
        out[count++] = char32_t(c);
        i += extra + 1;
    }
    text.resize(count);
    return true;
}

}  // namespace

void decodeText(const uint8_t* bytes, size_t size, String& text) {
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return decodeUtf16(bytes + 2, size - 2, true, text);
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return decodeUtf16(bytes + 2, size - 2, false, text);
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        size -= 3;
    }
    if (!decodeUtf8(bytes, size, text)) text.assign(bytes, bytes + size);   // Latin-1
}

String decodeText(const uint8_t* bytes, size_t size) {
    String text;
    decodeText(bytes, size, text);
    return text;
}

String VXGame::loadString(const String& path, size_t maxBytes) {
    std::optional<std::vector<uint8_t>> bytes = loadData(path, maxBytes);
    if (!bytes) return String();
    return decodeText(bytes->data(), bytes->size());
}

String loadText(const String& path, size_t maxBytes) {
    VXGame* game = VXGame::current();
    return game ? game->loadString(toDataPath(path), maxBytes) : String();
}

// ---- [state] ----

// The state is UTF-8 (four bytes above U+FFFF, which loadState reads back).
// A write or close that fails reports -2: the text did not reach the file.
int VXGame::saveState(const String& text) {
    FILE* f = openFile(widen(kStateFile), "wb");
    if (!f) return -1;
    std::string bytes = encodeUtf8(text);
    size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    bool closed = std::fclose(f) == 0;
    return (written == bytes.size() && closed) ? 0 : -2;
}

String VXGame::loadState() {
    return loadString(widen(kStateFile));
}

// ---- [urls] ----

// Starts the desktop's opener with the URL as its one argument and waits for it.
// No shell is involved, so quotes and other signs in the URL cannot run commands.
void VXGlfwGame::openUrl(const String& url) {
    std::string target = narrow(url);
    char program[] = "xdg-open";
    char* argv[] = {program, target.data(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return;
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
}
