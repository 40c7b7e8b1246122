#include "sound/buffer_policy.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tonemark {

std::size_t StepFor(const BufferPolicySettings& settings, int ms) {
    for (std::size_t i = 0; i < settings.stepsMs.size(); ++i)
        if (settings.stepsMs[i] >= ms) return i;
    return settings.stepsMs.empty() ? 0 : settings.stepsMs.size() - 1;
}

std::string DefaultBufferMemoryPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path dir;
    if (state && *state) dir = state;
    else if (home && *home) dir = std::filesystem::path(home) / ".local" / "state";
    else return {};
    return (dir / "tonemark" / "sound-buffer").string();
}

std::optional<int> ReadBufferMemory(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::ifstream in(path);
    int ms = 0;
    if (!(in >> ms) || ms <= 0 || ms > 1000) return std::nullopt;
    return ms;
}

bool WriteBufferMemory(const std::string& path, int ms) {
    if (path.empty() || ms <= 0) return false;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ofstream out(path, std::ios::trunc);
    out << ms << "\n";
    return static_cast<bool>(out.flush());
}

bool Audible(const float* left, const float* right, int frames) {
    // Far below anything heard, above the reverb's last denormal whispers.
    constexpr float kFloor = 1e-5f;
    for (int i = 0; i < frames; ++i)
        if (std::abs(left[i]) > kFloor || std::abs(right[i]) > kFloor) return true;
    return false;
}

std::string CannotKeepUpMessage(int bufferMs) {
    return "This machine cannot keep the sound going even with a " + std::to_string(bufferMs) +
           " ms buffer: expect clicks while it is this busy.";
}

BufferPolicy::BufferPolicy(BufferPolicySettings settings, MonotonicMicros now)
    : settings_(std::move(settings)),
      step_(0),
      quietSpell_(settings_.quietSpell),
      lastChange_(now),
      lastUnderrun_(now),
      lastSound_(now - settings_.silenceToShrink) {
    if (settings_.stepsMs.empty()) settings_.stepsMs = BufferPolicySettings{}.stepsMs;
    step_ = std::min(settings_.firstStep, settings_.stepsMs.size() - 1);
}

void BufferPolicy::ChangedAt(MonotonicMicros now) {
    lastChange_ = now;
    lastUnderrun_ = now;
    recent_.clear();
}

bool BufferPolicy::Underrun(MonotonicMicros now) {
    ++underruns_;
    if (now - lastChange_ < settings_.settling) return false;
    lastUnderrun_ = now;
    recent_.push_back(now);
    while (!recent_.empty() && now - recent_.front() > settings_.burstWindow) recent_.pop_front();
    if (step_ + 1 >= settings_.stepsMs.size()) {
        if (static_cast<int>(recent_.size()) < settings_.burstUnderruns) return false;
        cannotKeepUp_ = true;
        recent_.clear();
        return false;
    }
    ++step_;
    quietSpell_ = std::min(quietSpell_ * 2, settings_.longestQuietSpell);
    ChangedAt(now);
    return true;
}

bool BufferPolicy::Tick(MonotonicMicros now) {
    if (step_ == 0 || now - lastUnderrun_ < quietSpell_ || now - lastSound_ < settings_.silenceToShrink) return false;
    --step_;
    cannotKeepUp_ = false;
    ChangedAt(now);
    return true;
}

}  // namespace tonemark
