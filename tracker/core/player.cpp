// The player (c_tamoPlay): loading its copy, the voice operations, the tick, and
// playing a song once through into memory.
//
// Sections:
//   [loading]         samples and the song copy
//   [voices]          startVoicePair, triggerNote
//   [tick]            playerTick and its steps, in the order they run
//   [once through]    playPasses and playOnceThrough for the export
#include "tracker/core/player.h"

#include <vector>

#include "audio/audio.h"
#include "audio/sound.h"
#include "host/datapath.h"
#include "tracker/core/songfile.h"

// ---- [loading] ----

c_tamoPlay::c_tamoPlay() : out(&audioChannels()) {}

void c_tamoPlay::reloadSamples() {
    for (int i = 0; i < kWaveSamples; ++i) waveSamples[i] = loadSound(kWaveFiles[i]);
}

bool c_tamoPlay::takeSongText(const String& text) {
    Song copy;
    if (!readSong(text, copy)) return false;
    song = std::move(copy);
    // The copy keeps its speed as a float; a stored 0 would never read a row.
    char32_t stored = text[5];
    speed = stored == 0 ? 5.0f : float(stored);
    return true;
}

bool c_tamoPlay::loadIntoPlayer(const String& path) {
    reloadSamples();
    String text = loadText(path, kMaxSongFileBytes);
    return !text.empty() && takeSongText(text);
}

// ---- [voices] ----

void c_tamoPlay::startVoicePair(const c_Sound* main, int channel, const c_Sound* second) {
    out->stop(channel);
    out->stop(channel + 4);
    if (main) out->play(main, channel, 1);
    if (second) out->play(second, channel + 4, 1);
}

void c_tamoPlay::triggerNote(const c_Sound* main, float pitch, int channel, const c_Sound* second,
                             int volumeDigit, int octaveDigit) {
    if (pitch == float(octaveDigit * 12 + 104)) {   // "<": note value 128
        out->stop(channel);
        out->stop(channel + 4);
    }
    if (pitch <= 43 && volumeDigit > 0) startVoicePair(main, channel, second);
}

// ---- [tick] ----

void c_tamoPlay::playerTick() {
    // Positions come from the transport; one outside the order list restarts the song.
    if (playPosition < 0 || playPosition >= kOrderLength) playPosition = 0;
    patternBase = played().orderList[playPosition] * kRowsPerPattern;
    if (rowDue()) readRow();
    std::array<Instrument, kChannels> instruments;   // read again at every tick
    for (int i = 0; i < kChannels; ++i) instruments[i] = Instrument::of(played(), channelInstrument[i]);
    sendLevels(instruments);
    sendRates(instruments);
    tick += 1.0f;
}

// Reads the row at patternBase + playRow of every column, each step for all four
// channels before the next, then moves to the next row or position.
void c_tamoPlay::readRow() {
    const Song& song = played();
    const int row = patternBase + playRow;
    for (int i = 0; i < kChannels; ++i) {
        ChannelState& s = channels[i];
        s.rowNote = float(noteValue(song.cell(noteColumn(i + 1), row)));
        if (s.rowNote < kSlideDown) {
            s.restart();
            s.slide = 0;
            s.playingNote = s.rowNote;
        }
        if (lentChannel == i + 1 && (s.rowNote < kSlideDown || s.rowNote == kNoteOff)) lentChannel = 0;
    }
    for (int i = 0; i < kChannels; ++i)
        rowInstrument[i] = hexValue(song.cell(instrumentColumn(i + 1), row));
    for (int i = 0; i < kChannels; ++i) {
        int v = hexValue(song.cell(volumeColumn(i + 1), row));
        if (v != 0) channelVolume[i] = float(v) * 0.125f * channelEnable[i];
    }
    for (int i = 0; i < kChannels; ++i)
        rowOctave[i] = decimalValue(song.cell(octaveColumn(i + 1), row));
    for (int i = 0; i < kChannels; ++i) {
        if (auto pair = wavPair(song.param(rowInstrument[i], 0))) {
            mainSample[i] = waveSamples[pair->first];
            secondSample[i] = waveSamples[pair->second];
        }
    }
    for (int i = 0; i < kChannels; ++i)
        if (rowInstrument[i] != 0) channels[i].detuneDepth = float(song.param(rowInstrument[i], 1));
    for (int i = 0; i < kChannels; ++i) {
        if (channelVolume[i] == 0) continue;
        int octaveDigit = decimalValue(song.cell(octaveColumn(i + 1), row));
        int volumeDigit = hexValue(song.cell(volumeColumn(i + 1), row));
        triggerNote(mainSample[i].get(), float(12 * octaveDigit) + channels[i].rowNote - 24.0f,
                    i + 1, secondSample[i].get(), volumeDigit, rowOctave[i]);
    }
    for (int i = 0; i < kChannels; ++i) {
        if (rowInstrument[i] == 0) continue;
        channelInstrument[i] = rowInstrument[i];
        channelOctave[i] = rowOctave[i];
    }
    for (auto& s : channels) s.lastRowNote = s.rowNote;
    endRow();
}

