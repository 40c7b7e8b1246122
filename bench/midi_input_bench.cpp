// A MIDI keyboard over JACK, timed: a sender client of this benchmark plays
// notes into the window's MIDI input ("tonemark:midi_in"), each event on a
// frame of its choosing, while the user-interface thread is stalled for 20 ms
// every 40-160 ms. The window runs offscreen with its real MIDI bridge and
// records a take.
//
// An event's true time is its frame's time on the server's clock, as the
// server converts it in the cycle that carries it (jack_frames_to_time),
// moved onto the program's monotonic clock. Prints, in milliseconds:
//  - row error: the take's row time against the true time, both counted from
//    the take's first event (what the event list and the file show);
//  - tick error: the tick the event was stored on against the tick due right
//    after its true time (0 when the event landed on its own millisecond);
//  - note call: from the moment the server handed the event over (the sender's
//    process callback in the cycle that carries it) to the synthesiser's note
//    call on the input's thread; and from the event's true time to that call
//    (negative for an event that lies later in its cycle than the call).
// Also checks that every note and velocity arrived as sent.
//
// Needs a running JACK server (JACK_DEFAULT_SERVER names it);
// bench/midi_input_bench.sh starts a dummy one, runs this and cleans up.
//
// With --flood, a flood of 10,000 events a second with malformed bytes among
// them, between two short phrases, and no stalls: prints how long the window
// took to handle an event posted to it every 2 ms meanwhile, what the take
// kept around the flood and what the message line said.
//
// Usage: midi_input_bench [notes] [stall ms] (default 200 notes, 20 ms)
//        midi_input_bench --flood [seconds] (default 3)
#include <jack/jack.h>
#include <jack/midiport.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_platform.h"
#include "bench_window.h"
#include "percentile.h"
#include "keyboard/recorder.h"
#include "midi_input/qt/midi_bridge.h"
#include "sound/synth.h"

namespace {

using namespace tonemark;

// The synthesiser as the input thread meets it: each note call is stamped.
class StampingRoot : public SynthRoot {
public:
    std::unique_ptr<SongLoader> CreateLoader() override { return nullptr; }
    std::unique_ptr<SynthPlayer> CreatePlayer() override { return nullptr; }
    bool PlayNow(int, int status, int data1, int data2) override {
        const MonotonicMicros now = MonotonicNow();
        std::lock_guard lock(mutex);
        if (status != 0xB0) calls.push_back({now, status, data1, data2});
        return true;
    }
    struct Call {
        MonotonicMicros at;
        int status, note, velocity;
    };
    std::mutex mutex;
    std::vector<Call> calls;
};

struct SentEvent {
    jack_nframes_t frame;
    std::array<std::uint8_t, 3> bytes;
    std::uint8_t size = 3;
    // Filled in by the sender's process callback.
    jack_time_t serverTime = 0;       // the frame's time on the server's clock
    MonotonicMicros handedOver = 0;   // when the cycle carrying it ran
};

// A JACK client with one MIDI output port that writes each event on its frame.
class Sender {
public:
    bool Open() {
        client_ = jack_client_open("midi_bench_sender", JackNoStartServer, nullptr);
        if (client_ == nullptr) return false;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &Sender::Process, this);
        jack_set_xrun_callback(
            client_, [](void* arg) { return static_cast<Sender*>(arg)->xruns_.fetch_add(1), 0; }, this);
        return port_ != nullptr && jack_activate(client_) == 0;
    }
    ~Sender() {
        if (client_ != nullptr) jack_client_close(client_);
    }
    jack_client_t* Client() const { return client_; }
    const char* PortName() const { return jack_port_name(port_); }

