// Note-on and note-off out of raw MIDI messages.
#include "midi/message.h"

std::optional<MidiNote> decodeNote(const MidiMessage& message) {
    if (message.size < 3) return std::nullopt;
    int kind = message.bytes[0] & 0xF0;
    if (kind != 0x80 && kind != 0x90) return std::nullopt;
    MidiNote note;
    note.channel = message.bytes[0] & 0x0F;
    note.key = message.bytes[1] & 0x7F;
    note.velocity = message.bytes[2] & 0x7F;
    note.on = kind == 0x90 && note.velocity > 0;
    return note;
}