// "-" in channel 1, 2 or 3 jumps to the last row, in channel 4 past it; after the
// last row playback moves to the next position, looping after the song's last one
// and never running past the end of the order list.
void c_tamoPlay::endRow() {
    for (int i = 0; i < 3; ++i)
        if (channels[i].rowNote == kPatternEnd) playRow = 31;
    if (channels[3].rowNote == kPatternEnd) {
        playRow = 32;
        tick = 0;
    } else {
        tick = 0;
        playRow += 1;
    }
    if (playRow != 32) return;
    playRow = 0;
    playPosition += 1;
    if (playPosition == played().songLength / kRowsPerPattern || playPosition >= kOrderLength) {
        playPosition = 0;
        ++loopCount;
    }
}

// Every channel's level, pair by pair (1, 5, 2, 6, ...), before any rate. A lent
// channel's voice goes on counting but sends nothing.
void c_tamoPlay::sendLevels(const std::array<Instrument, kChannels>& instruments) {
    for (int i = 0; i < kChannels; ++i) {
        float level = channels[i].decayAgainst(channelVolume[i], instruments[i]);
        if (lentChannel == i + 1) continue;
        out->setVolume(i + 1, level);
        out->setVolume(i + 5, level);
    }
}

// "+" slides down and "#" up, by 0.005 of rate factor per tick per volume step.
void c_tamoPlay::sendRates(const std::array<Instrument, kChannels>& instruments) {
    for (int i = 0; i < kChannels; ++i) {
        ChannelState& s = channels[i];
        s.stepPitch(instruments[i]);
        if (s.lastRowNote == kSlideDown) s.slide -= channelVolume[i] * 8.0f * 0.005f;
        if (s.lastRowNote == kSlideUp) s.slide += channelVolume[i] * 8.0f * 0.005f;
        VoiceRates rates = s.rates(s.playingNote, channelOctave[i], s.slide);
        if (lentChannel == i + 1) continue;
        out->setRate(i + 1, rates.main);
        out->setRate(i + 5, rates.second);
    }
}

// ---- [once through] ----

RenderSummary playPasses(c_tamoPlay& player, int maxPassTicks,
                         const std::function<bool(int passes)>& afterTick) {
    RenderSummary summary;
    player.tick = 0;
    player.playPosition = 0;
    player.patternBase = 0;
    player.playRow = 0;
    stopAllChannels(*player.out);
    // A row is read when tick reaches speed; a speed that counting from 0 never
    // reaches, or that is longer than a whole pass, reads no row at all.
    const float speed = player.speed;
    if (!(speed >= 1.0f) || speed != float(int(speed)) || speed > float(maxPassTicks)) return summary;
    while (!player.rowDue()) player.playerTick();

    const int startLoops = player.loopCount;
    int passTicks = 0;
    for (;;) {
        if (player.rowDue()) ++summary.rows;
        player.playerTick();
        ++summary.ticks;
        ++passTicks;
        bool passEnds = player.loopCount - startLoops > summary.passes && player.rowDue();
        if (passEnds) {
            ++summary.passes;
            summary.looped = true;
            passTicks = 0;
        }
        if (!afterTick(summary.passes) || passTicks >= maxPassTicks) break;
    }
    return summary;
}

RenderSummary playOnceThrough(c_tamoPlay& player, gxtkAudio& device,
                              const std::function<bool(const int16_t*, int)>& sink,
                              int maxTicks) {
    std::vector<int16_t> frames(size_t(kFramesPerTick) * 2);
    bool failed = false;
    RenderSummary summary = playPasses(player, maxTicks, [&](int passes) {
        device.render(frames.data(), kFramesPerTick);
        failed = !sink(frames.data(), kFramesPerTick);
        return !failed && passes == 0;
    });
    summary.sinkFailed = failed;
    return summary;
}
