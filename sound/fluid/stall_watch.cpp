#include "sound/fluid/stall_watch.h"

namespace tonemark {

void StallWatch::Restart(MonotonicMicros now, std::uint64_t callsBegun) {
    lastProgress_ = now;
    firstCalls_ = lastCalls_ = callsBegun;
    started_ = false;
}

bool StallWatch::Stalled(MonotonicMicros now, std::uint64_t callsBegun, bool inCall) {
    if (callsBegun != lastCalls_ || inCall) {
        lastProgress_ = now;
        lastCalls_ = callsBegun;
        started_ = started_ || callsBegun - firstCalls_ >= kStartCalls;
        return false;
    }
    return now - lastProgress_ >= (started_ ? patience_ : startPatience_);
}

}  // namespace tonemark
