#include "sound/fluid/output_feed.h"

#include <algorithm>

#include "sound/fluid/fluid_engine.h"

namespace tonemark {

RenderCall OutputFeed::CallFor(std::shared_ptr<OutputFeed> feed) {
    return [feed = std::move(feed)](float* left, float* right, int frames) { feed->Render(left, right, frames); };
}

void OutputFeed::Render(float* left, float* right, int frames) {
    ++begun_;
    if (live_) {
        const SoundOutput* output = output_.load();
        engine_.Render(left, right, frames, output ? output->SteadyLatencyMicros() : 0);
    } else {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
    }
    ++ended_;
}

}  // namespace tonemark
