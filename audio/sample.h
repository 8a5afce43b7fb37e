#pragma once
// Samples: whole sounds held in OpenAL buffers, and the application's handle.
//
//   gxtkSample: one OpenAL buffer name (0 = none), filled once at load time from a
//               decoded WAV or OGG file; nothing is decoded while playing
//   c_Sound:    what the application holds; it wraps a gxtkSample
//   discarded:  buffer names of discarded or destroyed samples, deleted only when no
//               source holds them any more (the audio device flushes the list before
//               each load and each start); names that cannot be deleted wait
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/decode/decoded.h"
#include "host/object.h"

class gxtkSample : public Object {
public:
    gxtkSample() = default;
    gxtkSample(const gxtkSample&) = delete;
    gxtkSample& operator=(const gxtkSample&) = delete;
    ~gxtkSample() override;
    // Hands the buffer to the discarded list; the sample has none afterwards.
    virtual void discard();
    // Copies a decoded sound into a new buffer (replacing a previous one).
    void upload(const DecodedSound& sound);

    uint32_t buffer = 0;    // OpenAL buffer name, 0 when the sample has none
    int generation = 0;     // which device generation the buffer belongs to
};

class c_Sound : public Object {
public:
    explicit c_Sound(std::shared_ptr<gxtkSample> s) : sample(std::move(s)) {}
    std::shared_ptr<gxtkSample> sample;   // may be none
};

// The OpenAL format of a decoded sound: 8/16-bit, mono/stereo; 0 for anything else.
int uploadFormat(int bytesPerSample, int channels);

// Decodes a sound file's bytes by the file name's ending (".wav" or ".ogg", compared
// in lower case); none for any other ending or bytes the decoder refuses.
std::optional<DecodedSound> decodeSoundFile(const String& path, const uint8_t* data, size_t size);

// The decoded sound of a file: through the host's loader (its data paths and file
// access) when there is a host, else read as a plain file name.
std::optional<DecodedSound> loadAudioFile(const String& path);

// The discarded buffer list (process-wide; the audio device flushes it).
std::vector<uint32_t>& discardedBuffers();

// Buffers belong to the device that made them; a device's end bumps the generation,
// so samples that outlive it forget their names instead of discarding them into the
// next device's list.
int audioGeneration();
void endAudioGeneration();
