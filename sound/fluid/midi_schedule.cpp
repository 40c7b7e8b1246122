#include "sound/fluid/midi_schedule.h"

#include <algorithm>

namespace tonemark {

void MidiSchedule::Add(const ScheduledMessage& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto place = std::upper_bound(waiting_.begin(), waiting_.end(), message.due,
                                        [](MonotonicMicros due, const ScheduledMessage& m) { return due < m.due; });
    waiting_.insert(place, message);
}

void MidiSchedule::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.clear();
}

}  // namespace tonemark
