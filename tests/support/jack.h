#pragma once
// A private JACK server on its dummy backend (no sound card) and a keyboard stand-in.
//
// JackServer starts jackd under a name of its own and points JACK_DEFAULT_SERVER at it,
// so every JACK client of the test process and of the programs it starts talks to that
// server; parallel tests never meet. It stops the server at the end.
//
// MidiKeyboard is a JACK client with one MIDI output port ("keys"): what send() is given
// leaves in one process cycle, so it all arrives within one JACK period.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

class JackServer {
public:
    JackServer();
    ~JackServer();
    bool ok() const { return ok_; }
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    std::string oldServer_;   // JACK_DEFAULT_SERVER before
    bool hadOld_ = false;
    bool ok_ = false;
};

struct _jack_client;
struct _jack_port;

class MidiKeyboard {
public:
    explicit MidiKeyboard(const char* clientName = "Test Keyboard");
    ~MidiKeyboard();
    bool ok() const { return port_ != nullptr; }
    std::string portName() const;   // "Test Keyboard:keys"
    // Sends every message (1 to 3 bytes each) in the next process cycle, in order;
    // returns once they left (false after 5 s without a cycle, or when one did not fit).
    bool send(const std::vector<std::vector<uint8_t>>& messages);
    // Whether the port is connected to the port of that full name.
    bool connectedTo(const std::string& port) const;

private:
    static int process(uint32_t frames, void* self);
    _jack_client* client_ = nullptr;
    _jack_port* port_ = nullptr;
    std::mutex lock_;
    std::vector<std::vector<uint8_t>> pending_;
    std::atomic<int> cycles_{0};   // cycles that sent what was pending
    std::atomic<int> lost_{0};     // messages the port's buffer had no room for
};