    // The events to send, in frame order; sent from the next cycle on.
    void Arm(std::vector<SentEvent> events) {
        events_ = std::move(events);
        next_ = 0;
        xruns_ = 0;
        armed_ = true;
    }
    bool Finished() const { return armed_ && next_.load() == events_.size(); }
    const std::vector<SentEvent>& Events() const { return events_; }
    int Xruns() const { return xruns_; }

private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Sender*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        jack_midi_clear_buffer(buffer);
        if (!self->armed_) return 0;
        const MonotonicMicros now = MonotonicNow();
        const jack_nframes_t start = jack_last_frame_time(self->client_);
        std::size_t i = self->next_;
        for (; i < self->events_.size(); ++i) {
            SentEvent& e = self->events_[i];
            if (static_cast<std::int32_t>(e.frame - (start + frames)) >= 0) break;
            const jack_nframes_t offset = static_cast<std::int32_t>(e.frame - start) > 0 ? e.frame - start : 0;
            jack_midi_event_write(buffer, offset, e.bytes.data(), e.size);
            e.serverTime = jack_frames_to_time(self->client_, start + offset);
            e.handedOver = now;
        }
        self->next_ = i;
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::vector<SentEvent> events_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> armed_{false};
    std::atomic<int> xruns_{0};
};

// Program's monotonic clock minus the server's, from the closest of a few readings.
std::int64_t ServerToMonotonic() {
    std::int64_t best = 0, spread = -1;
    for (int i = 0; i < 200; ++i) {
        const MonotonicMicros a = MonotonicNow();
        const auto server = static_cast<std::int64_t>(jack_get_time());
        const MonotonicMicros b = MonotonicNow();
        if (spread < 0 || b - a < spread) {
            spread = b - a;
            best = (a + b) / 2 - server;
        }
    }
    return best;
}

// A melody of `notes` notes between middle C and C6 with random velocities:
// notes of 20-90 ms, a fifth of them legato over the next; every event at
// least 3 ms from the others, on a random frame.
std::vector<SentEvent> Melody(int notes, jack_nframes_t first, jack_nframes_t rate) {
    std::mt19937 r(23);
    auto ms = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(r); };
    std::vector<std::pair<double, std::array<std::uint8_t, 3>>> timed;
    double t = 0;
    for (int i = 0; i < notes; ++i) {
        const auto note = static_cast<std::uint8_t>(ms(60, 84));
        const auto velocity = static_cast<std::uint8_t>(ms(1, 127));
        const double length = ms(20, 90) + ms(0, 999) / 1000.0;
        timed.push_back({t, {0x90, note, velocity}});
        const bool legato = ms(0, 4) == 0;
        double next = legato ? t + length - ms(5, 15) : t + length + ms(10, 60) + ms(0, 999) / 1000.0;
        // A release by a note-on of velocity 0 now and then (running status's usual form).
        timed.push_back({t + length, {static_cast<std::uint8_t>(ms(0, 3) == 0 ? 0x90 : 0x80), note, 0}});
        t = next;
    }
    std::sort(timed.begin(), timed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SentEvent> events;
    double last = -10;
    for (auto& [when, bytes] : timed) {
        when = std::max(when, last + 3);
        last = when;
        events.push_back({first + static_cast<jack_nframes_t>(when * rate / 1000.0), bytes});
    }
    return events;
}

