// The ALSA sequencer backend: a client "Tonemark" with one input port. Every
// source is subscribed to that port through a queue of the program's own
// that stamps each event in real time as the sequencer receives it; the
// stamps are placed on the monotonic clock with StampClock. The System
// Announce port tells of ports that appear and go, so a keyboard plugged in
// while the program runs plays at once.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "midi_input/devices/open_midi_input.h"
#include "midi_input/midi_parser.h"
#include "midi_input/source_policy.h"
#include "midi_input/stamp_clock.h"

namespace tonemark {
namespace {

static_assert(kSeqCapRead == SND_SEQ_PORT_CAP_READ && kSeqCapSubsRead == SND_SEQ_PORT_CAP_SUBS_READ &&
              kSeqCapNoExport == SND_SEQ_PORT_CAP_NO_EXPORT);
static_assert(kSeqTypeHardware == SND_SEQ_PORT_TYPE_HARDWARE && kSeqTypePort == SND_SEQ_PORT_TYPE_PORT &&
              kSeqTypeMidiGeneric == SND_SEQ_PORT_TYPE_MIDI_GENERIC);

constexpr char kClientName[] = "Tonemark";

void Quiet(const char*, int, const char*, int, const char*, ...) {}

class AlsaMidiInput : public MidiInputBackend {
public:
    explicit AlsaMidiInput(MidiInputSink& sink) : sink_(sink) {}

    ~AlsaMidiInput() override {
        if (stopFd_ >= 0) {
            const std::uint64_t one = 1;
            (void)!write(stopFd_, &one, sizeof one);
        }
        if (reader_.joinable()) reader_.join();
        if (seq_ != nullptr) snd_seq_close(seq_);
        if (stopFd_ >= 0) close(stopFd_);
    }

    std::string Name() const override { return "alsa"; }

