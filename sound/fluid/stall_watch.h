// Tells when a sound device has stopped asking for sound: no render call has
// begun for a while and none is under way. A call that is under way for long
// is the program's own doing (reading the SoundFont holds the synthesiser,
// and with it the call), not the device's, so it never counts as a stall. A
// device just opened is given longer: a sound server may take a second or two
// after its first call before it asks for the stream steadily.
#pragma once

#include <cstdint>

#include "app/clock.h"

namespace tonemark {

class StallWatch {
public:
    // A device has started once it has begun this many calls.
    static constexpr std::uint64_t kStartCalls = 8;

    // `patience` for a device that has started, `startPatience` before that.
    StallWatch(MonotonicMicros patience, MonotonicMicros startPatience)
        : patience_(patience), startPatience_(startPatience) {}

    // Starts watching a device just opened, which has begun `callsBegun` calls by `now`.
    void Restart(MonotonicMicros now, std::uint64_t callsBegun);
    // Looks at the device at `now`: true once it has begun no call for its
    // patience while none was under way.
    bool Stalled(MonotonicMicros now, std::uint64_t callsBegun, bool inCall);

private:
    MonotonicMicros patience_;
    MonotonicMicros startPatience_;
    MonotonicMicros lastProgress_ = 0;
    std::uint64_t firstCalls_ = 0;
    std::uint64_t lastCalls_ = 0;
    bool started_ = false;
};

}  // namespace tonemark
