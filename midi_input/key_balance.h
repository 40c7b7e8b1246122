// When a keyboard's events must be dropped for want of room (a flood fills a
// queue), every press that did get through must still be matched by its
// release, or its note sounds and stays down in the take until the end; and
// the release of a press that was dropped must go too. KeyBalance keeps that
// account, note by note, in fixed arrays: it may run on a real-time thread.
#pragma once

#include <array>
#include <cstdint>

namespace tonemark {

class KeyBalance {
public:
    // A channel message about to be queued; false when it is to be passed
    // over (the release of a press that was dropped).
    bool Admit(std::uint8_t status, std::uint8_t note, std::uint8_t velocity);
    // The message found no room: a press is dropped with its release to come,
    // a release of a press that got through is owed.
    void NoRoom(std::uint8_t status, std::uint8_t note, std::uint8_t velocity);
    bool AnyOwed() const { return owedCount_ > 0; }
    // Hands each owed release to `write(status, note)`, which says whether
    // there was room; stops at the first that found none.
    template <typename Write>
    void PayOwed(Write write) {
        for (int note = 0; note < 128 && owedCount_ > 0; ++note) {
            auto& owed = owed_[static_cast<std::size_t>(note)];
            while (owed > 0) {
                if (!write(static_cast<std::uint8_t>(0x80 | owedChannel_[static_cast<std::size_t>(note)]),
                           static_cast<std::uint8_t>(note)))
                    return;
                owed -= 1;
                owedCount_ -= 1;
            }
        }
    }

private:
    std::array<std::uint16_t, 128> dropped_{};  // presses dropped, by note
    std::array<std::uint16_t, 128> owed_{};     // releases owed, by note
    std::array<std::uint8_t, 128> owedChannel_{};
    int owedCount_ = 0;
};

}  // namespace tonemark
