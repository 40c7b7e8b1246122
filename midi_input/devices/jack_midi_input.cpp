// The JACK backend: a client "tonemark" with a MIDI input port "midi_in".
// The process callback copies each event into a ring buffer with the time of
// its frame (the cycle's first frame plus the event's offset) on the
// server's clock, converted in that cycle, and wakes a reader thread, which
// places that time on the program's clock and hands the event on. The
// reader runs at real-time priority, just below the server's, when the
// server has it, so that a busy machine does not hold the notes back.
// Sources are connected from that thread too (JACK forbids it in its
// callbacks): hardware sources as they appear, and any source the user once
// connected by hand, by its name, when it comes back.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <jack/thread.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <thread>

#include "midi_input/devices/open_midi_input.h"
#include "midi_input/key_balance.h"
#include "midi_input/midi_parser.h"
#include "midi_input/source_policy.h"

namespace tonemark {
namespace {

constexpr char kClientName[] = "tonemark";
constexpr char kPortName[] = "midi_in";
constexpr std::size_t kRingBytes = 1 << 16;
// A frame the server's clock places further ahead of its reading than this
// is taken to have come when it was read.
constexpr MonotonicMicros kMostAheadMicros = 250'000;

// One event in the ring: its frame's time on the server's clock, its size, then its bytes.
struct RingHeader {
    jack_time_t stamp;
    std::uint32_t size;
};

class JackMidiInput : public MidiInputBackend {
public:
    JackMidiInput(MidiInputSink& sink, bool takeHardware) : sink_(sink), takeHardware_(takeHardware) {
        sem_init(&wake_, 0, 0);
    }

    ~JackMidiInput() override {
        stop_ = true;
        sem_post(&wake_);
        if (reader_.joinable()) reader_.join();
        Close();
        sem_destroy(&wake_);
    }

    std::string Name() const override { return "jack"; }

    bool Open(std::string& problem) {
        // No JACK server is no fault: the window says what it needs to, and
        // libjack's own lines on the terminal would only alarm.
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        jack_status_t status{};
        client_ = jack_client_open(kClientName, JackNoStartServer, &status);
        if (client_ == nullptr) {
            problem = "no JACK server is running";
            return false;
        }
        port_ = jack_port_register(client_, kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput | JackPortIsTerminal, 0);
        ring_ = jack_ringbuffer_create(kRingBytes);
        if (port_ == nullptr || ring_ == nullptr) {
            problem = "its MIDI input port could not be made";
            Close();
            return false;
        }
        ownPortName_ = jack_port_name(port_);
        ownClient_ = jack_get_client_name(client_);
        jack_set_process_callback(client_, &JackMidiInput::Process, this);
        jack_set_port_registration_callback(client_, &JackMidiInput::PortRegistered, this);
        jack_set_port_connect_callback(client_, &JackMidiInput::PortConnected, this);
        jack_on_info_shutdown(client_, &JackMidiInput::ServerGone, this);
        if (jack_activate(client_) != 0) {
            problem = "the JACK server would not run its client";
            Close();
            return false;
        }
        portsChanged_ = true;
        reader_ = std::thread([this] { Read(); });
        return true;
    }

private:
    void Close() {
        if (client_ != nullptr) {
            if (!serverGone_) jack_deactivate(client_);
            jack_client_close(client_);
            client_ = nullptr;
            port_ = nullptr;
        }
        if (ring_ != nullptr) {
            jack_ringbuffer_free(ring_);
            ring_ = nullptr;
        }
    }

