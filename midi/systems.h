#pragma once
// The port graphs of the two MIDI systems (midi/ports.h's seam), each through a client
// of its own beside RtMidi's: the ALSA sequencer's (which also listens to the
// sequencer's port announcements) and JACK's. Both never start a server.
#include <memory>
#include <string>

#include "midi/ports.h"

// None when the system cannot be opened; `why` then says what failed.
std::unique_ptr<MidiPorts> openAlsaPorts(std::string& why);
std::unique_ptr<MidiPorts> openJackPorts(std::string& why);

// Turn off what libasound and libjack print on their own (for the whole process).
void silenceAlsa();
void silenceJack();
