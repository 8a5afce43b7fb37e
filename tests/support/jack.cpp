#include "jack.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
void quiet(const char*) {}

bool serverAnswers() {
    jack_status_t status{};
    jack_client_t* c = jack_client_open("probe", JackNoStartServer, &status);
    if (!c) return false;
    jack_client_close(c);
    return true;
}
}  // namespace

JackServer::JackServer() {
    static std::atomic<int> count{0};
    name_ = "tamo-test-" + std::to_string(getpid()) + "-" + std::to_string(count++);
    if (const char* old = getenv("JACK_DEFAULT_SERVER")) {
        hadOld_ = true;
        oldServer_ = old;
    }
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        int null = open("/dev/null", 1);
        dup2(null, 1);
        dup2(null, 2);
        execlp("jackd", "jackd", "--no-realtime", "-n", name_.c_str(), "-d", "dummy", "-r", "48000",
               "-p", "1024", (char*)nullptr);
        _exit(127);
    }
    for (int i = 0; i < 100 && pid_ > 0 && !ok_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ok_ = serverAnswers();
    }
}

JackServer::~JackServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (hadOld_) setenv("JACK_DEFAULT_SERVER", oldServer_.c_str(), 1);
    else unsetenv("JACK_DEFAULT_SERVER");
}

MidiKeyboard::MidiKeyboard(const char* clientName) {
    client_ = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (!client_) return;
    jack_port_t* port = jack_port_register(client_, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, process, this);
    if (port && jack_activate(client_) == 0) port_ = port;
}

MidiKeyboard::~MidiKeyboard() {
    if (client_) jack_client_close(client_);
}

std::string MidiKeyboard::portName() const { return port_ ? jack_port_name(port_) : ""; }

int MidiKeyboard::process(uint32_t frames, void* arg) {
    auto* self = static_cast<MidiKeyboard*>(arg);
    void* buffer = jack_port_get_buffer(self->port_, frames);
    jack_midi_clear_buffer(buffer);
    std::unique_lock<std::mutex> held(self->lock_, std::try_to_lock);
    if (!held || self->pending_.empty()) return 0;
    for (const std::vector<uint8_t>& m : self->pending_)
        if (jack_midi_event_write(buffer, 0, m.data(), m.size()) != 0) self->lost_ += 1;
    self->pending_.clear();
    self->cycles_ += 1;
    return 0;
}

bool MidiKeyboard::send(const std::vector<std::vector<uint8_t>>& messages) {
    int before = cycles_;
    {
        std::lock_guard<std::mutex> held(lock_);
        pending_ = messages;
    }
    for (int i = 0; i < 500 && cycles_ == before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return cycles_ != before && lost_ == 0;
}

bool MidiKeyboard::connectedTo(const std::string& port) const {
    return port_ && jack_port_connected_to(port_, port.c_str());
}