    // The real-time thread: copies events, nothing else.
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackMidiInput*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        const jack_nframes_t cycleStart = jack_last_frame_time(self->client_);
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        bool wrote = false;
        auto put = [self, &wrote](jack_time_t stamp, const std::uint8_t* bytes, std::size_t size) {
            const RingHeader header{stamp, static_cast<std::uint32_t>(size)};
            if (jack_ringbuffer_write_space(self->ring_) < sizeof header + size) return false;
            jack_ringbuffer_write(self->ring_, reinterpret_cast<const char*>(&header), sizeof header);
            jack_ringbuffer_write(self->ring_, reinterpret_cast<const char*>(bytes), size);
            wrote = true;
            return true;
        };
        // Releases that found the ring full go first, late but not lost.
        if (self->balance_.AnyOwed()) {
            const jack_time_t now = jack_frames_to_time(self->client_, cycleStart);
            self->balance_.PayOwed([&](std::uint8_t status, std::uint8_t note) {
                const std::uint8_t bytes[3] = {status, note, 0};
                return put(now, bytes, sizeof bytes);
            });
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) continue;
            // System messages (SysEx, clock...) are read past; bytes that are no message are counted.
            const MessageForm form = FormOf(event.buffer, event.size);
            if (form != MessageForm::Channel) {
                if (form == MessageForm::Malformed) self->malformed_.fetch_add(1);
                continue;
            }
            const std::uint8_t status = event.buffer[0];
            const std::uint8_t note = event.size > 1 ? event.buffer[1] : 0;
            const std::uint8_t velocity = event.size > 2 ? event.buffer[2] : 0;
            if (!self->balance_.Admit(status, note, velocity)) continue;  // its press found no room
            // Converted now: the server's clock places this cycle's frames best while it runs.
            if (!put(jack_frames_to_time(self->client_, cycleStart + event.time), event.buffer, event.size)) {
                self->balance_.NoRoom(status, note, velocity);
                self->lost_.fetch_add(1);
            }
        }
        if (wrote) sem_post(&self->wake_);
        return 0;
    }

    static void PortRegistered(jack_port_id_t, int, void* arg) {
        auto* self = static_cast<JackMidiInput*>(arg);
        self->portsChanged_ = true;
        sem_post(&self->wake_);
    }

    // A source connected to the program's port, by whoever: remembered by name.
    static void PortConnected(jack_port_id_t a, jack_port_id_t b, int connect, void* arg) {
        auto* self = static_cast<JackMidiInput*>(arg);
        jack_port_t* from = jack_port_by_id(self->client_, a);
        jack_port_t* to = jack_port_by_id(self->client_, b);
        if (from == nullptr || to != self->port_) return;
        {
            std::lock_guard lock(self->namesMutex_);
            const std::string name = jack_port_name(from);
            if (connect) self->connectedByOthers_.insert(name);
        }
        self->portsChanged_ = true;
        sem_post(&self->wake_);
    }

    static void ServerGone(jack_status_t, const char*, void* arg) {
        auto* self = static_cast<JackMidiInput*>(arg);
        self->serverGone_ = true;
        sem_post(&self->wake_);
    }

    void Read() {
        if (jack_is_realtime(client_)) {
            const int priority = jack_client_real_time_priority(client_);
            // Refused (no permission), the reader runs as any other thread.
            if (priority > 1) jack_acquire_real_time_scheduling(pthread_self(), priority - 1);
        }
        bool toldGone = false;
        while (!stop_) {
            timespec until{};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_nsec += 200'000'000;
            if (until.tv_nsec >= 1'000'000'000) {
                until.tv_sec += 1;
                until.tv_nsec -= 1'000'000'000;
            }
            while (sem_timedwait(&wake_, &until) != 0 && errno == EINTR) {
            }
            if (stop_) break;
            if (serverGone_) {
                if (!toldGone) {
                    toldGone = true;
                    Drain();
                    sink_.SourcesLost(MonotonicNow());
                    sink_.Message("The JACK server went away: notes from JACK are no longer heard.");
                }
                continue;
            }
            Drain();
            if (lost_.exchange(0) > 0 && !toldFlood_) {
                toldFlood_ = true;
                sink_.Message("JACK sent more MIDI than could be read: some notes were lost.");
            }
            if (malformed_.exchange(0) > 0 && !toldMalformed_) {
                toldMalformed_ = true;
                sink_.Message("Bytes from JACK that are no MIDI message were ignored.");
            }
            if (portsChanged_.exchange(false) || retryConnecting_) ConnectSources();
        }
    }

