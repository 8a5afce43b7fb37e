// Samples and sound loading: the upload into OpenAL buffers, the discarded buffer
// list, the choice of decoder by file ending, and loadSound.
#include "audio/sample.h"

#include <AL/al.h>

#include <cstdio>

#include "audio/audio.h"
#include "host/decode/ogg.h"
#include "audio/sound.h"
#include "host/decode/wav.h"
#include "host/datapath.h"
#include "host/game.h"

namespace {

std::vector<uint32_t> discarded;   // buffer names waiting to be deleted
int generation = 1;                // of the device whose buffers the names are

bool endsWithLower(const String& path, const char* ending) {
    String tail = widen(ending);
    if (path.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char32_t c = path[path.size() - tail.size() + i];
        if (c >= U'A' && c <= U'Z') c += U'a' - U'A';
        if (c != tail[i]) return false;
    }
    return true;
}

// Without a host (tools, tests) a path is a plain file name.
std::optional<DecodedSound> readSoundFile(const String& path) {
    std::optional<std::vector<uint8_t>> bytes = readRegularFile(narrow(path), kMaxDataFileBytes);
    if (!bytes) return std::nullopt;
    return decodeSoundFile(path, bytes->data(), bytes->size());
}

}  // namespace

std::vector<uint32_t>& discardedBuffers() { return discarded; }
int audioGeneration() { return generation; }
void endAudioGeneration() {
    discarded.clear();
    ++generation;
}

int uploadFormat(int bytesPerSample, int channels) {
    if (bytesPerSample == 1 && channels == 1) return AL_FORMAT_MONO8;
    if (bytesPerSample == 1 && channels == 2) return AL_FORMAT_STEREO8;
    if (bytesPerSample == 2 && channels == 1) return AL_FORMAT_MONO16;
    if (bytesPerSample == 2 && channels == 2) return AL_FORMAT_STEREO16;
    return 0;
}

std::optional<DecodedSound> decodeSoundFile(const String& path, const uint8_t* data, size_t size) {
    if (endsWithLower(path, ".wav")) return decodeWav(data, size);
    if (endsWithLower(path, ".ogg")) return decodeOgg(data, size);
    return std::nullopt;
}

gxtkSample::~gxtkSample() { discard(); }

// The buffer may still be attached to a source, so it is only listed here.
void gxtkSample::discard() {
    if (buffer != 0 && generation == ::generation) discarded.push_back(buffer);
    buffer = 0;
}

// A format OpenAL refuses (0) leaves the new buffer empty: the sample plays silence.
void gxtkSample::upload(const DecodedSound& sound) {
    discard();
    ALuint name = 0;
    alGenBuffers(1, &name);
    size_t bytes = size_t(sound.length > 0 ? sound.length : 0) * size_t(sound.channels > 0 ? sound.channels : 0) *
                   size_t(sound.format > 0 ? sound.format : 0);
    if (bytes > sound.data.size()) bytes = sound.data.size();
    alBufferData(name, uploadFormat(sound.format, sound.channels), sound.data.data(), ALsizei(bytes), sound.hertz);
    buffer = name;
    generation = ::generation;
}

// The host's loader when there is a host; a plain file read otherwise.
std::optional<DecodedSound> loadAudioFile(const String& path) {
    if (VXGame* game = VXGame::current()) return game->loadAudioSamples(path);
    return readSoundFile(path);
}

std::shared_ptr<c_Sound> loadSound(const String& path) {
    if (!audioDevice) return nullptr;
    String resolved = VXGame::current() ? toDataPath(path) : path;
    std::shared_ptr<gxtkSample> sample = audioDevice->loadSample(resolved);
    if (!sample) return nullptr;
    return std::make_shared<c_Sound>(std::move(sample));
}
