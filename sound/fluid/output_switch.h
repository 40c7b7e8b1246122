// Where the synthesiser's sound goes: a sound device, or a silent clock that
// keeps songs moving in real time when there is none. A watchdog thread
// notices a device that stopped asking for sound (its sound server went away)
// and hands over to the silent clock; each new player tries the device again
// (not more often than every couple of seconds), so that the next song sounds
// once the server is back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/clock.h"
#include "sound/fluid/output_feed.h"
#include "sound/fluid/silent_clock.h"
#include "sound/fluid/sound_output.h"
#include "sound/fluid/stall_watch.h"
#include "sound/synth.h"

namespace tonemark {

class FluidEngine;

class OutputSwitch {
public:
    // How long a device may go without asking for sound before it counts as
    // gone (longer just after it opened), and how long after a failed attempt
    // to open one the next may be made.
    static constexpr MonotonicMicros kPatience = 1'000'000;
    static constexpr MonotonicMicros kStartPatience = 5'000'000;
    static constexpr MonotonicMicros kRetryInterval = 2'000'000;

    // Opens a device at once, else starts the silent clock and says
    // `noDeviceMessage`. The engine must outlive the switch.
    OutputSwitch(FluidEngine& engine, OpenSoundOutput open, int blockFrames, std::string noDeviceMessage);
    ~OutputSwitch();
    OutputSwitch(const OutputSwitch&) = delete;
    OutputSwitch& operator=(const OutputSwitch&) = delete;

    // On the silent clock, tries to open a device again, unless the last try
    // failed less than kRetryInterval ago. Call it while no render lock is held.
    void TryDeviceAgain();
    // Fills in the output's part: audioOutput, driver, outputLatencyMs,
    // positionLeadMs, message.
    void Describe(SoundStatus& status) const;
    // The status's positionLeadMs as it is now.
    int PositionLeadMs() const;

private:
    struct Device {
        std::unique_ptr<SoundOutput> output;
        std::shared_ptr<OutputFeed> feed;
    };

    // Caller holds mutex_.
    bool OpenDevice(MonotonicMicros now);
    int LeadMs(int outputLatencyMs) const;
    std::unique_ptr<SoundOutput> HandOverToSilence();
    void StartSilentClock();
    void Watch();

    FluidEngine& engine_;
    OpenSoundOutput open_;
    int blockFrames_;
    std::string noDeviceMessage_;

    mutable std::mutex mutex_;
    std::optional<Device> device_;
    std::unique_ptr<SilentClock> silentClock_;
    std::string message_;
    std::optional<MonotonicMicros> lastFailedTry_;
    StallWatch stallWatch_{kPatience, kStartPatience};
    bool stopping_ = false;
    std::condition_variable wake_;
    std::thread watchdog_;
};

}  // namespace tonemark