    // Hands on every event in the ring, placed on the monotonic clock.
    void Drain() {
        while (jack_ringbuffer_read_space(ring_) >= sizeof(RingHeader)) {
            RingHeader header{};
            jack_ringbuffer_read(ring_, reinterpret_cast<char*>(&header), sizeof header);
            std::uint8_t bytes[3] = {0, 0, 0};
            jack_ringbuffer_read(ring_, reinterpret_cast<char*>(bytes), header.size);
            // The frame's time on the program's clock: both clocks are read
            // together, so their difference is known to a microsecond or two
            // whatever clock the server keeps. The server's clock may place a
            // frame ahead of the moment it is read: by up to a period for a
            // frame late in the cycle being run, by several when the server
            // runs cycles early to catch up after running late. Its word is
            // taken for it, within reason.
            const MonotonicMicros readAt = MonotonicNow();
            const auto serverNow = static_cast<std::int64_t>(jack_get_time());
            const auto stamp = static_cast<std::int64_t>(header.stamp);
            MonotonicMicros when = stamp - serverNow + readAt;
            if (when > readAt + kMostAheadMicros) when = readAt;
            // Events come in the order they were played: a server whose clock
            // jumped back (a dummy one running late, resetting its filter)
            // does not reorder them.
            when = std::max(when, lastWhen_);
            lastWhen_ = when;
            if (auto event = DecodeChannelMessage(bytes[0], bytes[1] & 0x7F, bytes[2] & 0x7F, when))
                sink_.Event(*event);
        }
    }

    // Connects the sources to take that are not connected yet, then tells
    // what is connected now that was not before, and what no longer is, by
    // the port's own connections: a source that is going away may still be
    // listed for a moment after its port was unregistered.
    void ConnectSources() {
        std::set<std::string> remembered;
        {
            std::lock_guard lock(namesMutex_);
            remembered = connectedByOthers_;
        }
        bool failed = false;
        const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
        for (const char** p = ports; p != nullptr && *p != nullptr; ++p) {
            jack_port_t* port = jack_port_by_name(client_, *p);
            if (port == nullptr) continue;
            const int flags = jack_port_flags(port);
            JackSource source{*p, (flags & JackPortIsOutput) != 0, (flags & JackPortIsPhysical) != 0 && takeHardware_,
                              true};
            if (!ShouldConnectJackSource(source, ownClient_, remembered)) continue;
            if (jack_port_connected_to(port_, *p)) continue;
            // Refused: the source is going away, or not ready yet; tried again shortly.
            if (jack_connect(client_, *p, ownPortName_.c_str()) != 0 && !jack_port_connected_to(port_, *p)) failed = true;
        }
        if (ports != nullptr) jack_free(ports);
        retryConnecting_ = failed;
        // Everything connected to the port now, by the program or by hand.
        std::set<std::string> now;
        if (const char** linked = jack_port_get_connections(port_)) {
            for (const char** p = linked; *p != nullptr; ++p) now.insert(*p);
            jack_free(linked);
        }
        std::string gone, newlyConnected;
        for (const std::string& name : connected_)
            if (now.count(name) == 0) gone += (gone.empty() ? "" : ", ") + name;
        for (const std::string& name : now)
            if (connected_.count(name) == 0) newlyConnected += (newlyConnected.empty() ? "" : ", ") + name;
        connected_ = now;
        if (!gone.empty()) {
            sink_.SourcesLost(MonotonicNow());
            sink_.Message("MIDI source gone: " + gone + ". It plays again when it comes back.");
        }
        if (!newlyConnected.empty()) sink_.Message("MIDI keyboard connected: " + newlyConnected + ".");
    }

    MidiInputSink& sink_;
    const bool takeHardware_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    jack_ringbuffer_t* ring_ = nullptr;
    std::string ownPortName_;
    std::string ownClient_;
    sem_t wake_{};
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> serverGone_{false};
    std::atomic<bool> portsChanged_{false};
    std::atomic<int> lost_{0};
    KeyBalance balance_;  // the real-time thread's
    std::atomic<int> malformed_{0};
    bool toldFlood_ = false;
    bool toldMalformed_ = false;
    std::mutex namesMutex_;
    std::set<std::string> connectedByOthers_;  // guarded by namesMutex_
    std::set<std::string> connected_;          // reader thread only
    bool retryConnecting_ = false;             // reader thread only
    MonotonicMicros lastWhen_ = 0;             // reader thread only
};

}  // namespace

std::unique_ptr<MidiInputBackend> OpenJackMidiInput(MidiInputSink& sink, bool takeHardware, std::string& problem) {
    auto input = std::make_unique<JackMidiInput>(sink, takeHardware);
    if (!input->Open(problem)) return nullptr;
    return input;
}

}  // namespace tonemark
