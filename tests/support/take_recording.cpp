#include "support/take_recording.h"

#include <algorithm>

#include "keyboard/keys.h"
#include "keyboard/recorder.h"

namespace tonemark::testing {

void RecordTake(Main& m, TestPlatform& platform, const std::vector<PlayedKey>& keys, double stopMs) {
    Command2_Click(m);
    const MonotonicMicros rec = platform.now;
    auto at = [rec](double ms) { return rec + static_cast<MonotonicMicros>(ms * 1000); };
    struct Edge {
        double ms;
        int key;
        bool down;
    };
    std::vector<Edge> edges;
    for (const PlayedKey& k : keys) {
        edges.push_back({k.downMs, k.key, true});
        edges.push_back({k.upMs, k.key, false});
    }
    std::stable_sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.ms < b.ms; });
    for (const Edge& e : edges) {
        platform.now = at(e.ms);
        e.down ? KeyDownAt(m, e.key, at(e.ms)) : KeyUpAt(m, e.key, at(e.ms));
    }
    platform.now = at(stopMs);
    RunTimer3Until(m, platform.now);
    if (m.ui.Timer3.enabled) Command3_Click(m);
}

}  // namespace tonemark::testing