    bool Open(std::string& problem) {
        // ALSA prints its own complaints on stderr; a machine without a sequencer is no fault.
        snd_lib_error_set_handler(&Quiet);
        const int opened = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
        snd_lib_error_set_handler(nullptr);
        if (opened < 0) {
            seq_ = nullptr;
            problem = "there is no ALSA sequencer";
            return false;
        }
        snd_seq_set_client_name(seq_, kClientName);
        ownClient_ = snd_seq_client_id(seq_);
        port_ = snd_seq_create_simple_port(seq_, "Tonemark input", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        queue_ = snd_seq_alloc_named_queue(seq_, "Tonemark stamps");
        if (port_ < 0 || queue_ < 0) {
            problem = "its input port could not be made";
            return false;
        }
        snd_seq_start_queue(seq_, queue_, nullptr);
        snd_seq_drain_output(seq_);
        // Ports appearing and going, and connections made by hand, come in on the same port.
        snd_seq_connect_from(seq_, port_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
        stopFd_ = eventfd(0, EFD_CLOEXEC);
        if (stopFd_ < 0) {
            problem = "no event descriptor";
            return false;
        }
        ConnectSources();
        reader_ = std::thread([this] { Read(); });
        return true;
    }

private:
    std::vector<SeqSource> Sources() {
        std::vector<SeqSource> found;
        snd_seq_client_info_t* client = nullptr;
        snd_seq_port_info_t* port = nullptr;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(seq_, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(seq_, port) >= 0) {
                SeqSource s;
                s.client = id;
                s.port = snd_seq_port_info_get_port(port);
                s.clientName = snd_seq_client_info_get_name(client);
                s.portName = snd_seq_port_info_get_name(port);
                s.capability = snd_seq_port_info_get_capability(port);
                s.type = snd_seq_port_info_get_type(port);
                found.push_back(s);
            }
        }
        return found;
    }

    bool Subscribe(const SeqSource& source) {
        snd_seq_port_subscribe_t* sub = nullptr;
        snd_seq_port_subscribe_alloca(&sub);
        snd_seq_addr_t from{static_cast<unsigned char>(source.client), static_cast<unsigned char>(source.port)};
        snd_seq_addr_t to{static_cast<unsigned char>(ownClient_), static_cast<unsigned char>(port_)};
        snd_seq_port_subscribe_set_sender(sub, &from);
        snd_seq_port_subscribe_set_dest(sub, &to);
        snd_seq_port_subscribe_set_queue(sub, queue_);
        snd_seq_port_subscribe_set_time_update(sub, 1);
        snd_seq_port_subscribe_set_time_real(sub, 1);
        const int result = snd_seq_subscribe_port(seq_, sub);
        return result >= 0 || result == -EBUSY;  // EBUSY: connected already
    }

    void ConnectSources() {
        std::map<std::pair<int, int>, std::string> present;
        std::string added;
        for (const SeqSource& source : Sources()) {
            if (!ShouldConnectSeqSource(source, ownClient_, remembered_)) continue;
            const auto address = std::make_pair(source.client, source.port);
            present[address] = SeqSourceName(source);
            if (connected_.count(address) != 0) continue;
            if (Subscribe(source)) added += (added.empty() ? "" : ", ") + SeqSourceName(source);
            else present.erase(address);
        }
        std::string gone;
        for (const auto& [address, name] : connected_)
            if (present.count(address) == 0) gone += (gone.empty() ? "" : ", ") + name;
        connected_ = present;
        if (!gone.empty()) {
            sink_.SourcesLost(MonotonicNow());
            sink_.Message("MIDI keyboard unplugged: " + gone + ". It plays again when it comes back.");
        }
        if (!added.empty()) sink_.Message("MIDI keyboard connected: " + added + ".");
    }

    void Read() {
        std::vector<pollfd> fds(static_cast<std::size_t>(snd_seq_poll_descriptors_count(seq_, POLLIN)) + 1);
        snd_seq_poll_descriptors(seq_, fds.data() + 1, static_cast<unsigned>(fds.size() - 1), POLLIN);
        fds[0] = pollfd{stopFd_, POLLIN, 0};
        for (;;) {
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
            if (fds[0].revents != 0) return;
            bool portsChanged = false;
            snd_seq_event_t* event = nullptr;
            for (;;) {
                const int result = snd_seq_event_input(seq_, &event);
                if (result == -EAGAIN || result == -EWOULDBLOCK) break;
                if (result == -ENOSPC) {  // the sequencer's buffer ran over: events were lost
                    sink_.Message("The MIDI keyboard sent more than could be read: some notes were lost.");
                    continue;
                }
                if (result < 0 || event == nullptr) break;
                portsChanged |= Handle(*event);
            }
            if (portsChanged) ConnectSources();
        }
    }

    // True when the sequencer's ports changed.
    bool Handle(const snd_seq_event_t& e) {
        switch (e.type) {
        case SND_SEQ_EVENT_PORT_START:
        case SND_SEQ_EVENT_PORT_EXIT:
        case SND_SEQ_EVENT_CLIENT_START:
        case SND_SEQ_EVENT_CLIENT_EXIT: return true;
        case SND_SEQ_EVENT_PORT_SUBSCRIBED:
            // Someone connected a source to the program by hand: it is taken again when it comes back.
            if (e.data.connect.dest.client == ownClient_ && e.data.connect.sender.client != SND_SEQ_CLIENT_SYSTEM)
                RememberByHand(e.data.connect.sender);
            return false;
        default: break;
        }
        const MonotonicMicros readAt = MonotonicNow();
        const bool stamped = (e.flags & SND_SEQ_TIME_STAMP_MASK) == SND_SEQ_TIME_STAMP_REAL && e.queue == queue_;
        const MonotonicMicros when =
            stamped ? clock_.ToMonotonic(static_cast<std::int64_t>(e.time.time.tv_sec) * 1'000'000 +
                                             e.time.time.tv_nsec / 1000,
                                         readAt)
                    : readAt;
        std::optional<MidiInputEvent> decoded;
        switch (e.type) {
        case SND_SEQ_EVENT_NOTEON:
            decoded = DecodeChannelMessage(0x90 | (e.data.note.channel & 0x0F), e.data.note.note & 0x7F,
                                           e.data.note.velocity & 0x7F, when);
            break;
        case SND_SEQ_EVENT_NOTEOFF:
            decoded = DecodeChannelMessage(0x80 | (e.data.note.channel & 0x0F), e.data.note.note & 0x7F, 0, when);
            break;
        case SND_SEQ_EVENT_CONTROLLER:
            decoded = DecodeChannelMessage(0xB0 | (e.data.control.channel & 0x0F),
                                           static_cast<std::uint8_t>(e.data.control.param & 0x7F),
                                           static_cast<std::uint8_t>(e.data.control.value & 0x7F), when);
            break;
        default: break;  // clock, active sensing, system exclusive...
        }
        if (decoded) sink_.Event(*decoded);
        return false;
    }

    void RememberByHand(const snd_seq_addr_t& sender) {
        for (const SeqSource& source : Sources())
            if (source.client == sender.client && source.port == sender.port) remembered_.insert(SeqSourceName(source));
    }

    MidiInputSink& sink_;
    snd_seq_t* seq_ = nullptr;
    int ownClient_ = -1;
    int port_ = -1;
    int queue_ = -1;
    int stopFd_ = -1;
    std::thread reader_;
    StampClock clock_;
    std::set<std::string> remembered_;
    std::map<std::pair<int, int>, std::string> connected_;
};

}  // namespace

std::unique_ptr<MidiInputBackend> OpenAlsaMidiInput(MidiInputSink& sink, std::string& problem) {
    auto input = std::make_unique<AlsaMidiInput>(sink);
    if (!input->Open(problem)) return nullptr;
    return input;
}

}  // namespace tonemark
