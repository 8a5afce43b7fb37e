// A JACK server's MIDI port graph, through a client that is never activated.
#include <jack/jack.h>

#include <cerrno>
#include <map>

#include "midi/systems.h"

namespace {

void quietJack(const char*) {}

class JackPorts : public MidiPorts {
public:
    explicit JackPorts(jack_client_t* client) : client_(client) {}
    ~JackPorts() override { jack_client_close(client_); }

    std::vector<MidiPort> list() override {
        std::vector<MidiPort> ports;
        const char** all = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, 0);
        std::map<std::string, int> clients;
        for (int i = 0; all && all[i]; ++i) {
            std::string full = all[i];
            size_t colon = full.find(':');
            MidiPort p;
            p.clientName = full.substr(0, colon);
            p.name = colon == std::string::npos ? full : full.substr(colon + 1);
            p.client = clients.emplace(p.clientName, int(clients.size()) + 1).first->second;
            p.port = i;
            int flags = jack_port_flags(jack_port_by_name(client_, all[i]));
            p.source = flags & JackPortIsOutput;
            p.sink = flags & JackPortIsInput;
            ports.push_back(p);
        }
        if (all) jack_free(all);
        return ports;
    }

    bool connect(const MidiPort& from, const MidiPort& to) override {
        int err = jack_connect(client_, fullName(from).c_str(), fullName(to).c_str());
        return err == 0 || err == EEXIST;
    }

    std::optional<MidiPort> announced() override { return std::nullopt; }

private:
    static std::string fullName(const MidiPort& p) { return p.clientName + ":" + p.name; }
    jack_client_t* client_;
};

}  // namespace

std::unique_ptr<MidiPorts> openJackPorts(std::string& why) {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Tamo Tracker connections", JackNoStartServer, &status);
    if (!client) {
        why = (status & JackServerFailed) ? "JACK: no server running" : "JACK: the server refused a client";
        return nullptr;
    }
    return std::make_unique<JackPorts>(client);
}

void silenceJack() {
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
}