// A flood of `seconds` at 10,000 events a second between two short phrases:
// notes on and off over notes 36-96, and every 50th event bytes that are no
// MIDI message (data with no status, a note cut short, a data byte with its
// top bit set). Each phrase is five notes; the second begins 300 ms after the flood.
std::vector<SentEvent> Flood(double seconds, jack_nframes_t first, jack_nframes_t rate) {
    std::vector<SentEvent> events;
    auto at = [&](double ms) { return first + static_cast<jack_nframes_t>(ms * rate / 1000.0); };
    auto phrase = [&](double from) {
        for (int i = 0; i < 5; ++i) {
            const auto note = static_cast<std::uint8_t>(60 + 2 * i);
            events.push_back({at(from + 100 * i), {0x90, note, static_cast<std::uint8_t>(40 + 20 * i)}});
            events.push_back({at(from + 100 * i + 80), {0x80, note, 0}});
        }
    };
    phrase(0);
    const SentEvent malformed[] = {{0, {0x3C, 0x40, 0x00}, 3}, {0, {0x90, 0x3C, 0}, 2}, {0, {0x90, 0xBC, 0x40}, 3}};
    const int count = static_cast<int>(seconds * 10000);
    for (int i = 0; i < count; ++i) {
        const auto note = static_cast<std::uint8_t>(36 + (i / 2) % 61);
        const jack_nframes_t frame = at(550 + i / 10.0);
        events.push_back({frame, {static_cast<std::uint8_t>(i % 2 == 0 ? 0x90 : 0x80), note,
                                  static_cast<std::uint8_t>(i % 2 == 0 ? 1 + i % 127 : 0)}});
        if (i % 50 == 49) {
            SentEvent bad = malformed[(i / 50) % 3];
            bad.frame = frame;
            events.push_back(bad);
        }
    }
    phrase(550 + seconds * 1000 + 300);
    return events;
}

void BusyWait(std::chrono::microseconds d) {
    const auto end = std::chrono::steady_clock::now() + d;
    while (std::chrono::steady_clock::now() < end) {
    }
}

void Print(const char* what, const std::vector<double>& v) {
    std::printf("%-58s p50 %6.3f  p99 %6.3f  max %6.3f\n", what, Percentile(v, 0.5), Percentile(v, 0.99),
                Percentile(v, 1.0));
}

