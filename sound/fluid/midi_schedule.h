// Channel messages waiting for the moment they are due, on the program's
// monotonic clock. Any thread may add messages or clear the schedule; the
// rendering thread sends those that are due. Messages are kept earliest
// first, and those due at the same time in the order they came in.
#pragma once

#include <mutex>
#include <vector>

#include "app/clock.h"

namespace tonemark {

struct ScheduledMessage {
    MonotonicMicros due = 0;
    int channel = 0;
    int status = 0;
    int data1 = 0;
    int data2 = 0;
};

class MidiSchedule {
public:
    void Add(const ScheduledMessage& message);
    // Drops every message not sent yet.
    void Clear();

    // Hands each message from the earliest on to `send` while `isDue(due)`
    // says it is due, and stops at the first that is not. The schedule stays
    // locked meanwhile, so that nothing Clear dropped is sent after it
    // returns; `send` must not use the schedule. Never allocates.
    template <typename IsDue, typename Send>
    void SendDue(IsDue&& isDue, Send&& send) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto first = waiting_.begin();
        while (first != waiting_.end() && isDue(first->due)) {
            send(*first);
            ++first;
        }
        waiting_.erase(waiting_.begin(), first);
    }

private:
    std::mutex mutex_;
    std::vector<ScheduledMessage> waiting_;
};

}  // namespace tonemark
