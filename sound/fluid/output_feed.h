// What a sound device's render calls go through on their way to the engine.
// A feed passes them on only while it is live (otherwise the device plays
// silence and no song moves), so that two outputs never advance the songs
// side by side while one hands over to the other; and it counts them, so that
// a device that stopped asking for sound can be noticed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "sound/fluid/sound_output.h"

namespace tonemark {

class FluidEngine;

class OutputFeed {
public:
    explicit OutputFeed(FluidEngine& engine) : engine_(engine) {}

    // The render call to open a device with; it keeps the feed alive.
    static RenderCall CallFor(std::shared_ptr<OutputFeed> feed);
    void Render(float* left, float* right, int frames);

    void SetLive(bool live) { live_ = live; }
    // The output the feed's calls come from, asked for its steady latency on
    // each call; set before the feed goes live, and it must outlive the calls.
    void SetOutput(const SoundOutput* output) { output_ = output; }
    std::uint64_t CallsBegun() const { return begun_.load(); }
    bool InCall() const { return begun_.load() != ended_.load(); }

private:
    FluidEngine& engine_;
    std::atomic<bool> live_{false};
    std::atomic<const SoundOutput*> output_{nullptr};
    std::atomic<std::uint64_t> begun_{0};
    std::atomic<std::uint64_t> ended_{0};
};

}  // namespace tonemark