std::vector<double> Abs(std::vector<double> v) {
    for (double& x : v) x = std::abs(x);
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("JACK_NO_START_SERVER", "1", 1);
    QApplication app(argc, argv);
    const bool flood = argc > 1 && std::string(argv[1]) == "--flood";
    const double floodSeconds = flood && argc > 2 ? std::atof(argv[2]) : 3;
    const int notes = !flood && argc > 1 ? std::atoi(argv[1]) : 200;
    const int stallMs = flood ? 0 : argc > 2 ? std::atoi(argv[2]) : 20;

    Sender sender;
    if (!sender.Open()) {
        std::printf("no JACK server to send to (start one: bench/midi_input_bench.sh)\n");
        return 1;
    }
    const jack_nframes_t rate = jack_get_sample_rate(sender.Client());
    const jack_nframes_t period = jack_get_buffer_size(sender.Client());

    Main m;
    BenchPlatform platform("tonemark-midi-input-bench");
    m.platform = &platform;
    m.makeSynthRoot = [](SoundStatus& status) -> std::unique_ptr<SynthRoot> {
        status.message = "no synthesiser in this benchmark";
        return nullptr;
    };
    MainWindow window(m);
    Form_Load(m);
    window.Sync();
    window.show();
    StampingRoot synth;
    auto* bridge = new MidiBridge(window, 0);
    bridge->SetSynth(&synth);

    std::mt19937 random(7);
    QTimer staller;
    staller.setSingleShot(true);
    QObject::connect(&staller, &QTimer::timeout, [&] {
        BusyWait(std::chrono::milliseconds(stallMs));
        staller.start(std::uniform_int_distribution<int>(40, 160)(random));
    });

    std::atomic<bool> done{false};
    std::atomic<bool> failed{false};
    std::int64_t offset = 0;
    std::thread player([&] {
        for (int i = 0; i < 500 && jack_port_by_name(sender.Client(), "tonemark:midi_in") == nullptr; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (jack_connect(sender.Client(), sender.PortName(), "tonemark:midi_in") != 0) {
            failed = true;
            done = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        offset = ServerToMonotonic();
        const jack_nframes_t first = jack_frame_time(sender.Client()) + rate / 2;
        sender.Arm(flood ? Flood(floodSeconds, first, rate) : Melody(notes, first, rate));
        while (!sender.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        done = true;
    });
    window.Handle(Command2_Click);  // "Rec"
    if (stallMs > 0) staller.start(50);
    // How long the window takes to handle an event posted to it, every 2 ms,
    // and every text the message line shows.
    std::vector<double> handlingDelays;
    std::vector<std::string> said;
    std::atomic<bool> probing{true};
    std::thread prober([&] {
        while (probing) {
            const MonotonicMicros posted = MonotonicNow();
            QMetaObject::invokeMethod(
                &window, [posted, &handlingDelays] { handlingDelays.push_back((MonotonicNow() - posted) / 1000.0); },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    QTimer captions;
    QObject::connect(&captions, &QTimer::timeout, [&] {
        if (!m.ui.StatusLine.caption.empty() && (said.empty() || said.back() != m.ui.StatusLine.caption))
            said.push_back(m.ui.StatusLine.caption);
    });
    captions.start(5);
    RunUntil(done);
    probing = false;
    prober.join();
    player.join();
    staller.stop();
    if (failed) {
        std::printf("could not connect to tonemark:midi_in\n");
        return 1;
    }
    // Events still on their way to the window are handled before "Stop".
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    window.Handle([](Main& mm) { RunTimer3Until(mm, MonotonicNow()); });
    const MonotonicMicros start = m.Timer3Clock.Started();
    const std::int64_t firstTick = m.takeFirstTick;
    const std::vector<std::int16_t> ticks = m.state.RecTicks;
    const std::vector<std::uint8_t> velocities = m.recVelocity;
    window.Handle(Command3_Click);  // "Stop"
    if (flood) {
        const std::vector<SentEvent>& sent = sender.Events();
        std::size_t notesSent = 0;
        for (const SentEvent& e : sent) notesSent += e.size == 3 && (e.bytes[0] == 0x90 || e.bytes[0] == 0x80) && e.bytes[1] < 0x80;
        std::size_t heard = 0;
        {
            std::lock_guard lock(synth.mutex);
            heard = synth.calls.size();
        }
        const std::vector<std::string> rows = RawTakeLog(ticks, velocities);
        std::printf("MIDI flood over JACK: %.1f s at 10,000 events a second, %zu events (%zu notes on and off, the "
                    "rest malformed), period %u frames; server xruns: %d\n",
                    floodSeconds, sent.size(), notesSent, period, sender.Xruns());
        std::printf("note calls: %zu; take rows: %zu (the two phrases around the flood are 20)\n", heard,
                    rows.size() - 2);
        for (std::size_t i = 0; i < 10 && i < rows.size(); ++i) std::printf("  first rows: %s\n", rows[i].c_str());
        for (std::size_t i = rows.size() > 12 ? rows.size() - 12 : 0; i + 2 < rows.size(); ++i)
            std::printf("  last rows: %s\n", rows[i].c_str());
        Print("window: an event posted every 2 ms, handled after (ms):", handlingDelays);
        for (const std::string& text : said) std::printf("message line: %s\n", text.c_str());
        return 0;
    }

    const std::vector<SentEvent>& sent = sender.Events();
    std::vector<std::int64_t> stored;  // tick numbers of the stored events
    for (std::size_t i = 0; i < ticks.size(); ++i)
        if (ticks[i] != 0) stored.push_back(firstTick + static_cast<std::int64_t>(i));
    struct Row {
        double ms;
        int status, note, velocity;
    };
    std::vector<Row> rows;
    for (const std::string& text : RawTakeLog(ticks, velocities)) {  // the take's rows, as "Stop" lists them
        std::istringstream in(text);
        Row row{};
        if (in >> row.ms >> row.status >> row.note >> row.velocity && (row.status == 144 || row.status == 128))
            rows.push_back(row);
    }
    if (rows.size() != stored.size()) {
        std::printf("%zu rows for %zu stored ticks\n", rows.size(), stored.size());
        return 1;
    }
    std::vector<StampingRoot::Call> calls;
    {
        std::lock_guard lock(synth.mutex);
        calls = synth.calls;
    }

    // Each event sent, in order, against the next note call and the next row:
    // an event the server dropped (a cycle it could not finish) has neither,
    // and its release is not recorded either.
    std::size_t c = 0, r = 0, unheard = 0, unrecorded = 0;
    std::vector<double> rowErrors, tickErrors, handedToCall, trueToCall;
    auto trueTime = [&](const SentEvent& e) { return static_cast<std::int64_t>(e.serverTime) + offset; };
    const SentEvent* firstRecorded = nullptr;
    for (const SentEvent& e : sent) {
        const bool on = (e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0;
        const int velocity = on ? e.bytes[2] : 0;
        if (c < calls.size() && calls[c].status == (on ? 0x90 : 0x80) && calls[c].note == e.bytes[1] &&
            calls[c].velocity == velocity) {
            handedToCall.push_back((calls[c].at - e.handedOver) / 1000.0);
            trueToCall.push_back((calls[c].at - trueTime(e)) / 1000.0);
            ++c;
        } else {
            ++unheard;
            continue;
        }
        if (r < rows.size() && rows[r].status == (on ? 144 : 128) && rows[r].note == e.bytes[1] &&
            rows[r].velocity == velocity) {
            if (firstRecorded == nullptr) firstRecorded = &e;
            rowErrors.push_back(rows[r].ms - rows[0].ms - (trueTime(e) - trueTime(*firstRecorded)) / 1000.0);
            const std::int64_t due = (trueTime(e) - start) / TickClock::kTickMicros + 1;
            tickErrors.push_back(static_cast<double>(stored[r] - due));
            if (std::getenv("TONEMARK_BENCH_VERBOSE"))
                std::printf("event %3zu: row error %+.3f ms  tick error %+d  call after hand-over %.3f ms\n",
                            static_cast<std::size_t>(&e - sent.data()), rowErrors.back(),
                            static_cast<int>(tickErrors.back()), handedToCall.back());
            ++r;
        } else {
            ++unrecorded;
            if (std::getenv("TONEMARK_BENCH_VERBOSE"))
                std::printf("event %3zu (%02x %d %d at %.3f ms) not in the take; next row %d %d %d at %.0f\n",
                            static_cast<std::size_t>(&e - sent.data()), e.bytes[0], e.bytes[1], e.bytes[2],
                            (trueTime(e) - start) / 1000.0, r < rows.size() ? rows[r].status : 0,
                            r < rows.size() ? rows[r].note : 0, r < rows.size() ? rows[r].velocity : 0,
                            r < rows.size() ? rows[r].ms : 0.0);
        }
    }
    if (rowErrors.empty()) {
        std::printf("nothing was recorded\n");
        return 1;
    }

    std::printf("MIDI input over JACK, %zu events at %u Hz, period %u frames (%.2f ms), UI thread stalled %d ms every "
                "40-160 ms\n",
                sent.size(), rate, period, period * 1000.0 / rate, stallMs);
    std::printf("server clock to monotonic: %+lld us; server xruns during the take: %d\n",
                static_cast<long long>(offset), sender.Xruns());
    std::printf("events not heard (dropped by the server): %zu; heard but not in the take: %zu; rows or calls left "
                "over: %zu\n",
                unheard, unrecorded, (calls.size() - c) + (rows.size() - r));
    Print("row error, |row - sent| from the first event (ms):", Abs(rowErrors));
    std::printf("%-58s min %+d  max %+d\n", "tick error, stored tick - tick due after true time (ms):",
                static_cast<int>(*std::min_element(tickErrors.begin(), tickErrors.end())),
                static_cast<int>(*std::max_element(tickErrors.begin(), tickErrors.end())));
    Print("tick error |stored - due| (ms):", Abs(tickErrors));
    Print("note call after the server handed the event over (ms):", handedToCall);
    Print("note call after the event's true time (ms):", trueToCall);
    return calls.size() == c && rows.size() == r ? 0 : 1;
}
