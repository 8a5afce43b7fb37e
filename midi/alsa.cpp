// The ALSA sequencer's port graph: listing, third-party subscriptions, announcements.
#include <alsa/asoundlib.h>

#include "midi/systems.h"

namespace {

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

class AlsaPorts : public MidiPorts {
public:
    explicit AlsaPorts(snd_seq_t* seq) : seq_(seq) {}
    ~AlsaPorts() override { snd_seq_close(seq_); }

    std::vector<MidiPort> list() override {
        std::vector<MidiPort> ports;
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* info;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&info);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(seq_, client) >= 0) {
            snd_seq_port_info_set_client(info, snd_seq_client_info_get_client(client));
            snd_seq_port_info_set_port(info, -1);
            while (snd_seq_query_next_port(seq_, info) >= 0) ports.push_back(describe(info));
        }
        return ports;
    }

    bool connect(const MidiPort& from, const MidiPort& to) override {
        snd_seq_port_subscribe_t* sub;
        snd_seq_port_subscribe_alloca(&sub);
        snd_seq_addr_t sender{uint8_t(from.client), uint8_t(from.port)};
        snd_seq_addr_t dest{uint8_t(to.client), uint8_t(to.port)};
        snd_seq_port_subscribe_set_sender(sub, &sender);
        snd_seq_port_subscribe_set_dest(sub, &dest);
        return snd_seq_subscribe_port(seq_, sub) >= 0;
    }

    std::optional<MidiPort> announced() override {
        snd_seq_event_t* ev = nullptr;
        while (snd_seq_event_input(seq_, &ev) >= 0 && ev) {
            if (ev->type != SND_SEQ_EVENT_PORT_START) continue;
            snd_seq_port_info_t* info;
            snd_seq_port_info_alloca(&info);
            if (snd_seq_get_any_port_info(seq_, ev->data.addr.client, ev->data.addr.port, info) < 0)
                continue;
            return describe(info);
        }
        return std::nullopt;
    }

private:
    MidiPort describe(const snd_seq_port_info_t* info) {
        MidiPort p;
        p.client = snd_seq_port_info_get_client(info);
        p.port = snd_seq_port_info_get_port(info);
        p.name = snd_seq_port_info_get_name(info);
        snd_seq_client_info_t* client;
        snd_seq_client_info_alloca(&client);
        if (snd_seq_get_any_client_info(seq_, p.client, client) >= 0)
            p.clientName = snd_seq_client_info_get_name(client);
        unsigned caps = snd_seq_port_info_get_capability(info);
        bool exported = !(caps & SND_SEQ_PORT_CAP_NO_EXPORT);
        p.source = exported && (caps & SND_SEQ_PORT_CAP_READ) && (caps & SND_SEQ_PORT_CAP_SUBS_READ);
        p.sink = exported && (caps & SND_SEQ_PORT_CAP_WRITE) && (caps & SND_SEQ_PORT_CAP_SUBS_WRITE);
        return p;
    }

    snd_seq_t* seq_;
};

}  // namespace

std::unique_ptr<MidiPorts> openAlsaPorts(std::string& why) {
    snd_seq_t* seq = nullptr;
    int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (err < 0) {
        why = std::string("ALSA sequencer: ") + snd_strerror(err);
        return nullptr;
    }
    snd_seq_set_client_name(seq, "Tamo Tracker port watch");
    // A port of our own that only the sequencer's announcements reach.
    int listen = snd_seq_create_simple_port(seq, "announcements",
                                            SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                            SND_SEQ_PORT_TYPE_APPLICATION);
    if (listen >= 0) snd_seq_connect_from(seq, listen, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    return std::make_unique<AlsaPorts>(seq);
}

void silenceAlsa() { snd_lib_error_set_handler(quietAlsa); }
